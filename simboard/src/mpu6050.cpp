// Model of the MPU-6050/9150 motion sensor: the register file with its reset values, DEVICE_RESET,
// sleep, and the bypass switch; a board lying still and flat on a table at 25 degC.
//
// Where the datasheet is silent the model assumes:
// - DEVICE_RESET takes 100 ms, during which the part acknowledges nothing: reads fail and writes
//   are lost. The register map (rev. 4.2, register 107 PWR_MGMT_1) says only that the bit
//   "automatically clears to 0 once the reset is done"; its reset sequence (given for SPI, under
//   register 104 SIGNAL_PATH_RESET) waits 100 ms, and writes sent sooner are lost on silicon. The
//   longest window that pause still covers is the one hardest on a driver; a test may choose
//   another (motion_reset_time_us). The registers read their reset values once it is over.
// - Waking from sleep takes effect at once.
// - Sensor registers hold zeros after reset and while asleep; awake, they show the still board
//   at once: +1 g on Z at the configured range, no rotation, 25 degC unless TEMP_DIS.
// - Writes to read-only registers (status, sensor data, FIFO count, WHO_AM_I) are acknowledged
//   and ignored; registers past WHO_AM_I read 0x00 and ignore writes.
// - The MPU-6500/9250/9255 share this map as far as the kit goes; they differ in WHO_AM_I only.
// - The reset strobes in USER_CTRL and SIGNAL_PATH_RESET clear themselves at once.
#include "mpu6050.hpp"

#include <algorithm>

namespace sim::detail {

using namespace mpu6050;

namespace {
constexpr int accel_counts_per_g[4] = {16384, 8192, 4096, 2048};
constexpr double board_temperature_c = 25.0;
constexpr double temp_counts_per_c = 340.0;
constexpr double temp_offset_c = 36.53;

bool read_only(std::uint8_t reg) {
    return reg == INT_STATUS || (reg >= ACCEL_XOUT_H && reg <= EXT_SENS_DATA_23) ||
           reg == FIFO_COUNTH || reg == FIFO_COUNTL || reg == WHO_AM_I;
}
}  // namespace

void mpu6050_model::reset() {
    clear_registers();
    busy_until_ = 0;
    regs_[PWR_MGMT_1] = PWR_MGMT_1_RESET_VALUE;
    regs_[WHO_AM_I] = who_am_i_;
}

bool mpu6050_model::open() const {
    return (regs_[INT_PIN_CFG] & INT_PIN_CFG_I2C_BYPASS_EN) != 0 &&
           (regs_[USER_CTRL] & USER_CTRL_I2C_MST_EN) == 0;
}

void mpu6050_model::refresh_sensors() {
    if ((regs_[PWR_MGMT_1] & PWR_MGMT_1_SLEEP) != 0) {
        return;
    }
    const unsigned afs =
        (regs_[ACCEL_CONFIG] & ACCEL_CONFIG_AFS_SEL_MASK) >> ACCEL_CONFIG_AFS_SEL_SHIFT;
    const std::uint8_t standby[3] = {PWR_MGMT_2_STBY_XA, PWR_MGMT_2_STBY_YA, PWR_MGMT_2_STBY_ZA};
    const int accel[3] = {0, 0, accel_counts_per_g[afs]};
    for (int i = 0; i < 3; ++i) {
        if ((regs_[PWR_MGMT_2] & standby[i]) == 0) {
            put_be16(&regs_[ACCEL_XOUT_H + 2 * i], accel[i]);
        }
    }
    if ((regs_[PWR_MGMT_1] & PWR_MGMT_1_TEMP_DIS) == 0) {
        const double counts = (board_temperature_c - temp_offset_c) * temp_counts_per_c;
        put_be16(&regs_[TEMP_OUT_H], static_cast<int>(counts < 0 ? counts - 0.5 : counts + 0.5));
    }
    std::fill_n(&regs_[GYRO_XOUT_H], 6, std::uint8_t{0x00});  // no rotation
}

int mpu6050_model::read_mapped(std::uint8_t reg) {
    if (reg >= ACCEL_XOUT_H && reg < GYRO_XOUT_H + 6) {
        refresh_sensors();
    }
    return regs_[reg];
}

bool mpu6050_model::write(std::uint8_t reg, std::uint8_t value, std::int64_t now_ns) {
    if (reg >= register_count || read_only(reg)) {
        return true;
    }
    if (reg == PWR_MGMT_1 && (value & PWR_MGMT_1_DEVICE_RESET) != 0) {
        reset();  // the reset bit clears itself; the rest of the written value is dropped
        busy_until_ = now_ns + reset_ns_;
        return true;
    }
    if (reg == USER_CTRL) {
        value = static_cast<std::uint8_t>(value & ~USER_CTRL_RESET_BITS);
    } else if (reg == SIGNAL_PATH_RESET) {
        value = static_cast<std::uint8_t>(value & ~SIGNAL_PATH_RESET_BITS);
    }
    regs_[reg] = value;
    return true;
}

}  // namespace sim::detail
