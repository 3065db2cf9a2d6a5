// The motion sensor model at 0x68 and the bypass that gates the magnetometer behind it.
#include "sim_fixture.hpp"

namespace {

using simtest::board_test;

constexpr int PWR_MGMT_1 = 0x6B;
constexpr int INT_PIN_CFG = 0x37;
constexpr int USER_CTRL = 0x6A;
constexpr int WHO_AM_I = 0x75;
constexpr int ACCEL_CONFIG = 0x1C;
constexpr int ACCEL_ZOUT_H = 0x3F;
constexpr int TEMP_OUT_H = 0x41;

TEST_F(board_test, MotionSensorIdentifiesAndResetsToSleepWithAllElseZero) {
    const int fd = wiringPiI2CSetup(sim::motion_sensor_addr);
    EXPECT_EQ(wiringPiI2CReadReg8(fd, WHO_AM_I), 0x68);
    for (int reg = 0; reg < WHO_AM_I; ++reg) {
        SCOPED_TRACE(reg);
        EXPECT_EQ(wiringPiI2CReadReg8(fd, reg), reg == PWR_MGMT_1 ? 0x40 : 0x00);
    }
    // WHO_AM_I is read-only.
    EXPECT_EQ(wiringPiI2CWriteReg8(fd, WHO_AM_I, 0x00), 0);
    EXPECT_EQ(wiringPiI2CReadReg8(fd, WHO_AM_I), 0x68);
}

TEST_F(board_test, DeviceResetRestoresResetValuesAndClearsItself) {
    const int fd = wiringPiI2CSetup(sim::motion_sensor_addr);
    ASSERT_EQ(wiringPiI2CWriteReg8(fd, PWR_MGMT_1, 0x01), 0);
    ASSERT_EQ(wiringPiI2CWriteReg8(fd, INT_PIN_CFG, 0x02), 0);
    ASSERT_EQ(wiringPiI2CWriteReg8(fd, ACCEL_CONFIG, 0x18), 0);
    EXPECT_EQ(wiringPiI2CReadReg8(fd, INT_PIN_CFG), 0x02);
    ASSERT_EQ(wiringPiI2CWriteReg8(fd, PWR_MGMT_1, 0x80), 0);
    EXPECT_EQ(wiringPiI2CReadReg8(fd, PWR_MGMT_1), 0x40);  // DEVICE_RESET reads back clear
    EXPECT_EQ(wiringPiI2CReadReg8(fd, INT_PIN_CFG), 0x00);
    EXPECT_EQ(wiringPiI2CReadReg8(fd, ACCEL_CONFIG), 0x00);
    EXPECT_EQ(wiringPiI2CReadReg8(fd, WHO_AM_I), 0x68);
    // A write right after the reset takes effect.
    ASSERT_EQ(wiringPiI2CWriteReg8(fd, PWR_MGMT_1, 0x08), 0);
    EXPECT_EQ(wiringPiI2CReadReg8(fd, PWR_MGMT_1), 0x08);
}

TEST_F(board_test, BypassMagnetometerAnswersOnlyWhileBypassIsOnAndMasterOff) {
    const int mpu = wiringPiI2CSetup(sim::motion_sensor_addr);
    const int mag = wiringPiI2CSetup(sim::bypass_mag_addr);
    EXPECT_GE(mag, 0);
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
    ASSERT_EQ(wiringPiI2CWriteReg8(mpu, INT_PIN_CFG, 0x02), 0);

    // A device reset of the motion sensor drops the bypass again.
    ASSERT_EQ(wiringPiI2CWriteReg8(mpu, PWR_MGMT_1, 0x80), 0);
    EXPECT_EQ(wiringPiI2CReadReg8(mag, 0x00), -1);
    ASSERT_EQ(wiringPiI2CWriteReg8(mpu, INT_PIN_CFG, 0x02), 0);
    EXPECT_EQ(wiringPiI2CReadReg8(mag, 0x00), 0x48);

    // And so does resetting the board.
    sim::board().reset();
    const int mag2 = wiringPiI2CSetup(sim::bypass_mag_addr);
    EXPECT_EQ(wiringPiI2CReadReg8(mag2, 0x00), -1);
}

TEST_F(board_test, BypassMagnetometerAbsentStaysSilentWithBypassOn) {
    sim::board().absent(sim::bypass_mag_addr);
    const int mag = open_bypass_mag();
    EXPECT_EQ(wiringPiI2CReadReg8(mag, 0x00), -1);
}

TEST_F(board_test, ResetStrobesInUserCtrlClearThemselves) {
    const int fd = wiringPiI2CSetup(sim::motion_sensor_addr);
    ASSERT_EQ(wiringPiI2CWriteReg8(fd, USER_CTRL, 0x47), 0);  // FIFO_EN + three reset strobes
    EXPECT_EQ(wiringPiI2CReadReg8(fd, USER_CTRL), 0x40);
}

TEST_F(board_test, AwakeBoardOnTheTableReadsOneGOnZAtTheConfiguredRange) {
    const int fd = wiringPiI2CSetup(sim::motion_sensor_addr);
    EXPECT_EQ(read_be16(fd, ACCEL_ZOUT_H), 0);  // asleep: nothing measured yet
    ASSERT_EQ(wiringPiI2CWriteReg8(fd, PWR_MGMT_1, 0x00), 0);
    EXPECT_EQ(read_be16(fd, ACCEL_ZOUT_H), 16384);
    EXPECT_EQ(read_be16(fd, ACCEL_ZOUT_H - 2), 0);               // Y
    EXPECT_EQ(read_be16(fd, TEMP_OUT_H), -3920);                 // 25 degC
    ASSERT_EQ(wiringPiI2CWriteReg8(fd, ACCEL_CONFIG, 0x18), 0);  // +-16 g
    EXPECT_EQ(read_be16(fd, ACCEL_ZOUT_H), 2048);
}

}  // namespace
