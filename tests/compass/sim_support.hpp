// Helpers for the module tests on the simulated board: captured set-up output, the transfer log
// reduced to what a module decides, forced register bytes, and angle comparison.
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

// Runs setup_magneto() with standard output captured.
inline std::string captured_setup(int& fd) {
    std::fflush(stdout);
    testing::internal::CaptureStdout();
    fd = setup_magneto();
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

// One bus call as the module chose it: the kind, the device, the register and the value it wrote
// (or the milliseconds it waited). Read values and results are checked separately where they
// matter.
struct step {
    sim::op kind;
    int addr;
    int reg;
    int value;
    bool operator==(const step&) const = default;
};

inline const char* name_of(sim::op k) {
    switch (k) {
        case sim::op::setup:
            return "setup";
        case sim::op::read:
            return "read";
        case sim::op::write:
            return "write";
        case sim::op::delay:
            return "delay";
    }
    return "?";
}

inline void PrintTo(const step& s, std::ostream* os) {
    *os << name_of(s.kind) << "(addr 0x" << std::hex << s.addr << ", reg 0x" << s.reg
        << ", value 0x" << s.value << std::dec << ")";
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

inline std::vector<step> steps_since(std::size_t first) {
    std::vector<step> out;
    const auto& log = sim::board().log();
    for (std::size_t i = first; i < log.size(); ++i) {
        const sim::transfer& t = log[i];
        switch (t.kind) {
            case sim::op::setup:
                out.push_back(setup_of(t.addr));
                break;
            case sim::op::read:
                out.push_back(read_of(t.addr, t.reg));
                break;
            case sim::op::write:
                out.push_back(write_of(t.addr, t.reg, t.value));
                break;
            case sim::op::delay:
                out.push_back(delay_of(t.value));
                break;
        }
    }
    return out;
}

inline std::vector<step> steps_all() {
    return steps_since(0);
}

// Counts of each kind of call in the log.
struct cost {
    int reads = 0;
    int writes = 0;
    int delays = 0;
    int delay_ms = 0;
    int other = 0;
};

inline cost cost_of_log() {
    cost c;
    for (const sim::transfer& t : sim::board().log()) {
        switch (t.kind) {
            case sim::op::read:
                ++c.reads;
                break;
            case sim::op::write:
                ++c.writes;
                break;
            case sim::op::delay:
                ++c.delays;
                c.delay_ms += t.value;
                break;
            case sim::op::setup:
                ++c.other;
                break;
        }
    }
    return c;
}

// Makes the six data registers 0x03..0x08 of addr read as the given bytes.
inline void force_data(int addr, const std::uint8_t (&bytes)[6]) {
    for (int j = 0; j < 6; ++j) {
        sim::board().force(addr, 0x03 + j, bytes[j]);
    }
}

// The absolute heading of a calibrated pair, computed independently of the modules.
inline double expected_absolute(int x, int y) {
    double a = std::atan2(static_cast<double>(y), static_cast<double>(x)) * 180.0 / 3.14159265;
    return a < 0 ? a + 360.0 : a;
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

// Simulated time of one register transfer on the 100 kHz bus.
inline constexpr std::int64_t read_ns = 390'000;
inline constexpr std::int64_t write_ns = 290'000;

}  // namespace compass_test
