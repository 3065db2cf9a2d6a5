// Honeywell HMC5883L stand-alone magnetometer: continuous measurement, output registers in
// X, Z, Y order, big-endian. Its register map; the sequences are in parts.hpp.
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
constexpr int SR = 0x09;
constexpr int SR_RDY = 0x01;
constexpr int IRA = 0x0A;
constexpr int IRA_VALUE = 0x48;  // 'H'
constexpr int IRB = 0x0B;
constexpr int IRB_VALUE = 0x34;  // '4'
constexpr int IRC = 0x0C;
constexpr int IRC_VALUE = 0x33;  // '3'
// An axis beyond the range of the gain reads -4096; the gain the kit keeps (CRB's power-on 0x20)
// gives 1090 counts per gauss.
constexpr int DATA_OVERFLOW = -4096;
constexpr int POWER_ON_COUNTS_PER_GAUSS = 1090;
// One output period at the kit's 75 Hz is 13.3 ms.
constexpr unsigned OUTPUT_PERIOD_MS = 14;
// The first continuous sample lands two output periods (26.7 ms at 75 Hz) after the mode write;
// until then the data registers hold the power-up measurement.
constexpr unsigned FIRST_SAMPLE_WAIT_MS = 27;
}  // namespace hmc5883l
