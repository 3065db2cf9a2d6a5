// The compass arithmetic without a bus: axis assembly, scaling, offsets, headings, latch, mean.
#include "compass/core/heading.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <ios>

namespace {

using compass::absolute_heading;
using compass::relative_heading;

// Absolute headings to the bit. Worked out apart from this code with IEEE doubles: a correctly
// rounded atan2(y, x), times 180.0, divided by 3.14159265, plus 360.0 when negative. The rows below
// the axes are inputs where dividing first, folding 180/3.14159265 into one factor, using pi, or
// wider intermediates each give other bits; the divisor being below pi puts quarter turns slightly
// above their nominal value (90.0000001, 180.0000002, 269.9999999).
struct heading_case {
    std::int16_t x, y;
    double degrees;
};
constexpr heading_case heading_cases[] = {
    {0, 0, 0.0},  // atan2(0, 0) is 0, and 0 is not wrapped to 360
    {32767, 0, 0.0},
    {0, 1, 0x1.68000006e6c71p+6},
    {5, 5, 0x1.68000006e6c71p+5},
    {-1, 0, 0x1.68000006e6c71p+7},
    {-32768, 0, 0x1.68000006e6c71p+7},
    {0, -1, 0x1.0dfffffe464e4p+8},
    {0, -32768, 0x1.0dfffffe464e4p+8},
    {-32768, -32768, 0x1.c1fffffad2eabp+7},
    {32767, -1, 0x1.67ff8d67aa643p+8},
    {-30, -61, 0x1.e79fafeff025cp+7},  // bypassmag's pair when every data read fails
    {-5, 272, 0x1.6c36632f66cadp+6},   // directmag's
    {-26, -6, 0x1.81fd3e631b702p+7},
    {-4, -7, 0x1.e0829ee6951d4p+7},
    {-9, 21, 0x1.c4cb5b5873d86p+6},
    {-31, 35, 0x1.0710444636e1dp+7},
    {16, -19, 0x1.3619d512be02cp+8},
    {30, -5, 0x1.5e89a54045e08p+8},
    {27, 31, 0x1.878fbdd3b4709p+5},
    {34, 36, 0x1.7517b5bb600f0p+5},
};

TEST(AbsoluteHeading, ExactToTheBit) {
    for (const auto& c : heading_cases) {
        const double a = absolute_heading(c.x, c.y);
        EXPECT_EQ(a, c.degrees) << c.x << ", " << c.y << ": " << std::hexfloat << a;
    }
}

TEST(RelativeHeading, FirstHeadingLatchesTheReference) {
    int flag = 0;
    double ref = 0.0;
    EXPECT_EQ(relative_heading(123.25, flag, ref), 0.0);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(ref, 123.25);
    // Latched: later headings leave the reference alone, and the same heading is exactly 0 again.
    EXPECT_EQ(relative_heading(200.0, flag, ref), 76.75);
    EXPECT_EQ(relative_heading(123.25, flag, ref), 0.0);
    EXPECT_EQ(ref, 123.25);
    EXPECT_EQ(flag, 1);
    // Clearing the flag latches again at the next heading.
    flag = 0;
    EXPECT_EQ(relative_heading(300.0, flag, ref), 0.0);
    EXPECT_EQ(ref, 300.0);
    EXPECT_EQ(relative_heading(40.0, flag, ref), 100.0);
}

TEST(RelativeHeading, BothSensesAcrossNorth) {
    // reference, heading, direct sense [0, 360), reversed sense (0, 360]
    const double cases[][4] = {
        {350.0, 10.0, 20.0, 340.0}, {10.0, 350.0, 340.0, 20.0}, {90.0, 180.0, 90.0, 270.0},
        {90.0, 90.0, 0.0, 360.0},   {0.0, 0.0, 0.0, 360.0},
    };
    for (const auto& c : cases) {
        int flag = 1;
        double ref = c[0];
        const double d = relative_heading(c[1], flag, ref);
        EXPECT_EQ(d, c[2]) << c[0] << " -> " << c[1];
        EXPECT_EQ(compass::reversed(d), c[3]) << c[0] << " -> " << c[1];
    }
}

TEST(AxisAssembly, ByteOrders) {
    EXPECT_EQ(compass::axis_le(0x10, 0x00), 16);
    EXPECT_EQ(compass::axis_le(0xF0, 0xFF), -16);
    EXPECT_EQ(compass::axis_le(0xFF, 0xFF), -1);
    EXPECT_EQ(compass::axis_le(0x00, 0x80), -32768);
    EXPECT_EQ(compass::axis_le(0xFF, 0x7F), 32767);
    EXPECT_EQ(compass::axis_be(0x01, 0x00), 256);
    EXPECT_EQ(compass::axis_be(0x00, 0x01), 1);
    EXPECT_EQ(compass::axis_be(0xFE, 0xEF), -0x0111);
}

TEST(AxisAssembly, Ak8975ScalingTruncatesTowardZero) {
    // 3 x counts / 10, truncated toward zero, for every input.
    for (int c = -32768; c <= 32767; ++c) {
        ASSERT_EQ(compass::ak8975_microtesla(static_cast<std::int16_t>(c)), 3 * c / 10) << c;
    }
    EXPECT_EQ(compass::ak8975_microtesla(16), 4);
    EXPECT_EQ(compass::ak8975_microtesla(-3), 0);
    EXPECT_EQ(compass::ak8975_microtesla(-32768), -9830);
}

TEST(AxisAssembly, OffsetsWrapIn16Bits) {
    EXPECT_EQ(compass::remove_offset(0, 30), -30);
    EXPECT_EQ(compass::remove_offset(-1, -273), 272);
    EXPECT_EQ(compass::remove_offset(256, 4), 252);
    EXPECT_EQ(compass::remove_offset(-32768, 4), 32764);
    EXPECT_EQ(compass::remove_offset(32767, -273), -32496);
}

double mean_of(std::initializer_list<double> readings) {
    compass::heading_mean m;
    for (double r : readings) {
        m.add(r);
    }
    return m.result();
}

TEST(HeadingMean, CircularAcrossTheSeam) {
    // readings..., mean; means that land on 0 are reported as a full turn
    const struct {
        std::initializer_list<double> readings;
        double mean;
    } cases[] = {{{42.123456789}, 42.123456789},
                 {{360.0}, 360.0},
                 {{0.001}, 0.001},
                 {{10.0, 20.0}, 15.0},
                 {{359.0, 1.0}, 360.0},
                 {{1.0, 359.0}, 360.0},
                 {{350.0, 10.0}, 360.0},
                 {{350.0, 10.0, 30.0}, 10.0},
                 {{170.0, 190.0, 183.0}, 181.0},
                 {{358.0, 1.0, 4.0}, 1.0},
                 {{2.0, 359.0, 356.0}, 359.0}};
    for (const auto& c : cases) {
        EXPECT_EQ(mean_of(c.readings), c.mean) << *c.readings.begin() << " first";
    }
}

TEST(HeadingMean, HalfATurnApartGoesAQuarterBelowTheFirst) {
    // A tie has two candidates; the later reading counts as half a turn back from the first.
    EXPECT_EQ(mean_of({90.0, 270.0}), 360.0);
    EXPECT_EQ(mean_of({270.0, 90.0}), 180.0);
    EXPECT_EQ(mean_of({10.0, 190.0}), 280.0);
    EXPECT_EQ(mean_of({190.0, 10.0}), 100.0);
    EXPECT_EQ(mean_of({300.0, 120.0, 300.0, 120.0}), 210.0);
}

}  // namespace
