// Model of the QST QMC5883L 3-axis magnetometer (stand-alone, 0x0D).
#pragma once

#include <cstdint>

#include "device.hpp"
#include "scene.hpp"

namespace sim::detail {

namespace qmc5883l {
// Register map.
inline constexpr std::uint8_t XOUT_L = 0x00;  // data output, X LSB
inline constexpr std::uint8_t XOUT_H = 0x01;
inline constexpr std::uint8_t YOUT_L = 0x02;
inline constexpr std::uint8_t YOUT_H = 0x03;
inline constexpr std::uint8_t ZOUT_L = 0x04;
inline constexpr std::uint8_t ZOUT_H = 0x05;
inline constexpr std::uint8_t STATUS = 0x06;
inline constexpr std::uint8_t TOUT_L = 0x07;  // temperature
inline constexpr std::uint8_t TOUT_H = 0x08;
inline constexpr std::uint8_t CONTROL1 = 0x09;
inline constexpr std::uint8_t CONTROL2 = 0x0A;
inline constexpr std::uint8_t SET_RESET_PERIOD = 0x0B;  // FBR
inline constexpr std::uint8_t CHIP_ID = 0x0D;
inline constexpr std::uint8_t register_count = 0x0E;

inline constexpr std::uint8_t CHIP_ID_VALUE = 0xFF;
inline constexpr std::uint8_t STATUS_DRDY = 0x01;
inline constexpr std::uint8_t STATUS_OVL = 0x02;
inline constexpr std::uint8_t STATUS_DOR = 0x04;
inline constexpr std::uint8_t CONTROL1_MODE_MASK = 0x03;
inline constexpr std::uint8_t MODE_STANDBY = 0x00;
inline constexpr std::uint8_t MODE_CONTINUOUS = 0x01;
inline constexpr std::uint8_t CONTROL1_ODR_MASK = 0x0C;
inline constexpr unsigned CONTROL1_ODR_SHIFT = 2;
inline constexpr std::uint8_t CONTROL1_RNG_MASK = 0x30;
inline constexpr unsigned CONTROL1_RNG_SHIFT = 4;
inline constexpr std::uint8_t CONTROL1_OSR_MASK = 0xC0;
inline constexpr std::uint8_t CONTROL2_INT_ENB = 0x01;
inline constexpr std::uint8_t CONTROL2_ROL_PNT = 0x40;
inline constexpr std::uint8_t CONTROL2_SOFT_RST = 0x80;

// ODR = 0..3: 10, 50, 100, 200 Hz.
inline constexpr std::int64_t period_ns[4] = {100'000'000, 20'000'000, 10'000'000, 5'000'000};
// RNG = 0: 2 G, 1: 8 G.
inline constexpr int counts_per_gauss[2] = {12000, 3000};
inline constexpr int full_scale_counts = 24000;  // 2 G x 12000 = 8 G x 3000
inline constexpr double ut_per_gauss = 100.0;
inline constexpr int data_min = -32768;
inline constexpr int data_max = 32767;
inline constexpr std::int16_t default_temperature_counts = 2500;  // 25 C at 100 counts per C
}  // namespace qmc5883l

// One sample of the stand-alone field, noise included, as both QST parts lay it: X, Y, Z at gain
// counts per gauss, 16-bit two's complement LSB first from out on, saturating at the 16-bit limits.
// True when an axis is out of range: beyond full_scale counts, or with at_saturation only where
// the output saturates.
bool qst_sample(scene& world, int gain, int full_scale, bool at_saturation, std::uint8_t* out);

class qmc5883l_model final : public register_map<qmc5883l::register_count> {
  public:
    qmc5883l_model() { reset(); }

    void reset() override;
    void advance(std::int64_t now_ns, scene& world, bool stalled) override;
    bool write(std::uint8_t reg, std::uint8_t value, std::int64_t now_ns) override;
    std::uint8_t next_register(std::uint8_t reg) const override;

    // True: DRDY and DOR clear only once all six data registers have been read since the sample.
    void status_clears_after_all_data(bool on) { clear_after_all_ = on; }
    // True: OVL only when an axis saturates the 16-bit output, not beyond the full scale.
    void overflow_at_saturation(bool on) { overflow_at_saturation_ = on; }
    void temperature_counts(std::int16_t counts) { temperature_ = counts; }

  private:
    int read_mapped(std::uint8_t reg) override;
    void measure(scene& world, bool skipped);

    std::int64_t continuous_from_ = 0;  // time of the control 1 write that started sampling
    std::int64_t next_sample_ = 1;      // index of the next sample on the 1/ODR grid
    unsigned data_read_mask_ = 0;       // data registers read since the newest sample
    bool clear_after_all_ = false;
    bool overflow_at_saturation_ = false;
    std::int16_t temperature_ = qmc5883l::default_temperature_counts;
};

}  // namespace sim::detail
