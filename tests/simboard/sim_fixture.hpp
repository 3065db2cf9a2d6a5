// Shared set-up of the simulated-board tests: a board at power-on and short helpers for the
// register sequences the tests repeat.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "i2cbus/bus.h"
#include "sim/board.hpp"

namespace simtest {

// A signed 16-bit value from two registers, low byte first or high byte first.
inline int read_le16(int fd, int lo_reg) {
    const int lo = wiringPiI2CReadReg8(fd, lo_reg);
    return static_cast<std::int16_t>((wiringPiI2CReadReg8(fd, lo_reg + 1) << 8) | lo);
}
inline int read_be16(int fd, int hi_reg) {
    const int hi = wiringPiI2CReadReg8(fd, hi_reg);
    return static_cast<std::int16_t>((hi << 8) | wiringPiI2CReadReg8(fd, hi_reg + 1));
}

// Opens the motion sensor, wakes it and turns the bypass on; returns the magnetometer handle.
inline int open_bypass_mag() {
    const int mpu = wiringPiI2CSetup(sim::motion_sensor_addr);
    EXPECT_EQ(wiringPiI2CWriteReg8(mpu, 0x6B, 0x00), 0);
    EXPECT_EQ(wiringPiI2CWriteReg8(mpu, 0x37, 0x02), 0);
    return wiringPiI2CSetup(sim::bypass_mag_addr);
}

class board_test : public ::testing::Test {
  protected:
    void SetUp() override { sim::board().reset(); }
};

}  // namespace simtest
