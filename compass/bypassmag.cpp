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

// The hard-iron centres come from the build (compass/Offsets.cmake), nowhere else.
#if !defined(COMPASS_BYPASSMAG_OFFSET_X) || !defined(COMPASS_BYPASSMAG_OFFSET_Y)
#error "build bypassmag with COMPASS_BYPASSMAG_OFFSET_X and _Y defined (compass/Offsets.cmake)"
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
    // Failures are not examined: a failed read counts as the byte 0xFF.
    ak8975::trigger_and_wait(fd);
    const devices::data_block data = ak8975::read_data(fd);
    std::int16_t mag[3];
    for (std::size_t i = 0; i < 3; ++i) {
        mag[i] =
            compass::ak8975_microtesla(compass::axis_le(data.bytes[2 * i], data.bytes[2 * i + 1]));
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
