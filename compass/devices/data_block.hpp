// One read of a magnetometer's six data registers, the way every sequence of the kit takes it:
// all six in register order, whatever the earlier ones gave.
#pragma once

#include <cstdint>

#include "i2cbus/bus.h"

namespace devices {

constexpr int DATA_REGISTER_COUNT = 6;

struct data_block {
    // From the first data register on; a failed read keeps the low byte of -1, 0xFF.
    std::uint8_t bytes[DATA_REGISTER_COUNT] = {};
    bool failed = false;  // some read of the six failed
};

inline data_block read_data_block(int fd, int first_register) {
    data_block block;
    for (int j = 0; j < DATA_REGISTER_COUNT; ++j) {
        const int v = wiringPiI2CReadReg8(fd, first_register + j);
        block.failed = block.failed || v < 0;
        block.bytes[j] = static_cast<std::uint8_t>(v);
    }
    return block;
}

}  // namespace devices
