// Model of the QST QMC5883P 3-axis magnetometer (stand-alone, 0x2C).
#pragma once

#include <cstdint>

#include "device.hpp"
#include "scene.hpp"

namespace sim::detail {

namespace qmc5883p {
// Register map.
inline constexpr std::uint8_t CHIP_ID = 0x00;
inline constexpr std::uint8_t XOUT_L = 0x01;  // data output, X LSB
inline constexpr std::uint8_t XOUT_H = 0x02;
inline constexpr std::uint8_t YOUT_L = 0x03;
inline constexpr std::uint8_t YOUT_H = 0x04;
inline constexpr std::uint8_t ZOUT_L = 0x05;
inline constexpr std::uint8_t ZOUT_H = 0x06;
inline constexpr std::uint8_t STATUS = 0x09;
inline constexpr std::uint8_t CONTROL1 = 0x0A;
inline constexpr std::uint8_t CONTROL2 = 0x0B;
inline constexpr std::uint8_t register_count = 0x0C;

inline constexpr std::uint8_t CHIP_ID_VALUE = 0x80;
inline constexpr std::uint8_t STATUS_DRDY = 0x01;
inline constexpr std::uint8_t STATUS_OVFL = 0x02;
inline constexpr std::uint8_t CONTROL1_MODE_MASK = 0x03;
inline constexpr std::uint8_t MODE_SUSPEND = 0x00;
inline constexpr std::uint8_t MODE_NORMAL = 0x01;
inline constexpr std::uint8_t MODE_SINGLE = 0x02;
inline constexpr std::uint8_t MODE_CONTINUOUS = 0x03;
inline constexpr std::uint8_t CONTROL1_ODR_MASK = 0x0C;
inline constexpr unsigned CONTROL1_ODR_SHIFT = 2;
inline constexpr std::uint8_t CONTROL1_OSR1_MASK = 0x30;
inline constexpr std::uint8_t CONTROL1_OSR2_MASK = 0xC0;
inline constexpr std::uint8_t CONTROL2_SET_RESET_MASK = 0x03;
inline constexpr std::uint8_t CONTROL2_RNG_MASK = 0x0C;
inline constexpr unsigned CONTROL2_RNG_SHIFT = 2;
inline constexpr std::uint8_t CONTROL2_SELF_TEST = 0x40;
inline constexpr std::uint8_t CONTROL2_SOFT_RST = 0x80;

// ODR = 0..3: 10, 50, 100, 200 Hz.
inline constexpr std::int64_t period_ns[4] = {100'000'000, 20'000'000, 10'000'000, 5'000'000};
// RNG = 0..3: 30, 12, 8, 2 G.
inline constexpr int counts_per_gauss[4] = {1000, 2500, 3750, 15000};
inline constexpr int full_scale_counts = 30000;  // the same in every range
}  // namespace qmc5883p

class qmc5883p_model final : public register_map<qmc5883p::register_count> {
  public:
    qmc5883p_model() { reset(); }

    void reset() override;
    void advance(std::int64_t now_ns, scene& world, bool stalled) override;
    bool write(std::uint8_t reg, std::uint8_t value, std::int64_t now_ns) override;
    // The base rule: the pointer counts on past 0BH through unmapped registers, FFH wraps to 00H.

    // True: reading any data register clears DRDY and OVFL, not reading the status register.
    void status_clears_on_data_read(bool on) { clear_on_data_ = on; }
    // True: OVFL only when an axis saturates the 16-bit output, not beyond the full scale.
    void overflow_at_saturation(bool on) { overflow_at_saturation_ = on; }
    // Time between continuous-mode samples, and of a single measurement; negative: 1/ODR.
    void continuous_period_ns(std::int64_t ns) { continuous_period_ns_ = ns; }
    void single_measurement_ns(std::int64_t ns) { single_ns_ = ns; }

  private:
    int read_mapped(std::uint8_t reg) override;
    void measure(scene& world);
    std::int64_t odr_period() const;

    std::int64_t mode_from_ = 0;    // time of the control 1 write that set the mode
    std::int64_t next_sample_ = 1;  // index of the next sample on the grid
    bool clear_on_data_ = false;
    bool overflow_at_saturation_ = false;
    std::int64_t continuous_period_ns_ = -1;
    std::int64_t single_ns_ = -1;
};

}  // namespace sim::detail
