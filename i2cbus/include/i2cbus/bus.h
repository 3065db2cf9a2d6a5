/* The four I2C calls the compass libraries are written against. Every bus backend of the kit (the
 * board's own wiringPi, the i2c-dev backend, the simulated board) provides exactly these, with the
 * signatures and meaning they have in wiringPi. Usable from C and C++. */
#ifndef I2CBUS_BUS_H
#define I2CBUS_BUS_H

#ifdef __cplusplus
extern "C" {
#endif

/* Opens the device at a 7-bit address: a handle >= 0. A failure looks different per backend:
 * - the kit's i2c-dev backend and the simulated board return -1 with errno the reason (ENOENT: no
 *   such bus, EACCES: no permission, EBUSY: a kernel driver holds the address); the compass
 *   libraries then print "Error while setting up." and carry on with that handle, whose transfers
 *   all fail.
 * - wiringPi (tried: 2.25) never returns one: it prints "Unable to open I2C device: <reason>" or
 *   "Unable to select I2C device: <reason>" on stderr and ends the process with status 1 (its
 *   WIRINGPI_CODES only counts after a wiringPiSetup* call, which the kit never makes). It picks
 *   the bus itself from its piBoardRev(): /dev/i2c-0 for layout 1 (the first Raspberry Pi,
 *   revision 0002 or 0003), /dev/i2c-1 for any other, whatever COMPASS_I2C_BUS says. A board
 *   piBoardRev() cannot identify ends the process too, and which those are depends on the version
 *   (2.25 wants a "Hardware" line naming BCM2708 or BCM2709, 2.50 some "Hardware" line, 3.x only a
 *   revision, from the device tree or /proc/cpuinfo). The board tools ask the library they run
 *   with (its piBoardRev(), in a child process) and look at that bus with the kit's own calls
 *   first (compass-doctor). */
int wiringPiI2CSetup(int devId);

/* Reads one 8-bit register: 0..255, or -1 when the transfer fails. */
int wiringPiI2CReadReg8(int fd, int reg);

/* Writes one 8-bit register: 0, or -1 when the transfer fails. */
int wiringPiI2CWriteReg8(int fd, int reg, int data);

/* Returns after at least howLong milliseconds; wiringPi's returns early when a signal interrupts
 * its sleep (the i2c-dev backend sleeps on). */
void delay(unsigned int howLong);

#ifdef __cplusplus
}
#endif

#endif
