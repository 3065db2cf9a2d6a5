// Honeywell HMC5883L stand-alone magnetometer: continuous measurement, output registers in
// X, Z, Y order, big-endian.
#pragma once

namespace hmc5883l {
constexpr int ADDRESS = 0x1E;
constexpr int CRA = 0x00;
constexpr int CRA_MA_2_SAMPLES = 0x20;
constexpr int CRA_DO_75_HZ = 0x18;
constexpr int CRA_MS_NORMAL = 0x00;
constexpr int MR = 0x02;
constexpr int MR_CONTINUOUS = 0x00;
constexpr int DXRA = 0x03;
constexpr int DXRB = 0x04;
constexpr int DZRA = 0x05;
constexpr int DZRB = 0x06;
constexpr int DYRA = 0x07;
constexpr int DYRB = 0x08;
constexpr int IRA = 0x0A;
constexpr int IRA_VALUE = 0x48;  // 'H'
}  // namespace hmc5883l
