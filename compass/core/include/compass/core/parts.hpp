// The parts' sequences as the compass modules send them: their set-up steps and their readings,
// returning what the modules print from and what the board tools need (handles, the errno of a
// failed open, identification bytes). Every step runs whatever the earlier ones gave.
#pragma once

#include <cstdint>

namespace compass::core {

// A device opened by its 7-bit address: the handle (negative when the open failed) and the errno
// that the failed open left (0 otherwise).
struct handle {
    int fd = -1;
    int error = 0;
};
handle open_device(int address);

// A part opened and asked for its identification register.
struct part : handle {
    int id = -1;         // what the register read (-1: the read failed)
    bool found = false;  // id is the part's own value
};

// The bypass module's motion sensor: opens 0x68 and reads WHO_AM_I.
part open_motion_sensor();
// Resets the motion sensor behind mpu, pauses, wakes it (internal clock, temperature sensor off)
// and switches its I2C bypass on; false when a write was not accepted.
bool reset_and_open_bypass(int mpu);
// The rest of the bypass module's set-up: reset_and_open_bypass(mpu), then opens the AK8975 at
// 0x0C and reads WIA.
part open_behind_bypass(int mpu);

// The directmag module's set-up: opens the HMC5883L at 0x1E, reads IRA, then configure_hmc5883l.
part set_up_hmc5883l();
// 2 samples averaged at 75 Hz, normal bias, then continuous measurement; the gain is left at its
// power-on value. False when a write was not accepted.
bool configure_hmc5883l(int fd);

// Starts one AK8975 measurement and waits the module's 8 ms for it; false when the trigger was not
// accepted.
bool trigger_and_wait(int fd);

// A magnetometer's six data registers, read one by one in register order.
constexpr int DATA_REGISTER_COUNT = 6;
struct data_block {
    // From the first data register on; a failed read keeps the low byte of -1, 0xFF.
    std::uint8_t bytes[DATA_REGISTER_COUNT] = {};
    bool failed = false;  // some read of the six failed
};
data_block read_data_block(int fd, int first_register);

// Three axes of one measurement, and whether every transfer of it was accepted.
struct axes {
    std::int16_t x = 0;
    std::int16_t y = 0;
    std::int16_t z = 0;
    bool ok = false;
};
// Raw counts from the data registers: the AK8975's little-endian X, Y, Z, the HMC5883L's
// big-endian X, Z, Y.
axes ak8975_counts(const data_block& data);
axes hmc5883l_counts(const data_block& data);

// The modules' readings before their offsets. bypassmag: trigger, wait, the six registers, scaled
// to microtesla. directmag: the six registers of the latest sample, in counts.
axes read_ak8975(int fd);
axes read_hmc5883l(int fd);

}  // namespace compass::core
