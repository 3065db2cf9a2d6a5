// Pass-through wrappers of the bus calls for the monitor's link (--wrap=wiringPiI2CSetup and the
// register calls): each calls the real one, notes a failure and leaves errno as the call set it.
#include "bus_watch.hpp"

#include <cerrno>

#include "i2cbus/bus.h"

namespace bus_watch {
namespace {

failures watched;

void note_transfer(int result) {
    if (result < 0) {
        watched.transfer_error = watched.transfers == 0 ? errno : watched.transfer_error;
        ++watched.transfers;
    }
}

}  // namespace

void reset() {
    watched = failures{};
}

const failures& seen() {
    return watched;
}

}  // namespace bus_watch

extern "C" {

int __real_wiringPiI2CSetup(int devId);
int __real_wiringPiI2CReadReg8(int fd, int reg);
int __real_wiringPiI2CWriteReg8(int fd, int reg, int data);

int __wrap_wiringPiI2CSetup(int devId) {
    const int fd = __real_wiringPiI2CSetup(devId);
    if (fd < 0) {
        bus_watch::watched.setup_error = errno;
        ++bus_watch::watched.setups;
    }
    return fd;
}

int __wrap_wiringPiI2CReadReg8(int fd, int reg) {
    const int v = __real_wiringPiI2CReadReg8(fd, reg);
    bus_watch::note_transfer(v);
    return v;
}

int __wrap_wiringPiI2CWriteReg8(int fd, int reg, int data) {
    const int v = __real_wiringPiI2CWriteReg8(fd, reg, data);
    bus_watch::note_transfer(v);
    return v;
}

}  // extern "C"
