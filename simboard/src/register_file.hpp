// A part that is a plain register file: a real-time clock at 0x68 where a motion sensor was
// expected, or an HMC5883L clone that identifies as one and never measures.
#pragma once

#include <cstddef>
#include <cstdint>

#include "device.hpp"

namespace sim::detail {

namespace hmc5883l_clone {
// Power-on contents 00H-0CH: the HMC5883L's configuration reset values, zero data and status, and
// the identification 'H', '4', '3'.
inline constexpr std::uint8_t power_on[] = {0x10, 0x20, 0x01, 0x00, 0x00, 0x00, 0x00,
                                            0x00, 0x00, 0x00, 'H',  '4',  '3'};
}  // namespace hmc5883l_clone

namespace ds3231 {
// Maxim DS3231 register map 00H-12H (timekeeping, two alarms, control, status, aging, temperature).
inline constexpr std::uint8_t SECONDS = 0x00;
inline constexpr std::uint8_t CONTROL = 0x0E;
inline constexpr std::uint8_t STATUS = 0x0F;
inline constexpr std::uint8_t AGING = 0x10;
inline constexpr std::uint8_t TEMP_MSB = 0x11;
inline constexpr std::uint8_t TEMP_LSB = 0x12;
// Power-on: clock at 00:00:00 on Monday 01-01-00, CONTROL 1CH (INTCN, RS2, RS1), STATUS 88H (OSF,
// EN32KHZ), the die at 25.00 degC.
inline constexpr std::uint8_t power_on[] = {0x00, 0x00, 0x00, 0x01, 0x01, 0x01, 0x00,
                                            0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                                            0x1C, 0x88, 0x00, 0x19, 0x00};
}  // namespace ds3231

inline constexpr std::size_t register_file_capacity = 32;

class register_file_model final : public register_map<register_file_capacity> {
  public:
    // contents: power-on bytes from 00H on. read_only_from: first register that ignores writes
    // (0: none lands); writes are always acknowledged.
    register_file_model(const std::uint8_t* contents, std::size_t count,
                        std::size_t read_only_from);

    void reset() override;
    bool write(std::uint8_t reg, std::uint8_t value, std::int64_t now_ns) override;
    // The pointer wraps from the last register to 00H.
    std::uint8_t next_register(std::uint8_t reg) const override;

  private:
    const std::uint8_t* contents_;
    std::size_t read_only_from_;
};

}  // namespace sim::detail
