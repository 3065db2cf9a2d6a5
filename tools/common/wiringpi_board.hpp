// How wiringPi (2.25, the version the kit was tried with) picks the I2C bus before it opens a
// device: wiringPiI2CSetup first reads the board's revision from /proc/cpuinfo and opens
// /dev/i2c-0 on the first Raspberry Pi (revision 0002 or 0003), /dev/i2c-1 on any other. A board
// it cannot identify ends the program there, with status 1.
#pragma once

#include <cstdio>

namespace wiringpi {

struct board {
    bool identified = false;
    int bus = -1;            // N of the /dev/i2c-N wiringPiI2CSetup opens, when identified
    char revision[32] = "";  // the Revision line's value, e.g. "a02082"
    char why[192] = "";      // when not identified: why, and what wiringPi prints as it exits
};

// wiringPi's decision from a cpuinfo text, read line by line as wiringPi reads it (fgets into 120
// bytes): the first "Hardware" line must name BCM2708 or BCM2709, the first "Revision" line must
// hold at least four characters from its first digit on, whose last four are the revision code
// (an over-volted board's leading 100 is thereby ignored; so are the upper digits of the new-style
// codes).
board identify(std::FILE* cpuinfo);

// The same from a file; one that cannot be opened identifies nothing, as with wiringPi.
board identify_file(const char* path);

}  // namespace wiringpi
