// The world around the simulated board: Earth's field, the board's yaw, hard-iron offsets and
// sensor noise, as the field each magnetometer sees on its own axes.
#pragma once

#include <array>
#include <cstdint>

namespace sim::detail {

struct vec3 {
    double x, y, z;
};

// PCG32 (O'Neill): small, fast, and the same sequence on every platform. Seeded like the
// reference pcg32_srandom_r(seed, stream); the board's noise uses the stream of the reference's
// default increment, 1442695040888963407.
class pcg32 {
  public:
    static constexpr std::uint64_t default_stream = 0x0a02bdbf7bb3c0a7ULL;
    explicit pcg32(std::uint64_t seed = 1, std::uint64_t stream = default_stream) {
        reseed(seed, stream);
    }
    void reseed(std::uint64_t seed, std::uint64_t stream = default_stream);
    std::uint32_t next();
    // Uniform on [0, 1) with 53 random bits.
    double uniform();

  private:
    std::uint64_t state_ = 0;
    std::uint64_t increment_ = 1;
};

// Standard normal deviates by the polar form of Box-Muller. Built from +, -, *, / and sqrt only
// (with a logarithm of our own), so x86-64 and ARM produce the same bits.
class gaussian {
  public:
    explicit gaussian(std::uint64_t seed = 1) : rng_(seed) {}
    void reseed(std::uint64_t seed);
    double next();

  private:
    pcg32 rng_;
    double spare_ = 0.0;
    bool has_spare_ = false;
};

// Natural logarithm for x > 0 from basic IEEE operations (reproducible across platforms).
double portable_log(double x);
// Sine and cosine of an angle in degrees, exact at multiples of 90 and reproducible across
// platforms (the C library's versions may differ in the last bit between x86-64 and ARM).
void sincos_deg(double degrees, double& s, double& c);

struct scene {
    double yaw_deg = 0.0;
    double horizontal_ut = 25.0;  // toward magnetic north
    double down_ut = 40.0;        // vertical component, down positive
    // The board's hard iron, as the build sets it (SIMBOARD_*_HARD_IRON); none by default.
    static const vec3 bypass_hard_iron_ut;
    static const std::array<int, 3> standalone_hard_iron;
    vec3 bypass_offset_ut = bypass_hard_iron_ut;
    std::array<int, 3> standalone_offset = standalone_hard_iron;
    double sigma_ut = 0.0;
    gaussian noise{1};

    // Field on the axes of the magnetometer behind the motion sensor (X forward, Y right,
    // Z down), hard-iron offset included, in µT, without noise.
    vec3 bypass_field_ut() const;
    // Field on the stand-alone magnetometer's axes (X forward, Y left, Z up), in µT, without
    // noise or offset (its offset is in counts, added after conversion).
    vec3 standalone_field_ut() const;
    // One noise deviate in µT (0 when noise is off, without drawing).
    double noise_ut();
};

}  // namespace sim::detail
