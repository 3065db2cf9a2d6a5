// What the shared module tests need to know of bypassmag: its parts, set-up and reading sequences,
// set-up lines under each fault, raw-byte layout (X, Y, Z little-endian, x 0.3 truncated, less
// 30 and 61) and its reversed sense of rotation.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <vector>

#include "compass/bypassmag.hpp"
#include "sequences.hpp"
#include "sim/board.hpp"
#include "sim_support.hpp"

namespace module_traits {

using namespace compass_test;

constexpr int mpu = sim::motion_sensor_addr;
constexpr int mag = sim::bypass_mag_addr;

// sequences.txt: reset, the part's reset window, wake-up and bypass; then the magnetometer behind
// it.
inline const std::vector<step> setup_steps(std::begin(sequences::bypassmag_setup),
                                           std::end(sequences::bypassmag_setup));
constexpr std::size_t mag_setup_step = 6;
static_assert(sequences::bypassmag_setup[mag_setup_step].addr == mag);
constexpr const char* setup_lines = "setup success.\nFound MPU.\nsetup success.\nFound magneto.\n";

inline const setup_fault setup_faults[] = {
    {"healthy_with_handles_from_0", [] { sim::board().handle_base(0); }, setup_lines},
    {"bus_missing", [] { sim::board().bus_missing(); },
     "Error while setting up.\nError while setting up.\n"},
    {"motion_sensor_absent", [] { sim::board().absent(mpu); }, "setup success.\nsetup success.\n"},
    {"magnetometer_absent", [] { sim::board().absent(mag); },
     "setup success.\nFound MPU.\nsetup success.\n"},
    {"motion_sensor_wrong_identity", [] { sim::board().force(mpu, 0x75, 0x70); },
     "setup success.\nsetup success.\nFound magneto.\n"},
    {"magnetometer_wrong_identity", [] { sim::board().force(mag, 0x00, 0x49); },
     "setup success.\nFound MPU.\nsetup success.\n"},
    {"bypass_write_lost", [] { sim::board().nack_register(mpu, 0x37); },
     "setup success.\nFound MPU.\nsetup success.\n"},
    // Its open fails, so the magnetometer gets the first handle, 0.
    {"motion_sensor_claimed_by_a_kernel_driver",
     [] { sim::board().kernel_driver(mpu).handle_base(0); },
     "Error while setting up.\nsetup success.\n"},
    {"magnetometer_claimed_by_a_kernel_driver", [] { sim::board().kernel_driver(mag); },
     "setup success.\nFound MPU.\nError while setting up.\n"},
};

// sequences.txt: the single-measurement trigger, the fixed wait and the six data registers in
// order.
inline const std::vector<step> reading_steps(std::begin(sequences::bypassmag_reading),
                                             std::end(sequences::bypassmag_reading));
constexpr std::int64_t reading_ns = sequences::duration_ns(sequences::bypassmag_reading);

inline const raw_case raw_cases[] = {
    {"x_16_counts_to_4 (-26, -61)", {0x10, 0x00, 0x00, 0x00, 0x00, 0x00}, 0x1.edd46957a1055p+7},
    {"x_-16_counts_to_-4 (-34, -61)", {0xF0, 0xFF, 0x00, 0x00, 0x00, 0x00}, 0x1.e1bb3e090841bp+7},
    {"y_16_counts (-30, -57)", {0x00, 0x00, 0x10, 0x00, 0x00, 0x00}, 0x1.e47ba08c77aacp+7},
    {"small_counts_to_0 (-30, -61)", {0x03, 0x00, 0xFD, 0xFF, 0x00, 0x00}, 0x1.e79fafeff025cp+7},
    {"minus_1_and_2_to_0 (-30, -61)", {0xFF, 0xFF, 0x02, 0x00, 0x00, 0x00}, 0x1.e79fafeff025cp+7},
    {"low_byte_first (46, -61)", {0x00, 0x01, 0x01, 0x00, 0x00, 0x00}, 0x1.33051742fa214p+8},
    {"z_is_not_used (-26, -57)", {0x10, 0x00, 0x10, 0x00, 0x34, 0x12}, 0x1.eaf5f1605d2bbp+7},
    {"extremes (9800, -9891)", {0xFF, 0x7F, 0x00, 0x80, 0x00, 0x00}, 0x1.3abc370e39434p+8},
    {"mixed (0, 29)", {0x64, 0x00, 0x2C, 0x01, 0x00, 0x00}, 0x1.68000006e6c71p+6},
};
// Every data byte 0xFF: axes -1, scaled 0, calibrated (-30, -61).
constexpr double failed_reads_heading = 0x1.e79fafeff025cp+7;

// Calibrated (10, 0), then (0, 10): the absolute heading rises by 90.0000001 and the module,
// counting the other way, reads 360 less that.
constexpr std::uint8_t bytes_at_0[6] = {134, 0, 204, 0, 0, 0};   // 40 - 30, 61 - 61
constexpr std::uint8_t bytes_at_90[6] = {101, 0, 237, 0, 0, 0};  // 30 - 30, 71 - 61
constexpr double reading_at_90 = 0x1.0dfffffe464e4p+8;           // 269.9999999

constexpr double first_reading = 360.0;
inline bool in_range(double reading) {
    return reading > 0.0 && reading <= 360.0;
}
// X forward, Y right: turning the board clockwise turns the field the other way on the axes.
inline double absolute_at_yaw(double yaw) {
    return -yaw;
}
constexpr unsigned settle_ms = 0;  // each reading measures afresh

// Per axis the module sees the field to within about 1.15 uT (0.15 from rounding to counts, under
// 1 from truncating the scaled value), out of 25 uT; a relative reading carries that twice.
inline const double resolution_deg =
    2.0 * std::asin(1.15 * std::sqrt(2.0) / 25.0) * 180.0 / 3.14159265358979;

}  // namespace module_traits
