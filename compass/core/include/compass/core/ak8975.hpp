// AKM AK8975 magnetometer behind the motion sensor's bypass: single measurements on demand,
// little-endian data, 0.3 uT per count. Its register map; the sequences are in parts.hpp.
#pragma once

namespace ak8975 {
constexpr int ADDRESS = 0x0C;
constexpr int WIA = 0x00;
constexpr int WIA_VALUE = 0x48;  // the AK8963 reads the same
constexpr int ST1 = 0x02;
constexpr int ST1_DRDY = 0x01;
constexpr int HXL = 0x03;
constexpr int HXH = 0x04;
constexpr int HYL = 0x05;
constexpr int HYH = 0x06;
constexpr int HZL = 0x07;
constexpr int HZH = 0x08;
constexpr int ST2 = 0x09;
constexpr int ST2_HOFL = 0x08;
constexpr int CNTL = 0x0A;
constexpr int CNTL_SINGLE_MEASUREMENT = 0x01;
// A single measurement takes 7.3 ms typically and 9 ms at most: this wait covers the typical part
// only, a slow one may still be measuring when the data registers are read.
constexpr unsigned MEASUREMENT_WAIT_MS = 8;
constexpr unsigned MEASUREMENT_MAX_MS = 9;
// Largest magnitude of a measurement: 13 bits on the AK8975; the AK8963's 14-bit output (CNTL1's
// BIT clear, as the kit's 0x01 leaves it) reaches 8190 at 0.6 uT per count.
constexpr int DATA_MAX = 4095;
constexpr int AK8963_DATA_MAX = 8190;
// The AK8963's 14-bit output counts 0.6 uT, twice the AK8975's 0.3.
constexpr int AK8963_SCALE_RATIO = 2;
}  // namespace ak8975
