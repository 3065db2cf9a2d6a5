// Helpers for the module tests on the simulated board: a fixture with captured set-up output, the
// transfer log reduced to what a module decides, forced register bytes, and angle comparison.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "compass/compass.hpp"
#include "sim/board.hpp"

namespace compass_test {

// Each test starts on a fresh board with the module unlatched, as a host may ask for.
class module_fixture : public ::testing::Test {
  protected:
    void SetUp() override {
        sim::board().reset();
        flagx = 0;
        comp_angl = 0.0;
    }
    // Runs setup_magneto() with standard output captured into lines.
    int set_up() {
        std::fflush(stdout);
        testing::internal::CaptureStdout();
        const int fd = setup_magneto();
        std::fflush(stdout);
        lines = testing::internal::GetCapturedStdout();
        return fd;
    }
    std::string lines;
};

// One bus call as the module chose it: the kind, the device, the register and the value it wrote
// (or the milliseconds it waited).
struct step {
    sim::op kind;
    int addr;
    int reg;
    int value;
    bool operator==(const step&) const = default;
};

inline void PrintTo(const step& s, std::ostream* os) {
    static const char* const kinds[] = {"setup", "read", "write", "delay"};
    *os << kinds[static_cast<int>(s.kind)] << "(addr 0x" << std::hex << s.addr << ", reg 0x"
        << s.reg << ", value 0x" << s.value << std::dec << ")";
}

inline step setup_of(int addr) {
    return {sim::op::setup, addr, -1, -1};
}
inline step read_of(int addr, int reg) {
    return {sim::op::read, addr, reg, -1};
}
inline step write_of(int addr, int reg, int value) {
    return {sim::op::write, addr, reg, value};
}
inline step delay_of(int ms) {
    return {sim::op::delay, -1, -1, ms};
}

// The whole log as steps. A read's value is what the device returned, so it is left out.
inline std::vector<step> steps_all() {
    std::vector<step> out;
    for (const sim::transfer& t : sim::board().log()) {
        out.push_back({t.kind, t.addr, t.reg, t.kind == sim::op::read ? -1 : t.value});
    }
    return out;
}

// The steps with the device left out: a call on a failed handle names no device.
inline std::vector<step> without_devices(std::vector<step> steps) {
    for (step& s : steps) {
        s.addr = -1;
    }
    return steps;
}

inline std::vector<step> repeated(const std::vector<step>& steps, int times) {
    std::vector<step> out;
    for (int i = 0; i < times; ++i) {
        out.insert(out.end(), steps.begin(), steps.end());
    }
    return out;
}

// Makes the six data registers 0x03..0x08 of addr read as the given bytes.
inline void force_data(int addr, const std::uint8_t (&bytes)[6]) {
    for (int j = 0; j < 6; ++j) {
        sim::board().force(addr, 0x03 + j, bytes[j]);
    }
}

// Signed difference got - want, wrapped into [-180, 180).
inline double angle_error(double got, double want) {
    double d = std::fmod(got - want, 360.0);
    if (d >= 180.0) {
        d -= 360.0;
    } else if (d < -180.0) {
        d += 360.0;
    }
    return d;
}

// A set-up condition and the lines the module must print under it.
struct setup_fault {
    const char* name;
    void (*inject)();
    const char* lines;
};

// Six forced data bytes and the absolute heading the reading must latch from them. The headings
// are atan2 of the calibrated pair (given with the name) rounded correctly to double, then
// x 180.0 / 3.14159265 in double, worked out outside this code.
struct raw_case {
    const char* name;
    std::uint8_t bytes[6];
    double heading;
};

// Simulated time of one register transfer on the 100 kHz bus.
inline constexpr std::int64_t read_ns = 390'000;
inline constexpr std::int64_t write_ns = 290'000;

}  // namespace compass_test
