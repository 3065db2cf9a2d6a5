// The parts' sequences of the compass modules; see parts.hpp.
#include "compass/core/parts.hpp"

#include <cerrno>
#include <cstdint>

#include "compass/core/ak8975.hpp"
#include "compass/core/heading.hpp"
#include "compass/core/hmc5883l.hpp"
#include "compass/core/mpu6050.hpp"
#include "i2cbus/bus.h"

namespace compass::core {
namespace {

// Opens address and reads its identification register (also with a negative handle).
part open_and_identify(int address, int id_register) {
    part p;
    static_cast<handle&>(p) = open_device(address);
    p.id = wiringPiI2CReadReg8(p.fd, id_register);
    return p;
}

// A magnetometer's six data registers from first on.
struct data_block {
    std::uint8_t bytes[6] = {};
    bool failed = false;  // some read of the six failed
};

data_block read_data_block(int fd, int first) {
    data_block block;
    for (int j = 0; j < 6; ++j) {
        const int v = wiringPiI2CReadReg8(fd, first + j);
        block.failed = block.failed || v < 0;
        block.bytes[j] = static_cast<std::uint8_t>(v);  // -1 keeps its low byte, 0xFF
    }
    return block;
}

void reset_and_open_bypass(int mpu) {
    using namespace mpu6050;
    wiringPiI2CWriteReg8(mpu, PWR_MGMT_1, PWR_MGMT_1_DEVICE_RESET);
    delay(RESET_PAUSE_MS);
    wiringPiI2CWriteReg8(mpu, PWR_MGMT_1, PWR_MGMT_1_TEMP_DIS);
    wiringPiI2CWriteReg8(mpu, INT_PIN_CFG, INT_PIN_CFG_I2C_BYPASS_EN);
}

}  // namespace

handle open_device(int address) {
    errno = 0;
    const int fd = wiringPiI2CSetup(address);
    return {fd, fd < 0 ? errno : 0};
}

part open_motion_sensor() {
    part p = open_and_identify(mpu6050::ADDRESS, mpu6050::WHO_AM_I);
    p.found = p.id == mpu6050::WHO_AM_I_VALUE;
    return p;
}

part open_behind_bypass(int mpu) {
    reset_and_open_bypass(mpu);
    part p = open_and_identify(ak8975::ADDRESS, ak8975::WIA);
    p.found = p.id == ak8975::WIA_VALUE;
    return p;
}

hmc5883l_part set_up_hmc5883l() {
    hmc5883l_part p;
    static_cast<part&>(p) = open_and_identify(hmc5883l::ADDRESS, hmc5883l::IRA);
    p.found = (p.id & 0xFF) == hmc5883l::IRA_VALUE;
    p.continuous = configure_hmc5883l(p.fd);
    return p;
}

bool configure_hmc5883l(int fd) {
    using namespace hmc5883l;
    wiringPiI2CWriteReg8(fd, CRA, CRA_MA_2_SAMPLES | CRA_DO_75_HZ | CRA_MS_NORMAL);
    return wiringPiI2CWriteReg8(fd, MR, MR_CONTINUOUS) >= 0;
}

bool trigger_and_wait(int fd) {
    const bool ok = wiringPiI2CWriteReg8(fd, ak8975::CNTL, ak8975::CNTL_SINGLE_MEASUREMENT) >= 0;
    delay(ak8975::MEASUREMENT_WAIT_MS);
    return ok;
}

axes read_ak8975(int fd) {
    const bool triggered = trigger_and_wait(fd);
    const axes a = read_ak8975_counts(fd);
    return {ak8975_microtesla(a.x), ak8975_microtesla(a.y), ak8975_microtesla(a.z),
            a.ok && triggered};
}

axes read_ak8975_counts(int fd) {
    const data_block d = read_data_block(fd, ak8975::HXL);
    const std::uint8_t* b = d.bytes;
    return {axis_le(b[0], b[1]), axis_le(b[2], b[3]), axis_le(b[4], b[5]), !d.failed};
}

axes read_hmc5883l(int fd) {
    const data_block d = read_data_block(fd, hmc5883l::DXRA);
    const std::uint8_t* b = d.bytes;  // X, Z, Y
    return {axis_be(b[0], b[1]), axis_be(b[4], b[5]), axis_be(b[2], b[3]), !d.failed};
}

}  // namespace compass::core
