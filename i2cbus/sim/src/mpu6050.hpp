// Model of the InvenSense MPU-6050/MPU-9150 motion sensor (0x68): register file, reset and
// sleep, and the I2C bypass that connects the magnetometer behind it to the main bus.
#pragma once

#include <cstdint>

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

inline constexpr std::uint8_t WHO_AM_I_VALUE = 0x68;
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

class mpu6050_model {
  public:
    mpu6050_model() { reset(); }

    // Register reset values; the part is ready at once (the board has long been powered).
    void reset();
    void reset_time_ns(std::int64_t ns) { reset_ns_ = ns; }
    // False while a DEVICE_RESET runs: the part does not acknowledge its address.
    bool ready(std::int64_t now) const { return now >= busy_until_; }
    std::uint8_t read(std::uint8_t reg);
    void write(std::uint8_t reg, std::uint8_t value, std::int64_t now);
    int peek(std::uint8_t reg) const;
    // The auxiliary bus is passed through to the main bus: bypass on and the internal I2C
    // master off.
    bool bypass_active() const;

  private:
    void refresh_sensors();

    std::uint8_t regs_[mpu6050::register_count] = {};
    std::int64_t busy_until_ = 0;
    std::int64_t reset_ns_ = mpu6050::default_reset_ns;
};

}  // namespace sim::detail
