// The i2c-dev backend against a fake kernel: the exact requests it makes of /dev/i2c-N, how it
// reports each failure, and how delay() sleeps (scripted interruptions and the real clock).
#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <ctime>
#include <string>

#include <fcntl.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <sys/time.h>

#include "fake_i2c_dev.h"
#include "i2cbus/bus.h"

namespace {

#define STR_(x) #x
#define STR(x) STR_(x)
const std::string bus_path = "/dev/i2c-" STR(KIT_I2C_BUS_NUMBER);

class I2cdev : public ::testing::Test {
  protected:
    void SetUp() override { fake_reset(); }
    void TearDown() override { fake_reset(); }
};

TEST_F(I2cdev, SetupOpensTheBusReadWriteAndSelectsTheSlave) {
    for (const unsigned long addr : {0x1EUL, 0x68UL}) {
        fake_ncalls = 0;
        const int fd = wiringPiI2CSetup(static_cast<int>(addr));
        ASSERT_EQ(fake_ncalls, 2);
        EXPECT_EQ(fake_calls[0].kind, FAKE_OPEN);
        EXPECT_EQ(fake_calls[0].path, bus_path);
        EXPECT_EQ(fake_calls[0].flags, O_RDWR);
        EXPECT_EQ(fake_calls[0].fd, fd);
        EXPECT_EQ(fake_calls[1].kind, FAKE_IOCTL);
        EXPECT_EQ(fake_calls[1].fd, fd);
        EXPECT_EQ(fake_calls[1].request, static_cast<unsigned long>(I2C_SLAVE));
        EXPECT_EQ(fake_calls[1].arg, addr);
    }
    EXPECT_EQ(fake_ndevices, 2);  // both handles stay open
}

TEST_F(I2cdev, SetupFailuresGiveMinusOneTheKernelsErrnoAndLeakNothing) {
    const struct {
        int open_errno, slave_errno;
    } cases[] = {
        {ENOENT, 0},  // no such bus
        {EACCES, 0},  // not in the i2c group
        {0, EBUSY},   // a kernel driver owns the address
        {0, ENXIO},
    };
    for (const auto& c : cases) {
        fake_reset();
        fake.open_errno = c.open_errno;
        fake.slave_errno = c.slave_errno;
        errno = 0;
        EXPECT_EQ(wiringPiI2CSetup(0x0C), -1);
        EXPECT_EQ(errno, c.open_errno + c.slave_errno);
        EXPECT_EQ(fake_ndevices, 0);
        if (c.open_errno != 0) {
            EXPECT_EQ(fake_ncalls, 1);
        } else {
            ASSERT_EQ(fake_ncalls, 3);
            EXPECT_EQ(fake_calls[2].kind, FAKE_CLOSE);
            EXPECT_EQ(fake_calls[2].fd, fake_calls[0].fd);
        }
    }
}

TEST_F(I2cdev, RegistersGoAsSmbusByteDataTransfers) {
    const int fd = wiringPiI2CSetup(0x68);
    // Reads return every byte intact; writes carry the value.
    for (int value = 0; value <= 0xFF; ++value) {
        fake.read_byte = static_cast<unsigned char>(value);
        const int reg = (value * 7) & 0xFF;
        fake_ncalls = 0;
        ASSERT_EQ(wiringPiI2CReadReg8(fd, reg), value);
        ASSERT_EQ(wiringPiI2CWriteReg8(fd, reg, 0xFF - value), 0);
        ASSERT_EQ(fake_ncalls, 2);
        for (const fake_call& c : {fake_calls[0], fake_calls[1]}) {
            EXPECT_EQ(c.kind, FAKE_IOCTL);
            EXPECT_EQ(c.fd, fd);
            EXPECT_EQ(c.request, static_cast<unsigned long>(I2C_SMBUS));
            EXPECT_EQ(c.command, reg);
            EXPECT_EQ(c.size, static_cast<unsigned>(I2C_SMBUS_BYTE_DATA));
        }
        EXPECT_EQ(fake_calls[0].read_write, I2C_SMBUS_READ);
        EXPECT_EQ(fake_calls[1].read_write, I2C_SMBUS_WRITE);
        EXPECT_EQ(fake_calls[1].data_byte, 0xFF - value);
    }
}

TEST_F(I2cdev, FailedTransfersGiveMinusOneAndTheKernelsErrno) {
    const int fd = wiringPiI2CSetup(0x0C);
    for (const int err : {EREMOTEIO, ENXIO, ETIMEDOUT, EIO}) {
        fake.smbus_errno = err;
        fake.read_byte = 0x5A;  // must not leak through as a value
        errno = 0;
        EXPECT_EQ(wiringPiI2CReadReg8(fd, 0x03), -1) << err;
        EXPECT_EQ(errno, err);
        errno = 0;
        EXPECT_EQ(wiringPiI2CWriteReg8(fd, 0x0A, 0x01), -1) << err;
        EXPECT_EQ(errno, err);
    }
    // A handle from a failed setup makes the kernel refuse; the backend passes that on.
    fake.smbus_errno = 0;
    EXPECT_EQ(wiringPiI2CReadReg8(-1, 0x03), -1);
    EXPECT_EQ(wiringPiI2CWriteReg8(-1, 0x0A, 0x01), -1);
}

TEST_F(I2cdev, DelayAsksForTheWholeTimeAndResumesAfterSignals) {
    const std::int64_t ms = 1000000;
    // One request each, in valid fields. The scripted EFAULT saves the sleep, and shows that
    // errors other than EINTR are not retried (a retry loop on EINVAL would never end).
    for (const unsigned v : {0U, 1U, 999U, 1000U, 65535U, UINT_MAX}) {
        fake_reset();
        fake.sleep_fail_count = 1;
        fake.sleep_errno = EFAULT;
        delay(v);
        ASSERT_EQ(fake_ncalls, 1) << v;
        EXPECT_EQ(fake_calls[0].req_ns, static_cast<std::int64_t>(v) * ms) << v;
        EXPECT_TRUE(fake_calls[0].req_valid) << v;
    }
    // Interrupted, it sleeps on for what the interrupted sleep reported as left.
    fake_reset();
    fake.sleep_fail_count = 2;
    fake.sleep_errno = EINTR;
    fake.sleep_rest_ns = 3 * ms;
    delay(1500);
    ASSERT_EQ(fake_ncalls, 3);
    EXPECT_EQ(fake_calls[0].req_ns, 1500 * ms);
    EXPECT_EQ(fake_calls[1].req_ns, 3 * ms);
    EXPECT_EQ(fake_calls[2].req_ns, 3 * ms);
}

std::int64_t monotonic_ns() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

volatile std::sig_atomic_t alarms = 0;
extern "C" void on_alarm(int) {
    alarms = alarms + 1;
}

TEST_F(I2cdev, DelaySleepsAtLeastTheRequestedTimeEvenWhenSignalsInterrupt) {
    // A signal handler without SA_RESTART, firing every 2 ms, cuts every sleep short.
    struct sigaction sa {};
    struct sigaction old {};
    sa.sa_handler = on_alarm;
    sigemptyset(&sa.sa_mask);
    ASSERT_EQ(sigaction(SIGALRM, &sa, &old), 0);
    itimerval every{{0, 2000}, {0, 2000}};
    itimerval off{};
    ASSERT_EQ(setitimer(ITIMER_REAL, &every, nullptr), 0);
    alarms = 0;
    const std::int64_t start = monotonic_ns();
    delay(40);
    const std::int64_t took = monotonic_ns() - start;
    setitimer(ITIMER_REAL, &off, nullptr);
    sigaction(SIGALRM, &old, nullptr);

    EXPECT_GE(took, 40000000);
    EXPECT_GT(alarms, 0);
    EXPECT_GT(fake_ncalls, 1);  // it was interrupted and went back to sleep
}

}  // namespace
