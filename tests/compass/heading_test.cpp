// The compass arithmetic without a bus: axis assembly, scaling, offsets, headings, latch, mean.
#include "heading.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

namespace {

using compass::absolute_heading;
using compass::relative_heading;

// The degree conversion as the modules define it, computed here with the widest type available.
double degrees_of(long double radians) {
    return static_cast<double>(radians * 180.0L / static_cast<long double>(3.14159265));
}
constexpr long double pi_l = 3.14159265358979323846264338327950288L;

TEST(AbsoluteHeading, QuadrantsUseTheEightDecimalDivisor) {
    // The divisor is slightly below pi, so quarter turns come out slightly above their nominal
    // value.
    EXPECT_NEAR(absolute_heading(0, 1), 90.0000001, 1e-8);
    EXPECT_NEAR(absolute_heading(-1, 0), 180.0000002, 1e-8);
    EXPECT_NEAR(absolute_heading(0, -1), 269.9999999, 1e-8);
    EXPECT_DOUBLE_EQ(absolute_heading(0, 1), degrees_of(pi_l / 2));
    EXPECT_DOUBLE_EQ(absolute_heading(-7, 0), degrees_of(pi_l));
    EXPECT_DOUBLE_EQ(absolute_heading(0, -300), 360.0 + degrees_of(-pi_l / 2));
    EXPECT_DOUBLE_EQ(absolute_heading(5, 5), degrees_of(pi_l / 4));
    EXPECT_DOUBLE_EQ(absolute_heading(-30, -61),
                     std::atan2(-61.0, -30.0) * 180.0 / 3.14159265 + 360.0);
}

TEST(AbsoluteHeading, ZeroStaysZero) {
    // atan2 of (0, 0) and of a positive x axis are exactly 0, and 0 is not wrapped to 360.
    EXPECT_EQ(absolute_heading(0, 0), 0.0);
    EXPECT_EQ(absolute_heading(1, 0), 0.0);
    EXPECT_EQ(absolute_heading(32767, 0), 0.0);
}

TEST(AbsoluteHeading, AlwaysWithinOneTurn) {
    const std::int16_t values[] = {-32768, -32767, -300, -1, 0, 1, 300, 32767};
    for (std::int16_t x : values) {
        for (std::int16_t y : values) {
            const double a = absolute_heading(x, y);
            EXPECT_GE(a, 0.0) << x << ", " << y;
            EXPECT_LT(a, 360.0) << x << ", " << y;
        }
    }
}

TEST(RelativeHeading, FirstHeadingLatchesTheReference) {
    int flag = 0;
    double ref = 0.0;
    EXPECT_EQ(relative_heading(123.25, flag, ref), 0.0);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(ref, 123.25);
    // Latched: later headings leave the reference alone, and the same heading is exactly 0 again.
    EXPECT_EQ(relative_heading(200.0, flag, ref), 200.0 - 123.25);
    EXPECT_EQ(relative_heading(123.25, flag, ref), 0.0);
    EXPECT_EQ(ref, 123.25);
    EXPECT_EQ(flag, 1);
}

TEST(RelativeHeading, ClearingTheFlagRelatches) {
    int flag = 0;
    double ref = 0.0;
    relative_heading(40.0, flag, ref);
    flag = 0;
    EXPECT_EQ(relative_heading(300.0, flag, ref), 0.0);
    EXPECT_EQ(ref, 300.0);
    EXPECT_EQ(relative_heading(40.0, flag, ref), 100.0);
}

TEST(RelativeHeading, WrapsAcrossNorthBothWays) {
    int flag = 1;
    double ref = 350.0;
    EXPECT_EQ(relative_heading(10.0, flag, ref), 20.0);
    EXPECT_EQ(compass::reversed(relative_heading(10.0, flag, ref)), 340.0);
    ref = 10.0;
    EXPECT_EQ(relative_heading(350.0, flag, ref), 340.0);
    EXPECT_EQ(compass::reversed(relative_heading(350.0, flag, ref)), 20.0);
}

TEST(RelativeHeading, ReversedSenseLiesInHalfOpenTurn) {
    // Direct sense gives [0, 360); the reversed one (0, 360], so "no turn" reads 360.
    EXPECT_EQ(compass::reversed(0.0), 360.0);
    int flag = 1;
    double ref = 90.0;
    EXPECT_NEAR(compass::reversed(relative_heading(180.0, flag, ref)), 270.0, 1e-12);
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
    EXPECT_EQ(compass::ak8975_microtesla(16), 4);
    EXPECT_EQ(compass::ak8975_microtesla(-16), -4);
    for (int small = -3; small <= 3; ++small) {
        EXPECT_EQ(compass::ak8975_microtesla(static_cast<std::int16_t>(small)), 0) << small;
    }
    EXPECT_EQ(compass::ak8975_microtesla(4), 1);
    EXPECT_EQ(compass::ak8975_microtesla(-4), -1);
    EXPECT_EQ(compass::ak8975_microtesla(32767), 9830);
    EXPECT_EQ(compass::ak8975_microtesla(-32768), -9830);
    // 3 x counts / 10 truncated, for every input.
    for (int c = -32768; c <= 32767; c += 7) {
        EXPECT_EQ(compass::ak8975_microtesla(static_cast<std::int16_t>(c)), 3 * c / 10) << c;
    }
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

TEST(HeadingMean, AveragesAcrossTheSeam) {
    EXPECT_EQ(mean_of({359.0, 1.0}), 360.0);
    EXPECT_EQ(mean_of({1.0, 359.0}), 360.0);
    EXPECT_EQ(mean_of({10.0, 20.0}), 15.0);
    EXPECT_EQ(mean_of({350.0, 10.0}), 360.0);
    EXPECT_EQ(mean_of({10.0, 350.0}), 360.0);  // lands on 0: reported as a full turn
    EXPECT_NEAR(mean_of({350.0, 10.0, 20.0}), 20.0 / 3.0, 1e-12);
    EXPECT_NEAR(mean_of({170.0, 190.0, 181.0}), 180.333333333333, 1e-9);
    EXPECT_NEAR(mean_of({358.0, 2.0, 4.0}), 4.0 / 3.0, 1e-12);  // past the seam: wrapped to 1.33
}

TEST(HeadingMean, OneReadingIsReturnedUnchanged) {
    for (double r : {0.001, 42.123456789, 359.9999999, 360.0}) {
        EXPECT_EQ(mean_of({r}), r);
    }
}

}  // namespace
