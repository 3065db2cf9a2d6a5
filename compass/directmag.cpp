// directmag: heading from a stand-alone HMC5883L magnetometer in continuous measurement.
#include "compass/directmag.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "devices/hmc5883l.hpp"
#include "heading.hpp"
#include "i2cbus/bus.h"

#ifndef COMPASS_DIRECTMAG_OFFSET_X
#define COMPASS_DIRECTMAG_OFFSET_X 4
#endif
#ifndef COMPASS_DIRECTMAG_OFFSET_Y
#define COMPASS_DIRECTMAG_OFFSET_Y (-273)
#endif

namespace {

constexpr int offset_x = COMPASS_DIRECTMAG_OFFSET_X;  // counts; each is the axis' hard-iron centre
constexpr int offset_y = COMPASS_DIRECTMAG_OFFSET_Y;

}  // namespace

int flagx = 0;
double comp_angl = 0.0;

int setup_magneto() {
    // Every step runs whatever the earlier ones gave; a failure only shows in the printed lines.
    const int fd = wiringPiI2CSetup(hmc5883l::ADDRESS);
    std::puts(fd >= 0 ? "setup success." : "Error while setting up.");
    if ((wiringPiI2CReadReg8(fd, hmc5883l::IRA) & 0xFF) == hmc5883l::IRA_VALUE) {
        std::puts("Found magneto DIRECTMAG.");
    }
    wiringPiI2CWriteReg8(
        fd, hmc5883l::CRA,
        hmc5883l::CRA_MA_2_SAMPLES | hmc5883l::CRA_DO_75_HZ | hmc5883l::CRA_MS_NORMAL);
    wiringPiI2CWriteReg8(fd, hmc5883l::MR, hmc5883l::MR_CONTINUOUS);
    return fd;
}

double get_magneto(int fd) {
    // Continuous mode: the output registers always hold the latest sample, no trigger, no wait.
    constexpr int addr[6] = {hmc5883l::DXRA, hmc5883l::DXRB, hmc5883l::DZRA,
                             hmc5883l::DZRB, hmc5883l::DYRA, hmc5883l::DYRB};
    // A failed read (-1) keeps its low byte, 0xFF.
    std::uint8_t array[6];
    for (std::size_t j = 0; j < 6; ++j) {
        array[j] = static_cast<std::uint8_t>(wiringPiI2CReadReg8(fd, addr[j]));
    }
    std::int16_t mag[3];  // X, Z, Y
    for (std::size_t i = 0; i < 3; ++i) {
        mag[i] = compass::axis_be(array[2 * i], array[2 * i + 1]);
    }
    mag[0] = compass::remove_offset(mag[0], offset_x);
    mag[2] = compass::remove_offset(mag[2], offset_y);

    return compass::relative_heading(compass::absolute_heading(mag[0], mag[2]), flagx, comp_angl);
}
