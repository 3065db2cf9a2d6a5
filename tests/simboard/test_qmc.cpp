// The QMC5883L and QMC5883P models, driven directly: a scene, register reads and writes, a clock.
#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "qmc5883l.hpp"
#include "qmc5883p.hpp"
#include "scene.hpp"

namespace {

using sim::detail::device;
using sim::detail::qmc5883l_model;
using sim::detail::qmc5883p_model;
using sim::detail::scene;
using xyz = std::array<int, 3>;

constexpr std::int64_t ms = 1'000'000;

int peek(const device& d, int reg) {
    return d.peek(static_cast<std::uint8_t>(reg));
}
int read(device& d, int reg) {
    return d.read(static_cast<std::uint8_t>(reg), 0);
}
bool put(device& d, int reg, int value, std::int64_t at_ns = 0) {
    return d.write(static_cast<std::uint8_t>(reg), static_cast<std::uint8_t>(value), at_ns);
}
// X, Y, Z as the data registers hold them, LSB first from `first`, without side effects.
xyz held(const device& d, int first) {
    xyz v{};
    for (std::size_t i = 0; i < 3; ++i) {
        const int lo = first + 2 * static_cast<int>(i);
        v[i] = static_cast<std::int16_t>(peek(d, lo + 1) << 8 | peek(d, lo));
    }
    return v;
}

struct status_step {
    double x_ut;
    int at_ms;
    int status;  // once the sample due by then has landed
    int x;
    int read_reg;  // -1: none
    int status_after_read;
};
void expect_steps(device& d, scene& world, int status_reg, int data,
                  std::initializer_list<status_step> steps) {
    for (const auto& s : steps) {
        SCOPED_TRACE(s.at_ms);
        world.horizontal_ut = s.x_ut;
        d.advance(s.at_ms * ms, world, false);
        EXPECT_EQ(peek(d, status_reg), s.status);
        EXPECT_EQ(held(d, data)[0], s.x);
        if (s.read_reg >= 0) {
            (void)read(d, s.read_reg);
        }
        EXPECT_EQ(peek(d, status_reg), s.status_after_read);
    }
}

// Power-on map (all zero but the chip ID, -1 past it); `kept` writes at 1 ms read back, the first
// starting 200 Hz sampling, `ignored` registers hold their power-on values; the first sample lands
// 5 ms after the write, and a soft reset brings back the power-on map without sampling.
void expect_power_on_writes_soft_reset(device& d, int id_reg, int id, int count, int status,
                                       int control2, std::initializer_list<std::array<int, 2>> kept,
                                       std::initializer_list<int> ignored) {
    scene world;
    const auto expect_power_on = [&] {
        for (int reg = 0; reg <= count; ++reg) {
            EXPECT_EQ(peek(d, reg), reg == count ? -1 : (reg == id_reg ? id : 0)) << reg;
        }
    };
    expect_power_on();
    for (const auto& [reg, value] : kept) {
        EXPECT_TRUE(put(d, reg, value, ms));
        EXPECT_EQ(read(d, reg), value) << reg;
    }
    for (const int reg : ignored) {
        EXPECT_TRUE(put(d, reg, 0x55));
        EXPECT_EQ(read(d, reg), reg == id_reg ? id : 0) << reg;
    }
    d.advance(6 * ms - 1, world, false);
    EXPECT_EQ(peek(d, status), 0x00);
    d.advance(6 * ms, world, false);
    EXPECT_EQ(peek(d, status), 0x01);
    EXPECT_TRUE(put(d, control2, 0x80, 7 * ms));
    expect_power_on();
    d.advance(500 * ms, world, false);  // standby or suspended again
    EXPECT_EQ(peek(d, status), 0x00);
}

TEST(qmc5883l_model_test, PowerOnValuesWritableRegistersAndSoftReset) {
    // Continuous 8 G; ROL_PNT and INT_ENB; the recommended SET/RESET period. Data, status,
    // temperature, chip ID and unmapped registers ignore writes.
    qmc5883l_model m;
    expect_power_on_writes_soft_reset(m, 0x0D, 0xFF, 0x0E, 0x06, 0x0A,
                                      {{0x09, 0x1D}, {0x0A, 0x41}, {0x0B, 0x01}},
                                      {0x00, 0x05, 0x06, 0x07, 0x0C, 0x0D, 0x20});
}

TEST(qmc5883p_model_test, PowerOnValuesWritableRegistersAndSoftReset) {
    // Normal mode; self-test and 2 G. 29H, the axis-sign register of the datasheet's example, is
    // outside the map.
    qmc5883p_model m;
    expect_power_on_writes_soft_reset(m, 0x00, 0x80, 0x0C, 0x09, 0x0B, {{0x0A, 0x0D}, {0x0B, 0x4C}},
                                      {0x00, 0x01, 0x06, 0x07, 0x09, 0x29});
}

TEST(qmc_model_test, FieldToCountsInEachRange) {
    // Field (X forward, Y left, Z up) in gauss at 100 uT per gauss, times the range's LSB/G,
    // rounded to nearest, half away from zero. The QMC5883L's range is in control 1 with the mode
    // (continuous, 200 Hz), the QMC5883P's in control 2.
    qmc5883l_model l;
    qmc5883p_model p;
    const struct {
        device& d;
        int range_reg, range_write;
        double yaw_deg, horizontal_ut, down_ut;
        xyz counts;
    } cases[] = {{l, 0x09, 0x0D, 0, 25, 40, {3000, 0, -4800}},          // 2 G: 12000 x 0.25, -0.4
                 {l, 0x09, 0x0D, 90, 20, -19.99, {0, 2400, 2399}},      // 12000 x 0.1999 = 2398.8
                 {l, 0x09, 0x1D, 180, 100, 79.99, {-3000, 0, -2400}},   // 8 G: 3000 x -0.7999
                 {l, 0x09, 0x1D, 270, 50.02, 0, {0, -1501, 0}},         // 3000 x -0.5002 = -1500.6
                 {p, 0x0B, 0x00, 0, 25.06, 40, {251, 0, -400}},         // 30 G: 1000 x 0.2506
                 {p, 0x0B, 0x04, 90, 25.01, 40, {0, 625, -1000}},       // 12 G: 2500 x 0.2501
                 {p, 0x0B, 0x08, 0, 25, 40, {938, 0, -1500}},           // 8 G: 3750 x 0.25 = 937.5
                 {p, 0x0B, 0x0C, 180, 10, -19.999, {-1500, 0, 3000}}};  // 2 G: 15000 x 0.19999
    for (const auto& c : cases) {
        SCOPED_TRACE(c.horizontal_ut);
        scene world;
        world.yaw_deg = c.yaw_deg;
        world.horizontal_ut = c.horizontal_ut;
        world.down_ut = c.down_ut;
        c.d.reset();
        ASSERT_TRUE(put(c.d, c.range_reg, c.range_write));
        ASSERT_TRUE(&c.d == &l || put(c.d, 0x0A, 0x0D));  // QMC5883P: normal, 200 Hz
        c.d.advance(5 * ms, world, false);
        EXPECT_EQ(held(c.d, &c.d == &l ? 0x00 : 0x01), c.counts);
    }
}

TEST(qmc5883l_model_test, DrdyClearedByADataReadOvlBeyondFullScaleDorOnMissedSamples) {
    scene world;
    world.down_ut = 0;
    qmc5883l_model m;
    ASSERT_TRUE(put(m, 0x09, 0x0D));  // continuous, 200 Hz, 2 G: 12000 counts per 100 uT
    expect_steps(m, world, 0x06, 0x00,
                 {{300, 5, 0x03, 32767, 0x00, 0x02},      // 36000 saturates; one byte clears DRDY
                  {240, 10, 0x03, 28800, 0x05, 0x02},     // past the 24000 full scale only
                  {-300, 20, 0x07, -32768, -1, 0x07},     // the 15 ms sample was skipped
                  {200, 25, 0x05, 24000, 0x03, 0x00}});   // the 20 ms one was never read
    EXPECT_EQ(peek(m, 0x07) | peek(m, 0x08) << 8, 2500);  // 25 C at 100 counts per C
    m.overflow_at_saturation(true);
    m.status_clears_after_all_data(true);
    expect_steps(m, world, 0x06, 0x00,
                 {{240, 30, 0x01, 28800, 0x04, 0x01}, {-300, 35, 0x07, -32768, 0x05, 0x07}});
    for (int reg = 0; reg < 6; ++reg) {
        (void)read(m, reg);
    }
    EXPECT_EQ(peek(m, 0x06), 0x02);
    m.advance(40 * ms, world, true);  // a stalled conversion lands nothing
    EXPECT_EQ(peek(m, 0x06), 0x02);
}

TEST(qmc5883p_model_test, SingleNormalAndContinuousModesStatusClearedByReadingIt) {
    scene world;
    world.down_ut = 0;
    world.horizontal_ut = 250;  // 2.5 G x 15000 = 37500
    qmc5883p_model m;
    ASSERT_TRUE(put(m, 0x0B, 0x0C));  // 2 G
    ASSERT_TRUE(put(m, 0x0A, 0x0E));  // single, 200 Hz
    m.advance(5 * ms - 1, world, false);
    EXPECT_EQ(peek(m, 0x09), 0x00);
    m.advance(5 * ms, world, false);
    EXPECT_EQ(peek(m, 0x0A), 0x0C);  // suspended again
    EXPECT_EQ(read(m, 0x02), 0x7F);  // 32767
    EXPECT_EQ(read(m, 0x09), 0x03);
    m.advance(100 * ms, world, false);
    EXPECT_EQ(peek(m, 0x09), 0x00);
    ASSERT_TRUE(put(m, 0x0A, 0x0D, 100 * ms));  // normal, 200 Hz
    expect_steps(m, world, 0x09, 0x01,
                 {{10, 105, 0x01, 1500, 0x09, 0x00},
                  {210, 110, 0x03, 31500, -1, 0x03},  // past the 30000 full scale only
                  {10, 115, 0x03, 1500, 0x01, 0x03},  // OVFL holds; a data read leaves both
                  {10, 120, 0x03, 1500, 0x09, 0x00}});
    m.overflow_at_saturation(true);
    m.status_clears_on_data_read(true);
    expect_steps(m, world, 0x09, 0x01,
                 {{210, 125, 0x01, 31500, 0x09, 0x01}, {300, 130, 0x03, 32767, 0x06, 0x00}});
    ASSERT_TRUE(put(m, 0x0A, 0x03, 200 * ms));  // continuous, 10 Hz
    expect_steps(m, world, 0x09, 0x01, {{10, 299, 0x00, 32767, -1, 0}, {10, 300, 1, 1500, -1, 1}});
}

TEST(qmc_model_test, RegisterPointerAfterEachRegister) {
    // {register, QMC5883L without and with ROL_PNT, QMC5883P}
    const int cases[][4] = {{0x05, 0x06, 0x06, 0x06},
                            {0x06, 0x07, 0x00, 0x07},
                            {0x0D, 0x0E, 0x0E, 0x0E},
                            {0xFF, 0, 0, 0}};
    qmc5883l_model l;
    qmc5883l_model rolling;
    ASSERT_TRUE(put(rolling, 0x0A, 0x40));
    const qmc5883p_model p;
    for (const auto& c : cases) {
        const auto reg = static_cast<std::uint8_t>(c[0]);
        EXPECT_EQ(l.next_register(reg), c[1]) << c[0];
        EXPECT_EQ(rolling.next_register(reg), c[2]) << c[0];
        EXPECT_EQ(p.next_register(reg), c[3]) << c[0];
    }
}

}  // namespace
