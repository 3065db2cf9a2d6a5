// The four bus calls over the Linux I2C character device /dev/i2c-N, with wiringPi's meaning:
// a handle is the open file descriptor bound to one slave address, registers go as SMBus byte data.
// A failed call leaves errno as the kernel set it.
#include "i2cbus/bus.h"

#include <cerrno>
#include <ctime>

#include <fcntl.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <sys/ioctl.h>
#include <unistd.h>

#define KIT_STRINGIFY_(x) #x
#define KIT_STRINGIFY(x) KIT_STRINGIFY_(x)

namespace {

constexpr char bus_path[] = "/dev/i2c-" KIT_STRINGIFY(KIT_I2C_BUS_NUMBER);

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

// The kit builds with hidden visibility; these four are what the archive offers its users.
#define KIT_BUS_API __attribute__((visibility("default")))

extern "C" {

KIT_BUS_API int wiringPiI2CSetup(int devId) {
    const int fd = open(bus_path, O_RDWR);
    if (fd < 0) {
        return -1;
    }
    // The kernel checks the address range (7 bits); the value goes as the ioctl's unsigned long.
    if (ioctl(fd, I2C_SLAVE, static_cast<unsigned long>(devId)) < 0) {
        // errno stays the kernel's reason (EBUSY: a driver owns the address), whatever close does.
        const int reason = errno;
        close(fd);
        errno = reason;
        return -1;
    }
    return fd;
}

KIT_BUS_API int wiringPiI2CReadReg8(int fd, int reg) {
    i2c_smbus_data data{};
    if (smbus_byte_data(fd, I2C_SMBUS_READ, reg, &data) < 0) {
        return -1;
    }
    return data.byte;
}

KIT_BUS_API int wiringPiI2CWriteReg8(int fd, int reg, int value) {
    i2c_smbus_data data{};
    data.byte = static_cast<__u8>(value);
    return smbus_byte_data(fd, I2C_SMBUS_WRITE, reg, &data) < 0 ? -1 : 0;
}

KIT_BUS_API void delay(unsigned int howLong) {
    timespec left{};
    left.tv_sec = static_cast<time_t>(howLong / ms_per_s);
    left.tv_nsec = static_cast<long>(howLong % ms_per_s) * ns_per_ms;
    // A signal cuts the sleep short; go on with what the kernel says is left.
    timespec rest{};
    while (nanosleep(&left, &rest) != 0 && errno == EINTR) {
        left = rest;
    }
}

}  // extern "C"
