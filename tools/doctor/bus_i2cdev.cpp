// The doctor's four bus calls on a real board: the kit's own i2c-dev transfers on the bus the
// build's backend talks on (facts::bus_name()), whichever backend that is. wiringPi's own calls
// would end the doctor at the first address they cannot open, before it could say why.
#include "doctor.hpp"
#include "i2cbus/bus.h"
#include "i2cdev/calls.hpp"

extern "C" {

int wiringPiI2CSetup(int devId) {
    return i2cdev::open_device(doctor::facts::bus_name(), devId);
}

int wiringPiI2CReadReg8(int fd, int reg) {
    return i2cdev::read_reg8(fd, reg);
}

int wiringPiI2CWriteReg8(int fd, int reg, int data) {
    return i2cdev::write_reg8(fd, reg, data);
}

void delay(unsigned int howLong) {
    i2cdev::sleep_ms(howLong);
}

}  // extern "C"
