// compass-doctor's own bus calls on a real board (bus_i2cdev.cpp) against the i2c-dev test double:
// the requests they make of the kernel, on the bus the facts name, and the errno of a refusal.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include <fcntl.h>

#include "doctor.hpp"
#include "fake_i2c_dev.h"
#include "i2cbus/bus.h"

// The facts name a bus no build is configured for, so a call that opens any other misses it.
const char* doctor::facts::bus_name() {
    return "/dev/i2c-13";
}

namespace {

// The i2c-dev ABI (linux/i2c-dev.h, linux/i2c.h), written out so a wrong constant cannot agree.
constexpr unsigned long ioctl_i2c_slave = 0x0703;
constexpr unsigned long ioctl_i2c_smbus = 0x0720;
constexpr unsigned char smbus_read = 1;
constexpr unsigned char smbus_write = 0;
constexpr unsigned smbus_byte_data = 2;

TEST(DoctorBus, CallsGoToTheFactsBusAsSmbusByteDataAndPassTheKernelsErrnoOn) {
    fake_reset();
    const int fd = wiringPiI2CSetup(0x1E);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(fake_ncalls, 2);
    EXPECT_EQ(fake_calls[0].kind, FAKE_OPEN);
    EXPECT_EQ(std::string(fake_calls[0].path), "/dev/i2c-13");
    EXPECT_EQ(fake_calls[0].flags & O_ACCMODE, O_RDWR);
    EXPECT_EQ(fake_calls[1].request, ioctl_i2c_slave);
    EXPECT_EQ(fake_calls[1].arg, 0x1EUL);

    // The HMC5883L's IRA read and its mode write, as they go on the wire.
    fake.read_byte = 0x48;
    fake_ncalls = 0;
    EXPECT_EQ(wiringPiI2CReadReg8(fd, 0x0A), 0x48);
    EXPECT_EQ(wiringPiI2CWriteReg8(fd, 0x02, 0x81), 0);
    delay(7);
    const struct {
        unsigned char read_write, command;
        int data;  // -1: a read, whose byte comes back
    } wire[] = {{smbus_read, 0x0A, -1}, {smbus_write, 0x02, 0x81}};
    ASSERT_EQ(fake_ncalls, 3);
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(fake_calls[i].kind, FAKE_IOCTL);
        EXPECT_EQ(fake_calls[i].fd, fd);
        EXPECT_EQ(fake_calls[i].request, ioctl_i2c_smbus);
        EXPECT_EQ(fake_calls[i].size, smbus_byte_data);
        EXPECT_EQ(fake_calls[i].read_write, wire[i].read_write);
        EXPECT_EQ(fake_calls[i].command, wire[i].command);
        if (wire[i].data >= 0) {
            EXPECT_EQ(fake_calls[i].data_byte, wire[i].data);
        }
    }
    EXPECT_EQ(fake_calls[2].kind, FAKE_NANOSLEEP);
    EXPECT_EQ(fake_calls[2].req_ns, 7000000);

    // Refusals: -1 and the kernel's errno, which the doctor names.
    fake.smbus_errno = EREMOTEIO;
    errno = 0;
    EXPECT_EQ(wiringPiI2CReadReg8(fd, 0x0A), -1);
    EXPECT_EQ(errno, EREMOTEIO);
    errno = 0;
    EXPECT_EQ(wiringPiI2CWriteReg8(fd, 0x02, 0x00), -1);
    EXPECT_EQ(errno, EREMOTEIO);
    fake.slave_errno = EBUSY;
    errno = 0;
    EXPECT_EQ(wiringPiI2CSetup(0x68), -1);
    EXPECT_EQ(errno, EBUSY);
    EXPECT_EQ(fake_ndevices, 1);  // the refused one closed again, the first still open
    fake_reset();
}

}  // namespace
