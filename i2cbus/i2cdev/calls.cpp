// The i2c-dev transfers (i2cdev/calls.hpp): a handle is the open file descriptor bound to one slave
// address, registers go as SMBus byte data. A failed call leaves errno as the kernel set it.
#include "i2cdev/calls.hpp"

#include <cerrno>
#include <ctime>

#include <fcntl.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace i2cdev {
namespace {

constexpr long ns_per_ms = 1000000L;
constexpr unsigned ms_per_s = 1000U;

// One SMBus byte-data transfer of the register reg on the slave bound to fd.
int smbus_byte_data(int fd, __u8 read_write, int reg, i2c_smbus_data* data) {
    i2c_smbus_ioctl_data args{};
    args.read_write = read_write;
    args.command = static_cast<__u8>(reg);
    args.size = I2C_SMBUS_BYTE_DATA;
    args.data = data;
    return ioctl(fd, I2C_SMBUS, &args);
}

}  // namespace

int open_device(const char* bus, int addr) {
    const int fd = open(bus, O_RDWR);
    if (fd < 0) {
        return -1;
    }
    // The kernel checks the address range (7 bits); the value goes as the ioctl's unsigned long.
    if (ioctl(fd, I2C_SLAVE, static_cast<unsigned long>(addr)) < 0) {
        // errno stays the kernel's reason (EBUSY: a driver owns the address), whatever close does.
        const int reason = errno;
        close(fd);
        errno = reason;
        return -1;
    }
    return fd;
}

int read_reg8(int fd, int reg) {
    i2c_smbus_data data{};
    if (smbus_byte_data(fd, I2C_SMBUS_READ, reg, &data) < 0) {
        return -1;
    }
    return data.byte;
}

int write_reg8(int fd, int reg, int value) {
    i2c_smbus_data data{};
    data.byte = static_cast<__u8>(value);
    return smbus_byte_data(fd, I2C_SMBUS_WRITE, reg, &data) < 0 ? -1 : 0;
}

void sleep_ms(unsigned ms) {
    timespec left{};
    left.tv_sec = static_cast<time_t>(ms / ms_per_s);
    left.tv_nsec = static_cast<long>(ms % ms_per_s) * ns_per_ms;
    // A signal cuts the sleep short; go on with what the kernel says is left.
    timespec rest{};
    while (nanosleep(&left, &rest) != 0 && errno == EINTR) {
        left = rest;
    }
}

}  // namespace i2cdev
