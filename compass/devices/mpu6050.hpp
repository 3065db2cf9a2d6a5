// InvenSense MPU-6050 / MPU-9150 motion sensor: the registers the kit uses to open its I2C bypass.
#pragma once

namespace mpu6050 {
constexpr int ADDRESS = 0x68;
constexpr int INT_PIN_CFG = 0x37;
constexpr int INT_PIN_CFG_I2C_BYPASS_EN = 0x02;
constexpr int PWR_MGMT_1 = 0x6B;
constexpr int PWR_MGMT_1_DEVICE_RESET = 0x80;
constexpr int PWR_MGMT_1_TEMP_DIS = 0x08;  // SLEEP clear, CLKSEL 0: internal oscillator
constexpr int WHO_AM_I = 0x75;
constexpr int WHO_AM_I_VALUE = 0x68;
}  // namespace mpu6050
