// Fuzz target: the compass arithmetic on arbitrary register bytes. Six data bytes go through each
// module's assembly, scaling and offsets (the built-in ones, then offsets taken from the input)
// to a heading; every heading is finite and within its range, and so is the mean of the readings.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "compass/core/heading.hpp"

namespace {

void check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

// In [0, 360) for an absolute heading or the direct sense, (0, 360] for the reversed sense.
void check_turn(double a, bool reversed) {
    check(std::isfinite(a));
    check(reversed ? (a > 0.0 && a <= 360.0) : (a >= 0.0 && a < 360.0));
}

// One reading of each module from the six bytes at p, with the given centres.
void readings(const std::uint8_t* p, const int (&centre)[4], int& flag, double& ref,
              compass::heading_mean& mean) {
    using namespace compass;
    // bypassmag: little-endian X, Y (Z unused), scaled to microtesla.
    const std::int16_t bx = remove_offset(ak8975_microtesla(axis_le(p[0], p[1])), centre[0]);
    const std::int16_t by = remove_offset(ak8975_microtesla(axis_le(p[2], p[3])), centre[1]);
    const double b = absolute_heading(bx, by);
    check_turn(b, false);
    const double reading = reversed(relative_heading(b, flag, ref));
    check_turn(reading, true);
    mean.add(reading);
    check_turn(mean.result(), true);
    // directmag: big-endian X, Z, Y in raw counts.
    const std::int16_t dx = remove_offset(axis_be(p[0], p[1]), centre[2]);
    const std::int16_t dy = remove_offset(axis_be(p[4], p[5]), centre[3]);
    const double d = absolute_heading(dx, dy);
    check_turn(d, false);
    check_turn(relative_heading(d, flag, ref), false);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 6) {
        return 0;
    }
    int flag = 0;
    double ref = 0.0;
    compass::heading_mean mean;
    const int built_in[4] = {COMPASS_BYPASSMAG_OFFSET_X, COMPASS_BYPASSMAG_OFFSET_Y,
                             COMPASS_DIRECTMAG_OFFSET_X, COMPASS_DIRECTMAG_OFFSET_Y};
    readings(data, built_in, flag, ref, mean);
    // Further six-byte groups: readings against the latched reference, and with the first
    // group's bytes as 16-bit centres (any value a configure accepts).
    const int any[4] = {static_cast<std::int16_t>(data[0] << 8 | data[1]),
                        static_cast<std::int16_t>(data[2] << 8 | data[3]),
                        static_cast<std::int16_t>(data[4] << 8 | data[5]), 0};
    for (std::size_t at = 6; at + 6 <= size; at += 6) {
        readings(data + at, built_in, flag, ref, mean);
        readings(data + at, any, flag, ref, mean);
    }
    return 0;
}
