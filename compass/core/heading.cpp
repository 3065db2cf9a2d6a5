// Bus-free compass arithmetic; see heading.hpp.
#include "compass/core/heading.hpp"

#include <cmath>

namespace compass {

std::int16_t axis_le(std::uint8_t low, std::uint8_t high) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>((high << 8) | low));
}

std::int16_t axis_be(std::uint8_t high, std::uint8_t low) {
    return axis_le(low, high);
}

std::int16_t ak8975_microtesla(std::int16_t counts) {
    // |counts| x 0.3 stays well inside 16 bits, so the truncating conversion is defined.
    return static_cast<std::int16_t>(static_cast<double>(counts) * 0.3);
}

std::int16_t remove_offset(std::int16_t value, int centre) {
    return static_cast<std::int16_t>(value - centre);
}

double absolute_heading(std::int16_t x, std::int16_t y) {
    double a = std::atan2(static_cast<double>(y), static_cast<double>(x));
    a = a * 180.0;
    a = a / half_turn_radians;
    if (a < 0) {
        a = a + 360.0;
    }
    return a;
}

double relative_heading(double absolute, int& flag, double& ref) {
    if (flag == 0) {
        ref = absolute;
        flag = 1;
    }
    double d = absolute - ref;
    if (d < 0) {
        d = d + 360.0;
    }
    return d;
}

void heading_mean::add(double reading) {
    if (count == 0) {
        first = reading;
    } else {
        // Readings lie in one turn, so one step brings the difference into [-180, 180).
        double d = reading - first;
        if (d >= 180.0) {
            d -= 360.0;
        } else if (d < -180.0) {
            d += 360.0;
        }
        offset_sum += d;
    }
    ++count;
}

double heading_mean::result() const {
    double m = first + offset_sum / static_cast<double>(count);
    if (m <= 0.0) {
        m += 360.0;
    } else if (m > 360.0) {
        m -= 360.0;
    }
    return m;
}

}  // namespace compass
