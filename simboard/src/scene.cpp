// The world around the simulated board: field geometry, reproducible PRNG, normal deviates.
#include "scene.hpp"

#include <cmath>
#include <cstddef>

#ifndef SIMBOARD_BYPASS_HARD_IRON
#define SIMBOARD_BYPASS_HARD_IRON 0, 0, 0
#endif
#ifndef SIMBOARD_STANDALONE_HARD_IRON
#define SIMBOARD_STANDALONE_HARD_IRON 0, 0, 0
#endif

namespace sim::detail {

const vec3 scene::bypass_hard_iron_ut{SIMBOARD_BYPASS_HARD_IRON};
const std::array<int, 3> scene::standalone_hard_iron{SIMBOARD_STANDALONE_HARD_IRON};

namespace {
constexpr std::uint64_t pcg_multiplier = 6364136223846793005ULL;
constexpr double ln2 = 0.69314718055994530942;
constexpr double sqrt_half = 0.70710678118654752440;
constexpr double pi = 3.14159265358979323846;
}  // namespace

void pcg32::reseed(std::uint64_t seed, std::uint64_t stream) {
    state_ = 0;
    increment_ = (stream << 1U) | 1U;
    (void)next();
    state_ += seed;
    (void)next();
}

std::uint32_t pcg32::next() {
    const std::uint64_t old = state_;
    state_ = old * pcg_multiplier + increment_;
    const auto xorshifted = static_cast<std::uint32_t>(((old >> 18U) ^ old) >> 27U);
    const auto rot = static_cast<std::uint32_t>(old >> 59U);
    return (xorshifted >> rot) | (xorshifted << ((32U - rot) & 31U));
}

double pcg32::uniform() {
    const std::uint64_t hi = next() >> 5U;  // 27 bits
    const std::uint64_t lo = next() >> 6U;  // 26 bits
    return static_cast<double>((hi << 26U) | lo) * 0x1.0p-53;
}

void gaussian::reseed(std::uint64_t seed) {
    rng_.reseed(seed);
    has_spare_ = false;
    spare_ = 0.0;
}

double gaussian::next() {
    if (has_spare_) {
        has_spare_ = false;
        return spare_;
    }
    double u = 0.0;
    double v = 0.0;
    double s = 0.0;
    do {
        u = 2.0 * rng_.uniform() - 1.0;
        v = 2.0 * rng_.uniform() - 1.0;
        s = u * u + v * v;
    } while (s >= 1.0 || s == 0.0);
    const double factor = std::sqrt(-2.0 * portable_log(s) / s);
    spare_ = v * factor;
    has_spare_ = true;
    return u * factor;
}

double portable_log(double x) {
    int e = 0;
    double m = std::frexp(x, &e);  // x = m * 2^e, m in [0.5, 1); exact
    if (m < sqrt_half) {
        m *= 2.0;
        --e;
    }
    // ln m = 2 atanh(t) with t = (m - 1) / (m + 1), |t| < 0.172: the series converges fast.
    const double t = (m - 1.0) / (m + 1.0);
    const double t2 = t * t;
    double sum = 0.0;
    for (int k = 25; k >= 1; k -= 2) {
        sum = sum * t2 + 1.0 / static_cast<double>(k);
    }
    return 2.0 * t * sum + static_cast<double>(e) * ln2;
}

void sincos_deg(double degrees, double& s, double& c) {
    double d = std::fmod(degrees, 360.0);  // exact
    if (d < 0.0) {
        d += 360.0;
    }
    // Reduce to [-45, 45] degrees around the nearest multiple of 90.
    const long quadrant = std::lround(d / 90.0);
    const double r = (d - 90.0 * static_cast<double>(quadrant)) * (pi / 180.0);
    const double r2 = r * r;
    // Taylor series, Horner form; |r| <= pi/4 needs terms up to r^17 for full double precision.
    double sn = 0.0;
    double cs = 0.0;
    for (int k = 17; k >= 3; k -= 2) {
        sn = (1.0 - sn) * r2 / static_cast<double>(k * (k - 1));
    }
    sn = r * (1.0 - sn);
    for (int k = 18; k >= 2; k -= 2) {
        cs = (1.0 - cs) * r2 / static_cast<double>(k * (k - 1));
    }
    cs = 1.0 - cs;
    // The quadrant's turn: sine and cosine of r + 90 k degrees.
    const double turned[4][2] = {{sn, cs}, {cs, -sn}, {-sn, -cs}, {-cs, sn}};
    const auto k = static_cast<std::size_t>(quadrant & 3L);
    s = turned[k][0];
    c = turned[k][1];
}

vec3 scene::standalone_field_ut() const {
    double s = 0.0;
    double c = 0.0;
    sincos_deg(yaw_deg, s, c);
    return {horizontal_ut * c, horizontal_ut * s, -down_ut};
}

vec3 scene::bypass_field_ut() const {
    // The same field with Y and Z turned over (Y right, Z down), then the offset.
    const vec3 f = standalone_field_ut();
    return {f.x + bypass_offset_ut.x, -f.y + bypass_offset_ut.y, -f.z + bypass_offset_ut.z};
}

double scene::noise_ut() {
    return sigma_ut == 0.0 ? 0.0 : sigma_ut * noise.next();
}

}  // namespace sim::detail
