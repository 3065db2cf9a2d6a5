// AKM AK8975 magnetometer behind the motion sensor's bypass: single measurements on demand,
// little-endian data, 0.3 uT per count.
#pragma once

namespace ak8975 {
constexpr int ADDRESS = 0x0C;
constexpr int WIA = 0x00;
constexpr int WIA_VALUE = 0x48;
constexpr int HXL = 0x03;
constexpr int HXH = 0x04;
constexpr int HYL = 0x05;
constexpr int HYH = 0x06;
constexpr int HZL = 0x07;
constexpr int HZH = 0x08;
constexpr int CNTL = 0x0A;
constexpr int CNTL_SINGLE_MEASUREMENT = 0x01;
constexpr unsigned MEASUREMENT_WAIT_MS = 8;  // longest single-measurement time is 7.3 ms
}  // namespace ak8975
