// The i2c-dev transfers under the kit's own names, on a bus node the caller names: the four bus
// calls of the i2c-dev backend are these on its configured node. The board tools use them directly
// to look at a bus whatever backend their libraries link (wiringPi's calls carry the same names as
// the backend's four, so a program linking both needs these).
#pragma once

namespace i2cdev {

// Opens the bus node (e.g. "/dev/i2c-1") and binds the descriptor to a 7-bit address: the
// descriptor, or -1 with errno the kernel's reason (ENOENT: no such bus, EACCES: no permission,
// EBUSY: a kernel driver owns the address).
int open_device(const char* bus, int addr);

// One SMBus byte-data read of register reg: 0..255, or -1 with errno set.
int read_reg8(int fd, int reg);

// One SMBus byte-data write: 0, or -1 with errno set.
int write_reg8(int fd, int reg, int value);

// Sleeps at least ms milliseconds, resuming after a signal.
void sleep_ms(unsigned ms);

}  // namespace i2cdev
