// The bus a board tool's libraries will talk on, looked at with the kit's own i2c-dev calls before
// the libraries' set-up: wiringPi ends the program inside wiringPiI2CSetup when it cannot open the
// bus or select an address, so a tool that wants to say what is wrong has to look first.
#pragma once

#include <cstddef>

namespace tool {

// The /dev/i2c-N the build's bus calls open: the one wiringPi picks for this board from cpuinfo
// (see wiringpi_board.hpp) on a wiringPi build, the configured one on an i2c-dev build. false,
// with why (for "no magnetometer: <why>"), when wiringPi cannot identify the board.
bool program_bus(char* path, std::size_t path_size, char* why, std::size_t why_size,
                 const char* cpuinfo = "/proc/cpuinfo");

// Opens bus and selects each of the n addresses on it, closing them again. true when all could
// be; otherwise false, with what failed in why: "/dev/i2c-1: No such file or directory", "0x68
// on /dev/i2c-1: Device or resource busy".
bool bus_reaches(const char* bus, const int* addrs, std::size_t n, char* why, std::size_t why_size);

// Before a module's set-up: the program's bus must open and the module's addresses (bypassmag:
// 0x68 and 0x0C, directmag: 0x1E) be free. 0 when they are; otherwise the no-magnetometer line
// (no_magnetometer_because) and 1. Always 0 on the simulated board.
int check_module_bus(const char* name, const char* module);

}  // namespace tool
