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

    static const fake_call& call(int i) {
        const fake_call* c = fake_call_at(i);
        EXPECT_NE(c, nullptr) << "no call #" << i;
        static const fake_call none{};
        return c != nullptr ? *c : none;
    }

    // Opens a device with the fake kernel and forgets the calls that took.
    static int open_device(int addr) {
        const int fd = wiringPiI2CSetup(addr);
        EXPECT_GE(fd, 0);
        fake_forget_calls();
        return fd;
    }
};

TEST_F(I2cdev, SetupOpensTheBusReadWriteAndSelectsTheSlave) {
    const int mag = wiringPiI2CSetup(0x1E);
    const int mpu = wiringPiI2CSetup(0x68);
    ASSERT_GE(mag, 0);
    ASSERT_GE(mpu, 0);
    EXPECT_NE(mag, mpu);
    ASSERT_EQ(fake_call_count(), 4);
    for (int i = 0; i < 4; i += 2) {
        EXPECT_EQ(call(i).kind, FAKE_OPEN);
        EXPECT_EQ(call(i).path, bus_path);
        EXPECT_EQ(call(i).flags, O_RDWR);
        EXPECT_EQ(call(i + 1).kind, FAKE_IOCTL);
        EXPECT_EQ(call(i + 1).fd, call(i).fd);
        EXPECT_EQ(call(i + 1).request, static_cast<unsigned long>(I2C_SLAVE));
    }
    EXPECT_EQ(call(0).fd, mag);
    EXPECT_EQ(call(1).arg, 0x1EUL);
    EXPECT_EQ(call(2).fd, mpu);
    EXPECT_EQ(call(3).arg, 0x68UL);
    EXPECT_EQ(fake_open_devices(), 2);  // handles stay open
}

TEST_F(I2cdev, SetupFailuresGiveMinusOneAndLeakNothing) {
    fake.open_errno = ENOENT;
    EXPECT_EQ(wiringPiI2CSetup(0x0C), -1);
    ASSERT_EQ(fake_call_count(), 1);  // no ioctl on a descriptor that does not exist
    EXPECT_EQ(call(0).kind, FAKE_OPEN);

    fake_reset();
    fake.slave_errno = EBUSY;  // a kernel driver owns the address
    EXPECT_EQ(wiringPiI2CSetup(0x0C), -1);
    ASSERT_EQ(fake_call_count(), 3);
    EXPECT_EQ(call(1).kind, FAKE_IOCTL);
    EXPECT_EQ(call(2).kind, FAKE_CLOSE);
    EXPECT_EQ(call(2).fd, call(0).fd);
    EXPECT_EQ(fake_open_devices(), 0);
}

TEST_F(I2cdev, RegistersGoAsSmbusByteDataTransfers) {
    const int fd = open_device(0x68);
    // Reads return every byte intact; writes carry the value.
    for (int value = 0; value <= 0xFF; ++value) {
        fake.read_byte = static_cast<unsigned char>(value);
        const int reg = (value * 7) & 0xFF;
        for (const bool read : {true, false}) {
            fake_forget_calls();
            if (read) {
                ASSERT_EQ(wiringPiI2CReadReg8(fd, reg), value);
            } else {
                ASSERT_EQ(wiringPiI2CWriteReg8(fd, reg, 0xFF - value), 0);
            }
            ASSERT_EQ(fake_call_count(), 1);
            const fake_call& c = call(0);
            ASSERT_EQ(c.kind, FAKE_IOCTL);
            EXPECT_EQ(c.fd, fd);
            EXPECT_EQ(c.request, static_cast<unsigned long>(I2C_SMBUS));
            EXPECT_EQ(c.read_write, read ? I2C_SMBUS_READ : I2C_SMBUS_WRITE);
            EXPECT_EQ(c.command, reg);
            EXPECT_EQ(c.size, static_cast<unsigned>(I2C_SMBUS_BYTE_DATA));
            ASSERT_TRUE(c.has_data);
            if (!read) {
                EXPECT_EQ(c.data_byte, 0xFF - value);
            }
        }
    }
}

TEST_F(I2cdev, FailedTransfersGiveMinusOne) {
    const int fd = open_device(0x0C);
    for (const int err : {EREMOTEIO, ENXIO, ETIMEDOUT, EIO}) {
        fake.smbus_errno = err;
        fake.read_byte = 0x5A;  // must not leak through as a value
        EXPECT_EQ(wiringPiI2CReadReg8(fd, 0x03), -1) << err;
        EXPECT_EQ(wiringPiI2CWriteReg8(fd, 0x0A, 0x01), -1) << err;
    }
    // A handle from a failed setup makes the kernel refuse; the backend passes that on.
    fake.smbus_errno = 0;
    EXPECT_EQ(wiringPiI2CReadReg8(-1, 0x03), -1);
    EXPECT_EQ(wiringPiI2CWriteReg8(-1, 0x0A, 0x01), -1);
}

TEST_F(I2cdev, DelayAsksForTheWholeTimeAndResumesAfterSignals) {
    const std::int64_t ms = 1000000;
    fake.sleep_fail_count = 2;
    fake.sleep_errno = EINTR;
    fake.sleep_rest_ns = 3 * ms;
    delay(1500);
    ASSERT_EQ(fake_call_count(), 3);
    EXPECT_EQ(call(0).req_ns, 1500 * ms);
    EXPECT_EQ(call(1).req_ns, 3 * ms);  // what the interrupted sleep reported as left
    EXPECT_EQ(call(2).req_ns, 3 * ms);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(call(i).req_valid);
    }

    // Other errors are not retried (a retry loop on EINVAL would never end).
    fake_reset();
    fake.sleep_fail_count = 1;
    fake.sleep_errno = EINVAL;
    delay(5);
    EXPECT_EQ(fake_call_count(), 1);

    fake_reset();
    for (const unsigned v : {0U, 1U, 999U, 1000U, 65535U}) {
        fake_forget_calls();
        fake.sleep_fail_count = 1;  // don't actually sleep
        fake.sleep_errno = EFAULT;
        delay(v);
        ASSERT_EQ(fake_call_count(), 1);
        EXPECT_EQ(call(0).req_ns, static_cast<std::int64_t>(v) * ms) << v;
        EXPECT_TRUE(call(0).req_valid) << v;
    }
    fake_forget_calls();
    fake.sleep_fail_count = 1;
    fake.sleep_errno = EFAULT;
    delay(UINT_MAX);
    EXPECT_EQ(call(0).req_ns, static_cast<std::int64_t>(UINT_MAX) * ms);
    EXPECT_TRUE(call(0).req_valid);
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
    std::int64_t start = monotonic_ns();
    delay(15);
    EXPECT_GE(monotonic_ns() - start, 15000000);

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
    fake_forget_calls();
    start = monotonic_ns();
    delay(40);
    const std::int64_t took = monotonic_ns() - start;
    setitimer(ITIMER_REAL, &off, nullptr);
    sigaction(SIGALRM, &old, nullptr);

    EXPECT_GE(took, 40000000);
    EXPECT_GT(alarms, 0);
    EXPECT_GT(fake_call_count(), 1);  // it was interrupted and went back to sleep
}

}  // namespace
