// bypassmag: heading from an AK8975 magnetometer reached through an MPU-6050's I2C bypass.
#include "compass/bypassmag.hpp"

#include <cmath>
#include <cstdint>
#include <cstdio>

#include "compass/core/heading.hpp"
#include "compass/core/parts.hpp"

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
    const compass::core::part mpu = compass::core::open_motion_sensor();
    report_open(mpu.fd);
    if (mpu.found) {
        std::puts("Found MPU.");
    }
    const compass::core::part mag = compass::core::open_behind_bypass(mpu.fd);
    report_open(mag.fd);
    if (mag.found) {
        std::puts("Found magneto.");
    }
    return mag.fd;
}

double get_magneto(int fd) {
    // Failures are not examined: a failed read counts as the byte 0xFF.
    const compass::core::axes mag = compass::core::read_ak8975(fd);
    const std::int16_t x = compass::remove_offset(mag.x, offset_x);
    const std::int16_t y = compass::remove_offset(mag.y, offset_y);
    const double angl =
        compass::relative_heading(compass::absolute_heading(x, y), flagx, comp_angl);
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
