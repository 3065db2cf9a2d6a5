// directmag: heading from a stand-alone HMC5883L magnetometer in continuous measurement.
#include "compass/directmag.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "devices/hmc5883l.hpp"
#include "heading.hpp"
#include "i2cbus/bus.h"

// The hard-iron centres come from the build (compass/Offsets.cmake), nowhere else.
#if !defined(COMPASS_DIRECTMAG_OFFSET_X) || !defined(COMPASS_DIRECTMAG_OFFSET_Y)
#error "build directmag with COMPASS_DIRECTMAG_OFFSET_X and _Y defined (compass/Offsets.cmake)"
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
    hmc5883l::set_up(fd);
    return fd;
}

double get_magneto(int fd) {
    // Continuous mode: the output registers always hold the latest sample, no trigger, no wait.
    // Failures are not examined: a failed read counts as the byte 0xFF.
    const devices::data_block data = hmc5883l::read_data(fd);
    std::int16_t mag[3];  // X, Z, Y
    for (std::size_t i = 0; i < 3; ++i) {
        mag[i] = compass::axis_be(data.bytes[2 * i], data.bytes[2 * i + 1]);
    }
    mag[0] = compass::remove_offset(mag[0], offset_x);
    mag[2] = compass::remove_offset(mag[2], offset_y);

    return compass::relative_heading(compass::absolute_heading(mag[0], mag[2]), flagx, comp_angl);
}
