// bypassmag: heading from an AK8975 magnetometer reached through an MPU-6050's I2C bypass.
#include "compass/bypassmag.hpp"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "heading.hpp"
#include "i2cbus/bus.h"

#ifndef COMPASS_BYPASSMAG_OFFSET_X
#define COMPASS_BYPASSMAG_OFFSET_X 30
#endif
#ifndef COMPASS_BYPASSMAG_OFFSET_Y
#define COMPASS_BYPASSMAG_OFFSET_Y 61
#endif

namespace {

// InvenSense MPU-6050 / MPU-9150 motion sensor.
namespace mpu6050 {
constexpr int ADDRESS = 0x68;
constexpr int INT_PIN_CFG = 0x37;
constexpr int INT_PIN_CFG_I2C_BYPASS_EN = 0x02;
constexpr int PWR_MGMT_1 = 0x6B;
constexpr int PWR_MGMT_1_DEVICE_RESET = 0x80;
constexpr int PWR_MGMT_1_TEMP_DIS = 0x08;  // SLEEP clear, CLKSEL 0: internal oscillator
constexpr int WHO_AM_I = 0x75;
constexpr int WHO_AM_I_VALUE = 0x68;
}  // namespace mpu6050

// AKM AK8975 magnetometer, 0.3 uT per count.
namespace ak8975 {
constexpr int ADDRESS = 0x0C;
constexpr int WIA = 0x00;
constexpr int WIA_VALUE = 0x48;
constexpr int HXL = 0x03;
constexpr int HXH = 0x04;
constexpr int HYL = 0x05;
constexpr int HYH = 0x06;
constexpr int HZL = 0x07;
constexpr int HZH = 0x08;
constexpr int CNTL = 0x0A;
constexpr int CNTL_SINGLE_MEASUREMENT = 0x01;
constexpr unsigned MEASUREMENT_WAIT_MS = 8;  // longest single-measurement time is 7.3 ms
}  // namespace ak8975

constexpr int offset_x = COMPASS_BYPASSMAG_OFFSET_X;  // uT, after scaling
constexpr int offset_y = COMPASS_BYPASSMAG_OFFSET_Y;

void report_open(int handle) {
    std::puts(handle >= 0 ? "setup success." : "Error while setting up.");
}

}  // namespace

int flagx = 0;
double comp_angl = 0.0;

int setup_magneto() {
    // Every step runs whatever the earlier ones gave; a failure only shows in the printed lines.
    const int mpu = wiringPiI2CSetup(mpu6050::ADDRESS);
    report_open(mpu);
    if (wiringPiI2CReadReg8(mpu, mpu6050::WHO_AM_I) == mpu6050::WHO_AM_I_VALUE) {
        std::puts("Found MPU.");
    }
    wiringPiI2CWriteReg8(mpu, mpu6050::PWR_MGMT_1, mpu6050::PWR_MGMT_1_DEVICE_RESET);
    wiringPiI2CWriteReg8(mpu, mpu6050::PWR_MGMT_1, mpu6050::PWR_MGMT_1_TEMP_DIS);
    wiringPiI2CWriteReg8(mpu, mpu6050::INT_PIN_CFG, mpu6050::INT_PIN_CFG_I2C_BYPASS_EN);

    const int fd = wiringPiI2CSetup(ak8975::ADDRESS);
    report_open(fd);
    if (wiringPiI2CReadReg8(fd, ak8975::WIA) == ak8975::WIA_VALUE) {
        std::puts("Found magneto.");
    }
    return fd;
}

double get_magneto(int fd) {
    constexpr int addr[6] = {ak8975::HXL, ak8975::HXH, ak8975::HYL,
                             ak8975::HYH, ak8975::HZL, ak8975::HZH};
    wiringPiI2CWriteReg8(fd, ak8975::CNTL, ak8975::CNTL_SINGLE_MEASUREMENT);
    delay(ak8975::MEASUREMENT_WAIT_MS);

    // A failed read (-1) keeps its low byte, 0xFF.
    std::uint8_t array[6];
    for (std::size_t j = 0; j < 6; ++j) {
        array[j] = static_cast<std::uint8_t>(wiringPiI2CReadReg8(fd, addr[j]));
    }
    std::int16_t mag[3];
    for (std::size_t i = 0; i < 3; ++i) {
        mag[i] = compass::ak8975_microtesla(compass::axis_le(array[2 * i], array[2 * i + 1]));
    }
    mag[0] = compass::remove_offset(mag[0], offset_x);
    mag[1] = compass::remove_offset(mag[1], offset_y);

    const double angl =
        compass::relative_heading(compass::absolute_heading(mag[0], mag[1]), flagx, comp_angl);
    return compass::reversed(angl);
}

double avg_magneto(int val, int fd1) {
    if (val < 1) {
        return static_cast<double>(NAN);
    }
    compass::heading_mean mean;
    for (int i = 0; i < val; ++i) {
        mean.add(get_magneto(fd1));
    }
    return mean.result();
}
