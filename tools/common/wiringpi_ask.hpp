// Asks the wiringPi library a program runs with how it sees the board: its own piBoardRev(), called
// in a child process, since wiringPi prints and ends the program where it cannot identify a board.
// Nothing of any wiringPi version's rules is copied here; the library answers for itself.
#pragma once

#include <cstddef>

namespace wiringpi {

struct answer {
    enum class kind {
        identified,  // piBoardRev() returned: layout
        exits,       // it ended the process: status, said
        failed,      // no piBoardRev, a crash, no answer in time, no child: said says what
    } how = kind::failed;
    int layout = 0;  // piBoardRev()'s value: 1 for the first boards, 2 for all later ones
    int bus = -1;    // N of the /dev/i2c-N wiringPiI2CSetup opens: 0 for layout 1, else 1
    int status = 0;  // exits: the exit status
    bool version_told = false;  // wiringPiVersion() exists (later versions; 2.25 lacks it)
    int major = 0;
    int minor = 0;
    char said[192] =
        "";  // exits: wiringPi's first line on stderr, printable; failed: what happened
};

using board_rev_fn = int (*)();
using version_fn = void (*)(int*, int*);

// Calls board_rev (and version, where not null) in a child whose stdout goes nowhere and whose
// stderr is read; a child that has not answered after timeout_ms is killed. A null board_rev is a
// library without piBoardRev.
answer ask_with(board_rev_fn board_rev, version_fn version, unsigned timeout_ms);

// The same for the wiringPi this program runs with (its symbols looked up by name).
answer ask();

// "wiringPi 3.14" or "wiringPi (version not told)", for messages.
void name_of(const answer& a, char* buf, std::size_t size);

}  // namespace wiringpi
