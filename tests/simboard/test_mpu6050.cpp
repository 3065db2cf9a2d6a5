// The motion sensor model at 0x68 and the bypass that gates the magnetometer behind it.
#include "sim_fixture.hpp"

namespace {

using simtest::board_test;
using simtest::read_be16;

constexpr int PWR_MGMT_1 = 0x6B;
constexpr int INT_PIN_CFG = 0x37;
constexpr int USER_CTRL = 0x6A;
constexpr int WHO_AM_I = 0x75;
constexpr int ACCEL_CONFIG = 0x1C;
constexpr int ACCEL_ZOUT_H = 0x3F;

TEST_F(board_test, MotionSensorIdentifiesAndResetsToSleepWithAllElseZero) {
    const int fd = wiringPiI2CSetup(sim::motion_sensor_addr);
    for (int reg = 0; reg < WHO_AM_I; ++reg) {
        EXPECT_EQ(wiringPiI2CReadReg8(fd, reg), reg == PWR_MGMT_1 ? 0x40 : 0x00) << reg;
    }
    EXPECT_EQ(wiringPiI2CWriteReg8(fd, WHO_AM_I, 0x00), 0);  // read-only
    EXPECT_EQ(wiringPiI2CReadReg8(fd, WHO_AM_I), 0x68);
    // The reset strobes in USER_CTRL clear themselves; FIFO_EN stays.
    ASSERT_EQ(wiringPiI2CWriteReg8(fd, USER_CTRL, 0x47), 0);
    EXPECT_EQ(wiringPiI2CReadReg8(fd, USER_CTRL), 0x40);
}

TEST_F(board_test, DeviceResetIgnoresTheBusForItsWindowThenReadsResetValues) {
    struct reset_case {
        unsigned pause_ms;   // between the reset write and the wake-up write
        int window_us;       // reset time chosen through the back door; -1 keeps the default
        bool wake_up_lands;  // whether the wake-up write is acknowledged and takes effect
    };
    const reset_case cases[] = {
        {0, -1, false}, {99, -1, false}, {100, -1, true}, {0, 0, true}, {10, 5000, true}};
    for (const reset_case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.pause_ms << " ms after, window " << c.window_us);
        sim::board().reset();
        if (c.window_us >= 0) {
            sim::board().motion_reset_time_us(c.window_us);
        }
        const int fd = wiringPiI2CSetup(sim::motion_sensor_addr);
        ASSERT_EQ(wiringPiI2CWriteReg8(fd, INT_PIN_CFG, 0x02), 0);
        ASSERT_EQ(wiringPiI2CWriteReg8(fd, ACCEL_CONFIG, 0x18), 0);
        ASSERT_EQ(wiringPiI2CWriteReg8(fd, PWR_MGMT_1, 0x80), 0);
        delay(c.pause_ms);
        EXPECT_EQ(wiringPiI2CWriteReg8(fd, PWR_MGMT_1, 0x08), c.wake_up_lands ? 0 : -1);
        delay(100);
        EXPECT_EQ(wiringPiI2CReadReg8(fd, PWR_MGMT_1), c.wake_up_lands ? 0x08 : 0x40);
        EXPECT_EQ(wiringPiI2CReadReg8(fd, INT_PIN_CFG), 0x00);
        EXPECT_EQ(wiringPiI2CReadReg8(fd, ACCEL_CONFIG), 0x00);
        EXPECT_EQ(wiringPiI2CReadReg8(fd, WHO_AM_I), 0x68);
    }
}

TEST_F(board_test, BypassMagnetometerAnswersOnlyWhileBypassIsOnAndMasterOff) {
    const int mpu = wiringPiI2CSetup(sim::motion_sensor_addr);
    const int mag = wiringPiI2CSetup(sim::bypass_mag_addr);
    EXPECT_EQ(wiringPiI2CReadReg8(mag, 0x00), -1);  // silent at power-on
    EXPECT_EQ(wiringPiI2CWriteReg8(mag, 0x0A, 0x01), -1);
    ASSERT_EQ(wiringPiI2CWriteReg8(mpu, INT_PIN_CFG, 0x02), 0);
    EXPECT_EQ(wiringPiI2CReadReg8(mag, 0x00), 0x48);  // asleep or not, bypass passes through
    ASSERT_EQ(wiringPiI2CWriteReg8(mpu, USER_CTRL, 0x20), 0);  // I2C_MST_EN takes the aux bus
    EXPECT_EQ(wiringPiI2CReadReg8(mag, 0x00), -1);
    ASSERT_EQ(wiringPiI2CWriteReg8(mpu, USER_CTRL, 0x00), 0);
    EXPECT_EQ(wiringPiI2CReadReg8(mag, 0x00), 0x48);
    ASSERT_EQ(wiringPiI2CWriteReg8(mpu, INT_PIN_CFG, 0xFD), 0);  // every bit but the bypass
    EXPECT_EQ(wiringPiI2CReadReg8(mag, 0x00), -1);
    // A device reset of the motion sensor drops the bypass again.
    ASSERT_EQ(wiringPiI2CWriteReg8(mpu, INT_PIN_CFG, 0x02), 0);
    ASSERT_EQ(wiringPiI2CWriteReg8(mpu, PWR_MGMT_1, 0x80), 0);
    EXPECT_EQ(wiringPiI2CReadReg8(mag, 0x00), -1);
    delay(100);
    ASSERT_EQ(wiringPiI2CWriteReg8(mpu, INT_PIN_CFG, 0x02), 0);
    EXPECT_EQ(wiringPiI2CReadReg8(mag, 0x00), 0x48);
    // An absent magnetometer stays silent with the bypass on.
    sim::board().absent(sim::bypass_mag_addr);
    EXPECT_EQ(wiringPiI2CReadReg8(mag, 0x00), -1);
    // Resetting the board drops the bypass too.
    sim::board().reset();
    EXPECT_EQ(wiringPiI2CReadReg8(wiringPiI2CSetup(sim::bypass_mag_addr), 0x00), -1);
}

TEST_F(board_test, AwakeBoardOnTheTableReadsOneGOnZAtTheConfiguredRange) {
    const int fd = wiringPiI2CSetup(sim::motion_sensor_addr);
    EXPECT_EQ(read_be16(fd, ACCEL_ZOUT_H), 0);  // asleep: nothing measured yet
    ASSERT_EQ(wiringPiI2CWriteReg8(fd, PWR_MGMT_1, 0x00), 0);
    EXPECT_EQ(read_be16(fd, ACCEL_ZOUT_H), 16384);
    EXPECT_EQ(read_be16(fd, ACCEL_ZOUT_H - 2), 0);               // Y
    EXPECT_EQ(read_be16(fd, 0x41), -3920);                       // TEMP_OUT: 25 degC
    ASSERT_EQ(wiringPiI2CWriteReg8(fd, ACCEL_CONFIG, 0x18), 0);  // +-16 g
    EXPECT_EQ(read_be16(fd, ACCEL_ZOUT_H), 2048);
}

}  // namespace
