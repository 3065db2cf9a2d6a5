// Model of the InvenSense MPU-6050/MPU-9150 motion sensor (0x68) and its kin that answer another
// WHO_AM_I: register file, reset and sleep, and the I2C bypass that connects the magnetometer
// behind it to the main bus.
#pragma once

#include <cstdint>

#include "device.hpp"
#include "gate.hpp"

namespace sim::detail {

namespace mpu6050 {
// Register map (the parts the board models; all others are plain storage).
inline constexpr std::uint8_t SMPLRT_DIV = 0x19;
inline constexpr std::uint8_t CONFIG = 0x1A;
inline constexpr std::uint8_t GYRO_CONFIG = 0x1B;
inline constexpr std::uint8_t ACCEL_CONFIG = 0x1C;
inline constexpr std::uint8_t INT_PIN_CFG = 0x37;
inline constexpr std::uint8_t INT_ENABLE = 0x38;
inline constexpr std::uint8_t INT_STATUS = 0x3A;
inline constexpr std::uint8_t ACCEL_XOUT_H = 0x3B;
inline constexpr std::uint8_t ACCEL_ZOUT_H = 0x3F;
inline constexpr std::uint8_t TEMP_OUT_H = 0x41;
inline constexpr std::uint8_t GYRO_XOUT_H = 0x43;
inline constexpr std::uint8_t EXT_SENS_DATA_23 = 0x60;
inline constexpr std::uint8_t SIGNAL_PATH_RESET = 0x68;
inline constexpr std::uint8_t USER_CTRL = 0x6A;
inline constexpr std::uint8_t PWR_MGMT_1 = 0x6B;
inline constexpr std::uint8_t PWR_MGMT_2 = 0x6C;
inline constexpr std::uint8_t FIFO_COUNTH = 0x72;
inline constexpr std::uint8_t FIFO_COUNTL = 0x73;
inline constexpr std::uint8_t WHO_AM_I = 0x75;
inline constexpr std::uint8_t register_count = 0x76;

// WHO_AM_I of each part (bits 6:1 of the address, so an MPU-6050 strapped to 0x69 still reads
// 0x68): MPU-6050/MPU-9150, MPU-6500, MPU-9250, MPU-9255.
inline constexpr std::uint8_t WHO_AM_I_VALUE = 0x68;
inline constexpr std::uint8_t WHO_AM_I_MPU6500 = 0x70;
inline constexpr std::uint8_t WHO_AM_I_MPU9250 = 0x71;
inline constexpr std::uint8_t WHO_AM_I_MPU9255 = 0x73;
inline constexpr std::uint8_t PWR_MGMT_1_RESET_VALUE = 0x40;
inline constexpr std::uint8_t PWR_MGMT_1_DEVICE_RESET = 0x80;
inline constexpr std::uint8_t PWR_MGMT_1_SLEEP = 0x40;
inline constexpr std::uint8_t PWR_MGMT_1_TEMP_DIS = 0x08;
inline constexpr std::uint8_t PWR_MGMT_2_STBY_XA = 0x20;
inline constexpr std::uint8_t PWR_MGMT_2_STBY_YA = 0x10;
inline constexpr std::uint8_t PWR_MGMT_2_STBY_ZA = 0x08;
inline constexpr std::uint8_t INT_PIN_CFG_I2C_BYPASS_EN = 0x02;
inline constexpr std::uint8_t USER_CTRL_I2C_MST_EN = 0x20;
// Self-clearing reset strobes.
inline constexpr std::uint8_t USER_CTRL_RESET_BITS = 0x07;  // FIFO, I2C_MST, SIG_COND resets
inline constexpr std::uint8_t SIGNAL_PATH_RESET_BITS = 0x07;
inline constexpr std::uint8_t ACCEL_CONFIG_AFS_SEL_MASK = 0x18;
inline constexpr unsigned ACCEL_CONFIG_AFS_SEL_SHIFT = 3;

inline constexpr std::int64_t default_reset_ns = 100'000'000;
}  // namespace mpu6050

class mpu6050_model final : public register_map<mpu6050::register_count>, public gate {
  public:
    mpu6050_model() { reset(); }

    // Register reset values; the part is ready at once (the board has long been powered).
    void reset() override;
    void reset_time_ns(std::int64_t ns) { reset_ns_ = ns; }
    // Which part of the family this is; a property of the part, kept by reset().
    void who_am_i(std::uint8_t id) {
        who_am_i_ = id;
        regs_[mpu6050::WHO_AM_I] = id;
    }
    // False while a DEVICE_RESET runs: the part does not acknowledge its address.
    bool acknowledges(std::int64_t now_ns) const override { return now_ns >= busy_until_; }
    bool write(std::uint8_t reg, std::uint8_t value, std::int64_t now_ns) override;
    // The auxiliary bus is passed through to the main bus: bypass on and the internal I2C
    // master off.
    bool open() const override;

  private:
    int read_mapped(std::uint8_t reg) override;
    void refresh_sensors();

    std::int64_t busy_until_ = 0;
    std::int64_t reset_ns_ = mpu6050::default_reset_ns;
    std::uint8_t who_am_i_ = mpu6050::WHO_AM_I_VALUE;
};

}  // namespace sim::detail
