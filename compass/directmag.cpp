// directmag: heading from a stand-alone HMC5883L magnetometer in continuous measurement.
#include "compass/directmag.hpp"

#include <cstdint>
#include <cstdio>

#include "compass/core/heading.hpp"
#include "compass/core/parts.hpp"

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
    const compass::core::part mag = compass::core::set_up_hmc5883l();
    std::puts(mag.fd >= 0 ? "setup success." : "Error while setting up.");
    if (mag.found) {
        std::puts("Found magneto DIRECTMAG.");
    }
    return mag.fd;
}

double get_magneto(int fd) {
    // Continuous mode: the output registers always hold the latest sample, no trigger, no wait.
    // Failures are not examined: a failed read counts as the byte 0xFF.
    const compass::core::axes mag = compass::core::read_hmc5883l(fd);
    const std::int16_t x = compass::remove_offset(mag.x, offset_x);
    const std::int16_t y = compass::remove_offset(mag.y, offset_y);
    return compass::relative_heading(compass::absolute_heading(x, y), flagx, comp_angl);
}
