// The bus a board tool's libraries will talk on, looked at with the kit's own i2c-dev calls before
// the libraries' set-up: wiringPi ends the program inside wiringPiI2CSetup when it cannot open the
// bus or select an address, so a tool that wants to say what is wrong has to look first.
#pragma once

#include <cstddef>

namespace tool {

// How the program's bus is decided: by the build (i2c-dev), or by the wiringPi library the program
// runs with, which may also end the program instead (refused) or fail to answer (failed). One
// library per backend defines pick_bus() (bus_pick_*.cpp); a program links the one of its bus.
struct bus_pick {
    enum class kind { fixed, chosen, refused, failed } how = kind::fixed;
    // The /dev/i2c-N the program opens; refused or failed: the configured one, where an i2c-dev
    // build of the kit would look.
    char path[32] = "";
    // How, or why not: "/dev/i2c-1, as the kit was built", "wiringPi 3.14 opens /dev/i2c-1
    // (piBoardRev() returns 2)", "wiringPi (version not told) cannot identify this board: it
    // ends the program (exit status 1) saying \"...\"".
    char what[320] = "";
};

// Decided once per program: wiringPi, too, identifies the board once.
const bus_pick& pick_bus();

// Opens bus and selects each of the n addresses on it, closing them again. true when all could
// be; otherwise false, with what failed in why: "/dev/i2c-1: No such file or directory", "0x68
// on /dev/i2c-1: Device or resource busy".
bool bus_reaches(const char* bus, const int* addrs, std::size_t n, char* why, std::size_t why_size);

// Before a module's set-up: the program's bus must be one wiringPi opens (where it picks), open,
// and the module's addresses (bypassmag: 0x68 and 0x0C, directmag: 0x1E) be free. 0 when they
// are; otherwise the no-magnetometer line (no_magnetometer_because) and 1. Always 0 on the
// simulated board.
int check_module_bus(const char* name, const char* module);

}  // namespace tool
