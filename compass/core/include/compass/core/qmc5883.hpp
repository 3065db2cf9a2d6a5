// QST QMC5883L and QMC5883P, sold on HMC5883L breakouts (GY-271) at addresses of their own. The kit
// drives neither; it only tells them by their chip-ID registers.
#pragma once

namespace qmc5883l {
constexpr int ADDRESS = 0x0D;
constexpr int CHIP_ID = 0x0D;  // QMC5883L datasheet rev. 1.0, register 0DH
constexpr int CHIP_ID_VALUE = 0xFF;
}  // namespace qmc5883l

namespace qmc5883p {
constexpr int ADDRESS = 0x2C;
constexpr int CHIP_ID = 0x00;  // QMC5883P datasheet, register 00H
constexpr int CHIP_ID_VALUE = 0x80;
}  // namespace qmc5883p
