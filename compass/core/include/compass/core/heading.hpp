// Bus-free arithmetic shared by the compass modules: raw bytes to calibrated axes, and the heading
// relative to the latched reference. Internal: never exported from the libraries.
#pragma once

#include <cstdint>

namespace compass {

// The divisor the modules turn radians into degrees with (multiplication first, then this).
inline constexpr double half_turn_radians = 3.14159265;

// Signed 16-bit axis from a little-endian (low byte first) or big-endian register pair.
std::int16_t axis_le(std::uint8_t low, std::uint8_t high);
std::int16_t axis_be(std::uint8_t high, std::uint8_t low);

// AK8975 counts to microtesla: counts x 0.3 in double, truncated toward zero.
std::int16_t ak8975_microtesla(std::int16_t counts);

// Removes a hard-iron centre in 16-bit arithmetic (wraps at the extremes, like the sensor's type).
std::int16_t remove_offset(std::int16_t value, int centre);

// Absolute heading in degrees of the horizontal pair, in [0, 360); atan2(0, 0) gives 0.
double absolute_heading(std::int16_t x, std::int16_t y);

// Latches ref from the first heading after flag was 0 (then sets flag to 1) and returns how far the
// heading lies past ref, in [0, 360).
double relative_heading(double absolute, int& flag, double& ref);

// The reversed sense of rotation: 360 minus the difference, in (0, 360].
inline double reversed(double difference) {
    return 360.0 - difference;
}

// Running circular mean of readings in (0, 360]: each reading's offset from the first, wrapped into
// [-180, 180), is averaged and added back to the first. Holds no memory per reading.
struct heading_mean {
    double first = 0.0;
    double offset_sum = 0.0;
    int count = 0;

    void add(double reading);
    // The mean wrapped into (0, 360]; only meaningful once count >= 1.
    double result() const;
};

}  // namespace compass
