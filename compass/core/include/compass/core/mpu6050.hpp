// InvenSense MPU-6050 / MPU-9150 motion sensor: the registers the kit uses to open its I2C bypass
// (the sequence is in parts.hpp).
#pragma once

namespace mpu6050 {
constexpr int ADDRESS = 0x68;
constexpr int ADDRESS_AD0_HIGH = 0x69;  // a board that straps AD0 high
constexpr int INT_PIN_CFG = 0x37;
constexpr int INT_PIN_CFG_I2C_BYPASS_EN = 0x02;
constexpr int PWR_MGMT_1 = 0x6B;
constexpr int PWR_MGMT_1_DEVICE_RESET = 0x80;
constexpr int PWR_MGMT_1_TEMP_DIS = 0x08;  // SLEEP clear, CLKSEL 0: internal oscillator
constexpr int WHO_AM_I = 0x75;
constexpr int WHO_AM_I_VALUE = 0x68;  // MPU-6050 and MPU-9150 (register map rev. 4.2, reg. 117)
// Parts of the same family that share PWR_MGMT_1 and INT_PIN_CFG (their register maps, reg. 117):
// the MPU-6500 has no magnetometer, the MPU-9250 and MPU-9255 an AK8963 behind the bypass.
constexpr int WHO_AM_I_MPU6500 = 0x70;
constexpr int WHO_AM_I_MPU9250 = 0x71;
constexpr int WHO_AM_I_MPU9255 = 0x73;
// The part ignores the bus while DEVICE_RESET runs; the register map gives no figure, its reset
// sequence waits 100 ms, and writes sent sooner are lost on silicon.
constexpr unsigned RESET_PAUSE_MS = 100;
}  // namespace mpu6050
