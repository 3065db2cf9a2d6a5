// Model of the AKM AK8975 3-axis magnetometer (behind the motion sensor's bypass, 0x0C).
#pragma once

#include <cstdint>

#include "scene.hpp"

namespace sim::detail {

namespace ak8975 {
// Register map.
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
inline constexpr std::uint8_t RSV = 0x0B;
inline constexpr std::uint8_t ASTC = 0x0C;  // self-test control
inline constexpr std::uint8_t TS1 = 0x0D;   // factory test, never written by a host
inline constexpr std::uint8_t TS2 = 0x0E;
inline constexpr std::uint8_t I2CDIS = 0x0F;
inline constexpr std::uint8_t ASAX = 0x10;  // fuse ROM: sensitivity adjustment
inline constexpr std::uint8_t ASAY = 0x11;
inline constexpr std::uint8_t ASAZ = 0x12;
inline constexpr std::uint8_t register_count = 0x13;

inline constexpr std::uint8_t WIA_VALUE = 0x48;
inline constexpr std::uint8_t ST1_DRDY = 0x01;
inline constexpr std::uint8_t ST2_DERR = 0x04;
inline constexpr std::uint8_t ST2_HOFL = 0x08;
inline constexpr std::uint8_t CNTL_MODE_MASK = 0x0F;
inline constexpr std::uint8_t CNTL_POWER_DOWN = 0x00;
inline constexpr std::uint8_t CNTL_SINGLE = 0x01;
inline constexpr std::uint8_t CNTL_SELF_TEST = 0x08;
inline constexpr std::uint8_t CNTL_FUSE_ROM = 0x0F;
inline constexpr std::uint8_t ASTC_SELF = 0x40;
inline constexpr std::uint8_t I2CDIS_I2CDIS = 0x01;

inline constexpr double ut_per_count = 0.3;
inline constexpr int data_min = -4096;
inline constexpr int data_max = 4095;
inline constexpr std::int64_t default_conversion_ns = 7'300'000;  // typical
inline constexpr std::int64_t max_conversion_ns = 9'000'000;
inline constexpr std::uint8_t ASA_NEUTRAL = 0x80;
inline constexpr int overflow_sum_counts = 8000;  // |X|+|Y|+|Z| of 2400 uT at 0.3 uT per count
}  // namespace ak8975

class ak8975_model {
  public:
    ak8975_model() { reset(); }

    // Power-on state; the conversion time and the fuse ROM are properties of the part and survive.
    void reset();
    void conversion_time_ns(std::int64_t ns) {
        conversion_ns_ = ns < ak8975::max_conversion_ns ? ns : ak8975::max_conversion_ns;
    }
    void fuse_rom(std::uint8_t asax, std::uint8_t asay, std::uint8_t asaz);
    // Completes a measurement whose conversion time has run out by `now`.
    void advance(std::int64_t now, scene& world, bool stalled);
    std::uint8_t read(std::uint8_t reg);
    void write(std::uint8_t reg, std::uint8_t value, std::int64_t now);
    int peek(std::uint8_t reg) const;
    // Writing I2CDIS disconnects the I2C interface until power-on.
    bool i2c_enabled() const { return (regs_[ak8975::I2CDIS] & ak8975::I2CDIS_I2CDIS) == 0; }

  private:
    void complete(scene& world);

    std::uint8_t regs_[ak8975::register_count] = {};
    bool measuring_ = false;
    std::int64_t done_at_ = 0;
    std::int64_t conversion_ns_ = ak8975::default_conversion_ns;
    std::uint8_t asa_[3] = {ak8975::ASA_NEUTRAL, ak8975::ASA_NEUTRAL, ak8975::ASA_NEUTRAL};
};

}  // namespace sim::detail
