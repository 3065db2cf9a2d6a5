// Model of the Honeywell HMC5883L 3-axis magnetometer (stand-alone, 0x1E).
#pragma once

#include <cstdint>

#include "device.hpp"
#include "scene.hpp"

namespace sim::detail {

namespace hmc5883l {
// Register map.
inline constexpr std::uint8_t CRA = 0x00;   // configuration A
inline constexpr std::uint8_t CRB = 0x01;   // configuration B
inline constexpr std::uint8_t MR = 0x02;    // mode
inline constexpr std::uint8_t DXRA = 0x03;  // data output X MSB
inline constexpr std::uint8_t DXRB = 0x04;  // data output X LSB
inline constexpr std::uint8_t DZRA = 0x05;
inline constexpr std::uint8_t DZRB = 0x06;
inline constexpr std::uint8_t DYRA = 0x07;
inline constexpr std::uint8_t DYRB = 0x08;
inline constexpr std::uint8_t SR = 0x09;   // status
inline constexpr std::uint8_t IRA = 0x0A;  // identification
inline constexpr std::uint8_t IRB = 0x0B;
inline constexpr std::uint8_t IRC = 0x0C;
inline constexpr std::uint8_t register_count = 0x0D;

inline constexpr std::uint8_t CRA_RESET_VALUE = 0x10;
inline constexpr std::uint8_t CRB_RESET_VALUE = 0x20;
inline constexpr std::uint8_t MR_RESET_VALUE = 0x01;
inline constexpr std::uint8_t IRA_VALUE = 'H';
inline constexpr std::uint8_t IRB_VALUE = '4';
inline constexpr std::uint8_t IRC_VALUE = '3';

inline constexpr std::uint8_t CRA_MA_MASK = 0x60;  // MA1-MA0: samples averaged, 1/2/4/8
inline constexpr unsigned CRA_MA_SHIFT = 5;
inline constexpr std::uint8_t CRA_DO_MASK = 0x1C;  // DO2-DO0: output rate
inline constexpr unsigned CRA_DO_SHIFT = 2;
inline constexpr std::uint8_t CRA_MS_MASK = 0x03;  // MS1-MS0: measurement (bias) mode
inline constexpr std::uint8_t MS_NORMAL = 0x00;
inline constexpr std::uint8_t MS_POSITIVE_BIAS = 0x01;
inline constexpr std::uint8_t MS_NEGATIVE_BIAS = 0x02;
inline constexpr std::uint8_t CRB_GN_MASK = 0xE0;  // GN2-GN0: gain
inline constexpr unsigned CRB_GN_SHIFT = 5;
inline constexpr std::uint8_t MR_HS = 0x80;
inline constexpr std::uint8_t MR_MD_MASK = 0x03;
inline constexpr std::uint8_t MD_CONTINUOUS = 0x00;
inline constexpr std::uint8_t MD_SINGLE = 0x01;
inline constexpr std::uint8_t MD_IDLE = 0x03;  // 0x02 is idle too
inline constexpr std::uint8_t SR_RDY = 0x01;
inline constexpr std::uint8_t SR_LOCK = 0x02;

inline constexpr int gain_counts_per_gauss[8] = {1370, 1090, 820, 660, 440, 390, 330, 230};
// Output rates as multiples of 0.25 Hz: 0.75, 1.5, 3, 7.5, 15, 30, 75 Hz (7 is reserved).
inline constexpr std::int64_t rate_quarter_hz[8] = {3, 6, 12, 30, 60, 120, 300, 300};
inline constexpr double ut_per_gauss = 100.0;
inline constexpr int data_min = -2048;
inline constexpr int data_max = 2047;
inline constexpr int data_overflow = -4096;
inline constexpr std::int64_t single_measurement_ns = 6'000'000;
// Self-test bias field per axis (X, Y, Z), gauss.
inline constexpr double bias_gauss[3] = {1.16, 1.16, 1.08};
}  // namespace hmc5883l

class hmc5883l_model final : public register_map<hmc5883l::register_count> {
  public:
    hmc5883l_model() { reset(); }

    // Power-on state; the power-up measurement is taken at the next advance().
    void reset() override;
    // Delay of the first continuous sample after a mode or CRA write; negative: two periods.
    void first_sample_ns(std::int64_t ns) { first_sample_ns_ = ns; }
    // Produces the samples due by `now`.
    void advance(std::int64_t now_ns, scene& world, bool stalled) override;
    bool write(std::uint8_t reg, std::uint8_t value, std::int64_t now_ns) override;
    // The address pointer moves on by one, from DYRB back to DXRA, and from IRC to CRA.
    std::uint8_t next_register(std::uint8_t reg) const override;

  private:
    int read_mapped(std::uint8_t reg) override;
    void measure(scene& world);
    void deliver();
    void unlock();
    std::int64_t sample_time(std::int64_t k) const;
    std::int64_t rate_q() const;

    // What power-on sets, beside the registers.
    struct run_state {
        // The newest sample as register bytes (X, Z, Y, MSB first), waiting while locked.
        std::uint8_t sample[6] = {};
        bool sample_waiting = false;
        unsigned read_mask = 0;  // data registers read since the last complete read
        std::int64_t single_done_at = 0;
        std::int64_t continuous_from = 0;  // time continuous mode (or its rate) was set
        std::int64_t next_sample = 1;      // index of the next continuous sample on the grid
        bool powerup_pending = true;
        unsigned gain =
            (hmc5883l::CRB_RESET_VALUE & hmc5883l::CRB_GN_MASK) >> hmc5883l::CRB_GN_SHIFT;
    } run_;
    std::int64_t first_sample_ns_ = -1;
};

}  // namespace sim::detail
