// bypassmag: heading from an AK8975 magnetometer reached through an MPU-6050's I2C bypass.
#include "compass/bypassmag.hpp"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "devices/ak8975.hpp"
#include "devices/mpu6050.hpp"
#include "heading.hpp"
#include "i2cbus/bus.h"

#ifndef COMPASS_BYPASSMAG_OFFSET_X
#define COMPASS_BYPASSMAG_OFFSET_X 30
#endif
#ifndef COMPASS_BYPASSMAG_OFFSET_Y
#define COMPASS_BYPASSMAG_OFFSET_Y 61
#endif

namespace {

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
    mpu6050::reset_and_open_bypass(mpu);

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
