// Model of the AKM AK8975 3-axis magnetometer (behind the motion sensor's bypass, 0x0C) and of its
// successor the AK8963, the differences kept in a chip table.
#pragma once

#include <cstdint>

#include "device.hpp"
#include "scene.hpp"

namespace sim::detail {

namespace ak8975 {
// Register map (AK8975; the AK8963 names 0AH CNTL1 and 0BH CNTL2).
inline constexpr std::uint8_t WIA = 0x00;  // device ID
inline constexpr std::uint8_t INFO = 0x01;
inline constexpr std::uint8_t ST1 = 0x02;
inline constexpr std::uint8_t HXL = 0x03;
inline constexpr std::uint8_t HXH = 0x04;
inline constexpr std::uint8_t HYL = 0x05;
inline constexpr std::uint8_t HYH = 0x06;
inline constexpr std::uint8_t HZL = 0x07;
inline constexpr std::uint8_t HZH = 0x08;
inline constexpr std::uint8_t ST2 = 0x09;
inline constexpr std::uint8_t CNTL = 0x0A;
inline constexpr std::uint8_t RSV = 0x0B;    // AK8975: reserved
inline constexpr std::uint8_t CNTL2 = 0x0B;  // AK8963: soft reset
inline constexpr std::uint8_t ASTC = 0x0C;   // self-test control
inline constexpr std::uint8_t TS1 = 0x0D;    // factory test, never written by a host
inline constexpr std::uint8_t TS2 = 0x0E;
inline constexpr std::uint8_t I2CDIS = 0x0F;
inline constexpr std::uint8_t ASAX = 0x10;  // fuse ROM: sensitivity adjustment
inline constexpr std::uint8_t ASAY = 0x11;
inline constexpr std::uint8_t ASAZ = 0x12;
inline constexpr std::uint8_t register_count = 0x13;

inline constexpr std::uint8_t WIA_VALUE = 0x48;  // both parts
inline constexpr std::uint8_t ST1_DRDY = 0x01;
inline constexpr std::uint8_t ST2_DERR = 0x04;  // AK8975 only
inline constexpr std::uint8_t ST2_HOFL = 0x08;
inline constexpr std::uint8_t ST2_BITM = 0x10;  // AK8963: output width of the sample
inline constexpr std::uint8_t CNTL_MODE_MASK = 0x0F;
inline constexpr std::uint8_t CNTL_BIT = 0x10;  // AK8963: 16-bit output
inline constexpr std::uint8_t CNTL_POWER_DOWN = 0x00;
inline constexpr std::uint8_t CNTL_SINGLE = 0x01;
inline constexpr std::uint8_t CNTL_SELF_TEST = 0x08;
inline constexpr std::uint8_t CNTL_FUSE_ROM = 0x0F;
inline constexpr std::uint8_t CNTL2_SRST = 0x01;
inline constexpr std::uint8_t ASTC_SELF = 0x40;
inline constexpr std::uint8_t I2CDIS_I2CDIS = 0x01;
inline constexpr std::uint8_t AK8963_I2CDIS_KEY = 0x1B;

inline constexpr std::int64_t default_conversion_ns = 7'300'000;  // typical
inline constexpr std::uint8_t ASA_NEUTRAL = 0x80;

// What tells the parts apart. Output widths: [0] the power-on one, [1] with CNTL BIT set.
struct chip {
    double ut_per_count[2];
    int data_min[2];
    int data_max[2];
    int overflow_sum_counts[2];  // |X|+|Y|+|Z| in counts from which HOFL is set
    bool has_bit_and_srst;       // AK8963: CNTL1 BIT, CNTL2 SRST, ST2 BITM
    bool has_derr;               // AK8975: ST2 DERR for data read during a measurement
};
// AK8975 (MS1187-E): 13-bit two's complement at 0.3 uT per count; HOFL from 2400 uT, 8000 counts.
inline constexpr chip ak8975_chip{{0.3, 0.3},   {-4096, -4096}, {4095, 4095},
                                  {8000, 8000}, false,          true};
// AK8963 (MS1356-E): 14-bit at 0.6 uT or 16-bit at 0.15 uT per count, +-8190 / +-32760; HOFL from
// 4912 uT: 8186.7 counts at 14 bits, 32746.7 at 16, so from 8187 and 32747.
inline constexpr chip ak8963_chip{{0.6, 0.15}, {-8190, -32760}, {8190, 32760}, {8187, 32747}, true,
                                  false};
}  // namespace ak8975

class ak8975_model final : public register_map<ak8975::register_count> {
  public:
    ak8975_model() { reset(); }

    // Which part this is; a property of the part, kept by reset().
    void chip(const ak8975::chip& c) { chip_ = &c; }
    const ak8975::chip& chip() const { return *chip_; }
    // Power-on state; the conversion time and the fuse ROM are properties of the part and survive.
    void reset() override;
    void conversion_time_ns(std::int64_t ns) { conversion_ns_ = ns; }
    void fuse_rom(std::uint8_t asax, std::uint8_t asay, std::uint8_t asaz);
    // Completes a measurement whose conversion time has run out by `now`.
    void advance(std::int64_t now_ns, scene& world, bool stalled) override;
    // Writing I2CDIS disconnects the I2C interface until power-on.
    bool acknowledges(std::int64_t now_ns) const override;
    bool write(std::uint8_t reg, std::uint8_t value, std::int64_t now_ns) override;

  private:
    int read_mapped(std::uint8_t reg) override;
    void complete(scene& world);

    const ak8975::chip* chip_ = &ak8975::ak8975_chip;
    bool measuring_ = false;
    std::int64_t done_at_ = 0;
    std::int64_t conversion_ns_ = ak8975::default_conversion_ns;
    std::uint8_t asa_[3] = {ak8975::ASA_NEUTRAL, ak8975::ASA_NEUTRAL, ak8975::ASA_NEUTRAL};
};

}  // namespace sim::detail
