/* The four I2C calls the compass libraries are written against. Every bus backend of the kit (the
 * board's own wiringPi, the i2c-dev backend, the simulated board) provides exactly these, with the
 * signatures and meaning they have in wiringPi. Usable from C and C++. */
#ifndef I2CBUS_BUS_H
#define I2CBUS_BUS_H

#ifdef __cplusplus
extern "C" {
#endif

/* Opens the device at a 7-bit address; a handle >= 0, or -1 when the bus cannot be opened. */
int wiringPiI2CSetup(int devId);

/* Reads one 8-bit register: 0..255, or -1 when the transfer fails. */
int wiringPiI2CReadReg8(int fd, int reg);

/* Writes one 8-bit register: 0, or -1 when the transfer fails. */
int wiringPiI2CWriteReg8(int fd, int reg, int data);

/* Returns after at least howLong milliseconds. */
void delay(unsigned int howLong);

#ifdef __cplusplus
}
#endif

#endif
