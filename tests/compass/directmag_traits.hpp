// What the shared module tests need to know of directmag: its part, set-up and reading sequences,
// set-up lines under each fault, raw-byte layout (X, Z, Y big-endian, less 4 on X, plus 273 on Y)
// and its direct sense of rotation.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <vector>

#include "compass/directmag.hpp"
#include "sequences.hpp"
#include "sim/board.hpp"
#include "sim_support.hpp"

namespace module_traits {

using namespace compass_test;

constexpr int mag = sim::standalone_mag_addr;

// sequences.txt: identify, 2 samples averaged at 75 Hz, continuous measurement; the gain is left
// alone.
inline const std::vector<step> setup_steps(std::begin(sequences::directmag_setup),
                                           std::end(sequences::directmag_setup));
constexpr std::size_t mag_setup_step = 0;
static_assert(sequences::directmag_setup[mag_setup_step].addr == mag);
constexpr const char* setup_lines = "setup success.\nFound magneto DIRECTMAG.\n";

inline const setup_fault setup_faults[] = {
    {"healthy_with_handle_0", [] { sim::board().handle_base(0); }, setup_lines},
    {"bus_missing", [] { sim::board().bus_missing(); }, "Error while setting up.\n"},
    {"absent", [] { sim::board().absent(mag); }, "setup success.\n"},
    {"wrong_identity", [] { sim::board().force(mag, 0x0A, 0x49); }, "setup success.\n"},
    {"identity_read_lost", [] { sim::board().nack_transfer(1); }, "setup success.\n"},
    {"claimed_by_a_kernel_driver", [] { sim::board().kernel_driver(mag); },
     "Error while setting up.\n"},
};

// sequences.txt: continuous measurement, the six data registers in order, no trigger, no wait.
inline const std::vector<step> reading_steps(std::begin(sequences::directmag_reading),
                                             std::end(sequences::directmag_reading));
constexpr std::int64_t reading_ns = sequences::duration_ns(sequences::directmag_reading);

inline const raw_case raw_cases[] = {
    {"high_byte_first (252, 273)", {0x01, 0x00, 0x00, 0x00, 0x00, 0x00}, 0x1.7a532b62e8e25p+5},
    {"low_byte_second (-3, 273)", {0x00, 0x01, 0x00, 0x00, 0x00, 0x00}, 0x1.6a84b586560dep+6},
    {"y_is_the_third_pair (12, 305)", {0x00, 0x10, 0x00, 0x00, 0x00, 0x20}, 0x1.5efcd3e214d7cp+6},
    {"z_is_not_used (12, 305)", {0x00, 0x10, 0x12, 0x34, 0x00, 0x20}, 0x1.5efcd3e214d7cp+6},
    {"negative (-260, -239)", {0xFF, 0x00, 0x00, 0x00, 0xFE, 0x00}, 0x1.bd2e2ba0af09cp+7},
    {"x_wraps_below (32764, 273)", {0x80, 0x00, 0x00, 0x00, 0x00, 0x00}, 0x1.e8da5d0beb9c5p-2},
    {"y_wraps_above (-4, -32496)", {0x00, 0x00, 0x00, 0x00, 0x7F, 0xFF}, 0x1.0dfe31ca56684p+8},
};
// Every data byte 0xFF: axes -1, calibrated (-5, 272).
constexpr double failed_reads_heading = 0x1.6c36632f66cadp+6;

// Calibrated (10, 0), then (0, 10): the absolute heading rises by 90.0000001, and so does the
// reading.
constexpr std::uint8_t bytes_at_0[6] = {0x00, 14, 0x00, 0x00, 0xFE, 0xEF};  // 14 - 4, -273 + 273
constexpr std::uint8_t bytes_at_90[6] = {0x00, 4, 0x00, 0x00, 0xFE, 0xF9};  // 4 - 4, -263 + 273
constexpr double reading_at_90 = 0x1.68000006e6c71p+6;                      // 90.0000001

constexpr double first_reading = 0.0;
inline bool in_range(double reading) {
    return reading >= 0.0 && reading < 360.0;
}
// X forward, Y left: the heading on the axes turns with the board.
inline double absolute_at_yaw(double yaw) {
    return yaw;
}
// The first continuous sample lands two output periods (26.7 ms at 75 Hz) after set-up, later ones
// every 13.3 ms: waiting this long always brings a sample of the current scene.
constexpr unsigned settle_ms = 27;

// 25 uT at the power-on gain (1090 counts per gauss) is 272.5 counts; rounding to counts moves each
// axis by at most half a count, and a relative reading carries that twice.
inline const double resolution_deg =
    2.0 * std::asin(0.5 * std::sqrt(2.0) / 272.0) * 180.0 / 3.14159265358979 + 1e-6;

}  // namespace module_traits
