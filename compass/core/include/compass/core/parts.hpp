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

// The bypassmag module's set-up in two: opens the motion sensor at 0x68 and reads WHO_AM_I; then
// resets it, pauses, wakes it (internal clock, temperature sensor off), switches its I2C bypass on,
// opens the AK8975 at 0x0C behind it and reads WIA.
part open_motion_sensor();
part open_behind_bypass(int mpu);

// The directmag module's set-up: opens the HMC5883L at 0x1E, reads IRA, then configure_hmc5883l.
struct hmc5883l_part : part {
    bool continuous = false;  // the mode write was taken (refused: errno is the bus's reason)
};
hmc5883l_part set_up_hmc5883l();
// 2 samples averaged at 75 Hz, normal bias, then continuous measurement; the gain keeps its
// power-on value. false when the part refused the mode write: it then never measures again.
bool configure_hmc5883l(int fd);

// Starts one AK8975 measurement and waits the module's 8 ms; false when the trigger was refused.
bool trigger_and_wait(int fd);

// Three axes of one measurement from its six data registers (each read alone, in register order; a
// failed read counts as the byte 0xFF), and whether every transfer of it was accepted.
struct axes {
    std::int16_t x = 0;
    std::int16_t y = 0;
    std::int16_t z = 0;
    bool ok = false;
};
// The modules' readings before their offsets. bypassmag: trigger, wait, the six registers, scaled
// to microtesla. directmag: the six registers of the latest sample, in counts.
axes read_ak8975(int fd);
axes read_hmc5883l(int fd);
// The AK8975's data registers as they stand, in counts (no trigger, no wait).
axes read_ak8975_counts(int fd);

}  // namespace compass::core
