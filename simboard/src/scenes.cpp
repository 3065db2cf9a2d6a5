// Named boards users meet, each a setting of the parts and faults through the back door.
#include <cstring>

#include "sim/board.hpp"

namespace sim {
namespace {

struct named_scene {
    const char* name;
    void (*apply)(board_t& b);
};

// A magnet next to the board: 2500 uT on every axis of both magnetometers (the AK8975 reads at
// most 1228.8 uT per axis, the HMC5883L at most 8.1 gauss; 25 gauss is 27250 counts at its
// power-on gain).
constexpr double magnet_ut = 2500.0;
constexpr int magnet_counts = 27250;

// Boards as users find them carry their sensors' noise: 0.2 uT, the HMC5883L's 2 milligauss noise
// floor (its datasheet's table of characteristics), on both magnetometers. A live part's counts
// change from one sample to the next; only a part that never measures repeats itself.
constexpr double found_noise_ut = 0.2;

board_t& gy271(board_t& b) {
    return b.fit(motion_sensor_addr, part::none)
        .fit(bypass_mag_addr, part::none)
        .fit(standalone_mag_addr, part::none);
}

constexpr named_scene scenes[] = {
    {"sound", [](board_t&) {}},
    {"no-bus", [](board_t& b) { b.bus_missing(); }},
    {"no-permission", [](board_t& b) { b.no_permission(); }},
    {"kernel-device", [](board_t& b) { b.kernel_driver(motion_sensor_addr); }},
    {"no-magnetometer",
     [](board_t& b) { b.fit(bypass_mag_addr, part::none).fit(standalone_mag_addr, part::none); }},
    {"mpu9250",
     [](board_t& b) {
         b.fit(motion_sensor_addr, part::mpu9250)
             .fit(bypass_mag_addr, part::ak8963, motion_sensor_addr);
     }},
    // A GY-271 breakout alone, carrying a QST part where an HMC5883L was promised.
    {"qmc5883l", [](board_t& b) { gy271(b).fit(qmc5883l_addr, part::qmc5883l); }},
    {"qmc5883p", [](board_t& b) { gy271(b).fit(qmc5883p_addr, part::qmc5883p); }},
    {"never-measures",
     [](board_t& b) { b.fit(standalone_mag_addr, part::hmc5883l_clone).stall_conversion(); }},
    {"magnet",
     [](board_t& b) {
         b.bypass_offset(magnet_ut, magnet_ut, magnet_ut)
             .standalone_offset(magnet_counts, magnet_counts, magnet_counts);
     }},
};

}  // namespace

bool apply_scene(const char* name) {
    board().reset().noise(found_noise_ut);
    for (const named_scene& s : scenes) {
        if (name != nullptr && std::strcmp(name, s.name) == 0) {
            s.apply(board());
            return true;
        }
    }
    return false;
}

const char* scene_name(std::size_t i) {
    return i < sizeof scenes / sizeof scenes[0] ? scenes[i].name : nullptr;
}

}  // namespace sim
