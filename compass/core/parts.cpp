// The parts' sequences of the compass modules; see parts.hpp.
#include "compass/core/parts.hpp"

#include <cerrno>

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

bool reset_and_open_bypass(int mpu) {
    const bool reset =
        wiringPiI2CWriteReg8(mpu, mpu6050::PWR_MGMT_1, mpu6050::PWR_MGMT_1_DEVICE_RESET) >= 0;
    delay(mpu6050::RESET_PAUSE_MS);
    const bool wake =
        wiringPiI2CWriteReg8(mpu, mpu6050::PWR_MGMT_1, mpu6050::PWR_MGMT_1_TEMP_DIS) >= 0;
    const bool bypass =
        wiringPiI2CWriteReg8(mpu, mpu6050::INT_PIN_CFG, mpu6050::INT_PIN_CFG_I2C_BYPASS_EN) >= 0;
    return reset && wake && bypass;
}

part open_behind_bypass(int mpu) {
    reset_and_open_bypass(mpu);
    part p = open_and_identify(ak8975::ADDRESS, ak8975::WIA);
    p.found = p.id == ak8975::WIA_VALUE;
    return p;
}

part set_up_hmc5883l() {
    part p = open_and_identify(hmc5883l::ADDRESS, hmc5883l::IRA);
    p.found = (p.id & 0xFF) == hmc5883l::IRA_VALUE;
    configure_hmc5883l(p.fd);
    return p;
}

bool configure_hmc5883l(int fd) {
    using namespace hmc5883l;
    const bool cra =
        wiringPiI2CWriteReg8(fd, CRA, CRA_MA_2_SAMPLES | CRA_DO_75_HZ | CRA_MS_NORMAL) >= 0;
    const bool mr = wiringPiI2CWriteReg8(fd, MR, MR_CONTINUOUS) >= 0;
    return cra && mr;
}

bool trigger_and_wait(int fd) {
    const bool ok = wiringPiI2CWriteReg8(fd, ak8975::CNTL, ak8975::CNTL_SINGLE_MEASUREMENT) >= 0;
    delay(ak8975::MEASUREMENT_WAIT_MS);
    return ok;
}

data_block read_data_block(int fd, int first_register) {
    data_block block;
    for (int j = 0; j < DATA_REGISTER_COUNT; ++j) {
        const int v = wiringPiI2CReadReg8(fd, first_register + j);
        block.failed = block.failed || v < 0;
        block.bytes[j] = static_cast<std::uint8_t>(v);
    }
    return block;
}

axes ak8975_counts(const data_block& data) {
    const std::uint8_t* b = data.bytes;
    return {axis_le(b[0], b[1]), axis_le(b[2], b[3]), axis_le(b[4], b[5]), !data.failed};
}

axes hmc5883l_counts(const data_block& data) {
    const std::uint8_t* b = data.bytes;
    return {axis_be(b[0], b[1]), axis_be(b[4], b[5]), axis_be(b[2], b[3]), !data.failed};
}

axes read_ak8975(int fd) {
    const bool triggered = trigger_and_wait(fd);
    axes a = ak8975_counts(read_data_block(fd, ak8975::HXL));
    a.x = ak8975_microtesla(a.x);
    a.y = ak8975_microtesla(a.y);
    a.z = ak8975_microtesla(a.z);
    a.ok = a.ok && triggered;
    return a;
}

axes read_hmc5883l(int fd) {
    return hmc5883l_counts(read_data_block(fd, hmc5883l::DXRA));
}

}  // namespace compass::core
