// The four bus calls over the Linux I2C character device /dev/i2c-N, with wiringPi's meaning: the
// kit's i2c-dev transfers (i2cdev/calls.hpp) on the bus configured at build time. A failed call
// leaves errno as the kernel set it.
#include "i2cbus/bus.h"
#include "i2cdev/calls.hpp"

#define KIT_STRINGIFY_(x) #x
#define KIT_STRINGIFY(x) KIT_STRINGIFY_(x)

namespace {

constexpr char bus_path[] = "/dev/i2c-" KIT_STRINGIFY(KIT_I2C_BUS_NUMBER);

}  // namespace

// The kit builds with hidden visibility; these four are what the archive offers its users.
#define KIT_BUS_API __attribute__((visibility("default")))

extern "C" {

KIT_BUS_API int wiringPiI2CSetup(int devId) {
    return i2cdev::open_device(bus_path, devId);
}

KIT_BUS_API int wiringPiI2CReadReg8(int fd, int reg) {
    return i2cdev::read_reg8(fd, reg);
}

KIT_BUS_API int wiringPiI2CWriteReg8(int fd, int reg, int value) {
    return i2cdev::write_reg8(fd, reg, value);
}

KIT_BUS_API void delay(unsigned int howLong) {
    i2cdev::sleep_ms(howLong);
}

}  // extern "C"
