// What only bypassmag does, on the simulated board: the motion sensor's reset window, the fixed
// measurement wait against the slowest part, and averaging.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "bypassmag_traits.hpp"
#include "i2cbus/bus.h"
#include "sim/board.hpp"
#include "sim_support.hpp"

namespace {

using namespace compass_test;
using namespace module_traits;

using Bypassmag = module_fixture;

TEST_F(Bypassmag, WithoutTheResetPauseTheWakeUpAndBypassWritesAreLost) {
    // Reset, wake-up and bypass back to back: the part is still resetting for the last two.
    const int m = wiringPiI2CSetup(mpu);
    EXPECT_EQ(wiringPiI2CReadReg8(m, 0x75), 0x68);
    EXPECT_EQ(wiringPiI2CWriteReg8(m, 0x6B, 0x80), 0);
    EXPECT_EQ(wiringPiI2CWriteReg8(m, 0x6B, 0x08), -1);
    EXPECT_EQ(wiringPiI2CWriteReg8(m, 0x37, 0x02), -1);
    EXPECT_EQ(wiringPiI2CReadReg8(wiringPiI2CSetup(mag), 0x00), -1);
    delay(100);
    EXPECT_EQ(wiringPiI2CReadReg8(m, 0x6B), 0x40) << "still asleep";
    EXPECT_EQ(wiringPiI2CReadReg8(m, 0x37), 0x00) << "bypass off";
}

TEST_F(Bypassmag, AtTheNineMillisecondMaximumTheXAxisIsReadBeforeTheMeasurementEnds) {
    // The 8 ms wait covers the typical 7.3 ms; a part that takes its 9 ms ends the measurement
    // between the second and the third data read: X reads 0 (not the field's 55 uT), Y the
    // field's 61 uT of hard iron (203 counts).
    sim::board().conversion_time_us(9000);
    const int fd = set_up();
    sim::board().clear_log();
    get_magneto(fd);
    const auto& log = sim::board().log();
    ASSERT_EQ(log.size(), 8U);
    const int want[6] = {0x00, 0x00, 0xCB, 0x00, 0x85, 0x00};
    for (std::size_t j = 0; j < 6; ++j) {
        EXPECT_EQ(log[2 + j].result, want[j]) << j;
    }
    EXPECT_EQ(comp_angl, 0x1.6bd17c66a98eep+7);  // calibrated (0 - 30, 60 - 61)
}

TEST_F(Bypassmag, AverageOfNoisyReadingsFollowsTheTurnAcrossNorth) {
    // Near no turn the noisy readings fall on both sides of the full-turn mark; their average
    // must not land half a turn away.
    const int fd = set_up();
    for (double theta : {0.0, 2.0, -3.0, 45.0, -120.0}) {
        SCOPED_TRACE(::testing::Message() << "turn " << theta);
        sim::board().noise(0.0).yaw(10.0);
        flagx = 0;
        get_magneto(fd);                               // reference without noise
        sim::board().noise(1.0, 7).yaw(10.0 + theta);  // 1 uT per axis: about 2.3 degrees
        const double avg = avg_magneto(64, fd);
        EXPECT_TRUE(in_range(avg)) << avg;
        EXPECT_NEAR(angle_error(avg, theta), 0.0, resolution_deg + 1.0);
    }
}

TEST_F(Bypassmag, AverageOfOneIsExactlyOneReading) {
    // Replay the same noisy board twice: once through get_magneto, once through avg_magneto(1).
    auto replay = [this] {
        sim::board().reset().noise(0.8, 11).yaw(77.0);
        const int fd = set_up();
        flagx = 0;
        get_magneto(fd);
        sim::board().yaw(150.0);
        return fd;
    };
    int fd = replay();
    const double one = get_magneto(fd);
    fd = replay();
    EXPECT_EQ(avg_magneto(1, fd), one);
}

TEST_F(Bypassmag, AverageCostsNReadingsAndBelowOneTakesNone) {
    const int fd = set_up();
    for (int n : {-100, -1, 0, 1, 2, 5}) {
        SCOPED_TRACE(n);
        sim::board().clear_log();
        const std::int64_t t0 = sim::board().now_ns();
        const double r = avg_magneto(n, fd);
        const int taken = n < 1 ? 0 : n;
        EXPECT_EQ(std::isnan(r), taken == 0) << r;
        EXPECT_EQ(flagx, taken == 0 ? 0 : 1);
        EXPECT_EQ(steps_all(), repeated(reading_steps, taken));
        EXPECT_EQ(sim::board().now_ns() - t0, taken * reading_ns);
    }
}

}  // namespace
