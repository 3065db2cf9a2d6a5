// bypassmag on the simulated board: set-up and reading sequences, set-up lines, raw bytes to
// heading, latch, sense of rotation, averaging and bus cost.
#include "compass/bypassmag.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "i2cbus/bus.h"
#include "sim/board.hpp"
#include "sim_support.hpp"

namespace {

using namespace compass_test;

constexpr int mpu = sim::motion_sensor_addr;
constexpr int mag = sim::bypass_mag_addr;

// One reading: the single-measurement trigger, the fixed wait and the six data registers in order.
const std::vector<step> reading_steps = {
    write_of(mag, 0x0A, 0x01), delay_of(8),        read_of(mag, 0x03), read_of(mag, 0x04),
    read_of(mag, 0x05),        read_of(mag, 0x06), read_of(mag, 0x07), read_of(mag, 0x08)};
constexpr std::int64_t reading_ns = write_ns + 8'000'000 + 6 * read_ns;

// Per axis the module sees the field to within about 1.15 uT (0.15 from rounding to counts, under 1
// from truncating the scaled value), out of 25 uT; a relative reading carries that twice.
const double resolution_deg =
    2.0 * std::asin(1.15 * std::sqrt(2.0) / 25.0) * 180.0 / 3.14159265358979;

class Bypassmag : public ::testing::Test {
  protected:
    void SetUp() override {
        sim::board().reset();
        flagx = 0;  // as a host may, to start every test unlatched
        comp_angl = 0.0;
    }
    int set_up() {
        int fd = -1;
        lines = captured_setup(fd);
        return fd;
    }
    std::string lines;
};

TEST_F(Bypassmag, SetUpWakesTheMotionSensorOpensTheBypassAndFindsBoth) {
    const int fd = set_up();
    EXPECT_EQ(lines, "setup success.\nFound MPU.\nsetup success.\nFound magneto.\n");
    const std::vector<step> want = {
        setup_of(mpu), read_of(mpu, 0x75),        write_of(mpu, 0x6B, 0x80),
        delay_of(100), write_of(mpu, 0x6B, 0x08), write_of(mpu, 0x37, 0x02),
        setup_of(mag), read_of(mag, 0x00)};
    EXPECT_EQ(steps_all(), want);
    const auto& log = sim::board().log();
    ASSERT_EQ(log.size(), want.size());
    EXPECT_EQ(fd, log[6].result) << "the handle returned is the magnetometer's";
    EXPECT_NE(fd, log[0].result);
    EXPECT_EQ(log[1].result, 0x68);
    EXPECT_EQ(log[7].result, 0x48);
}

struct setup_fault {
    const char* name;
    void (*inject)();
    const char* lines;
};

const setup_fault setup_faults[] = {
    {"bus_missing", [] { sim::board().bus_missing(); },
     "Error while setting up.\nError while setting up.\n"},
    {"motion_sensor_absent", [] { sim::board().absent(mpu); }, "setup success.\nsetup success.\n"},
    {"magnetometer_absent", [] { sim::board().absent(mag); },
     "setup success.\nFound MPU.\nsetup success.\n"},
    {"motion_sensor_wrong_identity", [] { sim::board().force(mpu, 0x75, 0x70); },
     "setup success.\nsetup success.\nFound magneto.\n"},
    {"magnetometer_wrong_identity", [] { sim::board().force(mag, 0x00, 0x49); },
     "setup success.\nFound MPU.\nsetup success.\n"},
    {"bypass_write_lost", [] { sim::board().nack_register(mpu, 0x37); },
     "setup success.\nFound MPU.\nsetup success.\n"},
    {"motion_sensor_claimed_by_a_kernel_driver", [] { sim::board().kernel_driver(mpu); },
     "Error while setting up.\nsetup success.\n"},
    {"magnetometer_claimed_by_a_kernel_driver", [] { sim::board().kernel_driver(mag); },
     "setup success.\nFound MPU.\nError while setting up.\n"},
};

TEST_F(Bypassmag, SetUpFaultsOnlyChangeTheLinesAndEveryStepStillRuns) {
    for (const setup_fault& f : setup_faults) {
        SCOPED_TRACE(f.name);
        sim::board().reset();
        f.inject();
        const int fd = set_up();
        EXPECT_EQ(lines, f.lines);
        const cost c = cost_of_log();
        EXPECT_EQ(c.other, 2);
        EXPECT_EQ(c.reads, 2);
        EXPECT_EQ(c.writes, 3);
        EXPECT_EQ(c.delays, 1);
        EXPECT_EQ(c.delay_ms, 100);
        EXPECT_EQ(fd, sim::board().log()[6].result);
    }
}

TEST_F(Bypassmag, BusMissingGivesANegativeHandleThatIsStillUsed) {
    sim::board().bus_missing();
    const int fd = set_up();
    EXPECT_LT(fd, 0);
    sim::board().clear_log();
    // Every data read fails: bytes 0xFF, axes -1, scaled 0, calibrated (-30, -61).
    EXPECT_EQ(get_magneto(fd), 360.0);
    EXPECT_DOUBLE_EQ(comp_angl, expected_absolute(-30, -61));
    const cost c = cost_of_log();
    EXPECT_EQ(c.writes, 1);
    EXPECT_EQ(c.reads, 6);
    for (const sim::transfer& t : sim::board().log()) {
        if (t.kind == sim::op::read) {
            EXPECT_EQ(t.result, -1);
        }
    }
}

TEST_F(Bypassmag, OneReadingIsTriggerWaitAndSixReadsInOrder) {
    const int fd = set_up();
    sim::board().clear_log();
    const std::int64_t t0 = sim::board().now_ns();
    get_magneto(fd);
    EXPECT_EQ(steps_all(), reading_steps);
    EXPECT_EQ(sim::board().now_ns() - t0, reading_ns);
    for (const sim::transfer& t : sim::board().log()) {
        EXPECT_GE(t.result, 0) << "every transfer of a reading succeeds on a healthy board";
    }
}

TEST_F(Bypassmag, FirstReadingLatchesAndReadsFullTurn) {
    const int fd = set_up();
    sim::board().yaw(123.0);
    EXPECT_EQ(flagx, 0);
    EXPECT_EQ(get_magneto(fd), 360.0);
    EXPECT_EQ(flagx, 1);
    const double ref = comp_angl;
    EXPECT_GE(ref, 0.0);
    EXPECT_LT(ref, 360.0);
    EXPECT_EQ(get_magneto(fd), 360.0) << "same scene, same heading as the reference";

    sim::board().yaw(213.0);
    EXPECT_NEAR(angle_error(get_magneto(fd), 90.0), 0.0, resolution_deg);
    EXPECT_EQ(comp_angl, ref) << "the reference never moves by itself";

    flagx = 0;  // the host asks for a new reference
    EXPECT_EQ(get_magneto(fd), 360.0);
    EXPECT_EQ(flagx, 1);
    EXPECT_NE(comp_angl, ref);
    sim::board().yaw(123.0);
    EXPECT_NEAR(angle_error(get_magneto(fd), -90.0), 0.0, resolution_deg);
}

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
    EXPECT_EQ(comp_angl, expected_absolute(0 - 30, 60 - 61));
}

struct raw_case {
    const char* name;
    std::uint8_t bytes[6];  // registers 0x03..0x08: X, Y, Z little-endian
    int x, y;               // calibrated pair the heading must come from
};

const raw_case raw_cases[] = {
    {"x_16_counts_scale_to_4", {0x10, 0x00, 0x00, 0x00, 0x00, 0x00}, 4 - 30, -61},
    {"x_minus_16_counts_scale_to_minus_4", {0xF0, 0xFF, 0x00, 0x00, 0x00, 0x00}, -4 - 30, -61},
    {"y_16_counts", {0x00, 0x00, 0x10, 0x00, 0x00, 0x00}, -30, 4 - 61},
    {"small_counts_truncate_to_0", {0x03, 0x00, 0xFD, 0xFF, 0x00, 0x00}, -30, -61},
    {"minus_1_and_2_truncate_to_0", {0xFF, 0xFF, 0x02, 0x00, 0x00, 0x00}, -30, -61},
    {"low_byte_first", {0x00, 0x01, 0x01, 0x00, 0x00, 0x00}, 76 - 30, -61},
    {"z_is_not_used", {0x10, 0x00, 0x10, 0x00, 0x34, 0x12}, 4 - 30, 4 - 61},
    {"extremes", {0xFF, 0x7F, 0x00, 0x80, 0x00, 0x00}, 9830 - 30, -9830 - 61},
    {"mixed", {0x64, 0x00, 0x2C, 0x01, 0x00, 0x00}, 30 - 30, 90 - 61},
};

TEST_F(Bypassmag, RawBytesBecomeTheCalibratedPair) {
    const int fd = set_up();
    for (const raw_case& c : raw_cases) {
        SCOPED_TRACE(c.name);
        force_data(mag, c.bytes);
        flagx = 0;
        EXPECT_EQ(get_magneto(fd), 360.0);
        EXPECT_DOUBLE_EQ(comp_angl, expected_absolute(c.x, c.y));
    }
}

TEST_F(Bypassmag, EveryDataReadFailingGivesMinus30Minus61) {
    const int fd = set_up();
    for (int reg = 0x03; reg <= 0x08; ++reg) {
        sim::board().nack_register(mag, reg);
    }
    EXPECT_EQ(get_magneto(fd), 360.0);
    EXPECT_DOUBLE_EQ(comp_angl, expected_absolute(-30, -61));
}

TEST_F(Bypassmag, ReversedSense) {
    const int fd = set_up();
    // Calibrated (10, 0), then (0, 10): the absolute heading rises by 90, the module reports 270.
    const std::uint8_t east[6] = {134, 0, 204, 0, 0, 0};   // 40 - 30, 61 - 61
    const std::uint8_t north[6] = {101, 0, 237, 0, 0, 0};  // 30 - 30, 71 - 61
    force_data(mag, east);
    EXPECT_EQ(get_magneto(fd), 360.0);
    EXPECT_EQ(comp_angl, 0.0);
    force_data(mag, north);
    EXPECT_NEAR(get_magneto(fd), 270.0, 1e-6);
    force_data(mag, east);
    EXPECT_EQ(get_magneto(fd), 360.0);
}

TEST_F(Bypassmag, TurningTheBoardReadsTheTurn) {
    const int fd = set_up();
    const double starts[] = {0.0, 90.0, 200.0, 350.0};
    const double turns[] = {5.0, 30.0, 90.0, 179.0, -15.0, -90.0, -170.0};
    for (double start : starts) {
        for (double theta : turns) {
            SCOPED_TRACE(::testing::Message() << "from " << start << " by " << theta);
            sim::board().yaw(start);
            flagx = 0;
            get_magneto(fd);
            sim::board().yaw(start + theta);
            const double r = get_magneto(fd);
            EXPECT_GT(r, 0.0);
            EXPECT_LE(r, 360.0);
            EXPECT_NEAR(angle_error(r, theta), 0.0, resolution_deg);
        }
    }
}

TEST_F(Bypassmag, AverageOfNoisyReadingsFollowsTheTurnAcrossNorth) {
    const int fd = set_up();
    const double sigma = 1.0;  // uT on every axis, about 2.3 degrees of heading
    const int n = 64;
    for (double theta : {0.0, 2.0, -3.0, 45.0, -120.0}) {
        SCOPED_TRACE(::testing::Message() << "turn " << theta);
        sim::board().noise(0.0).yaw(10.0);
        flagx = 0;
        get_magneto(fd);  // reference without noise
        sim::board().noise(sigma, 7).yaw(10.0 + theta);
        const double avg = avg_magneto(n, fd);
        EXPECT_GT(avg, 0.0);
        EXPECT_LE(avg, 360.0);
        EXPECT_NEAR(angle_error(avg, theta), 0.0, resolution_deg + 1.0);
    }
}

TEST_F(Bypassmag, NoisyReadingsStraddleTheSeamAndTheAverageDoesNot) {
    const int fd = set_up();
    sim::board().yaw(40.0);
    get_magneto(fd);
    sim::board().noise(1.0, 3);
    int low = 0;
    int high = 0;
    for (int i = 0; i < 32; ++i) {
        (get_magneto(fd) < 180.0 ? low : high) += 1;
    }
    ASSERT_GT(low, 0) << "the scene must put readings on both sides of the full-turn mark";
    ASSERT_GT(high, 0);
    const double avg = avg_magneto(32, fd);
    EXPECT_TRUE(avg > 350.0 || avg < 10.0) << avg;
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

TEST_F(Bypassmag, AverageOfNoneTakesNoReading) {
    const int fd = set_up();
    sim::board().clear_log();
    for (int val : {0, -1, -100}) {
        const double r = avg_magneto(val, fd);
        EXPECT_TRUE(std::isnan(r)) << val;
    }
    EXPECT_TRUE(sim::board().log().empty());
    EXPECT_EQ(flagx, 0);
}

TEST_F(Bypassmag, AverageCostsNReadings) {
    const int fd = set_up();
    for (int n : {1, 2, 5}) {
        SCOPED_TRACE(n);
        sim::board().clear_log();
        const std::int64_t t0 = sim::board().now_ns();
        avg_magneto(n, fd);
        const cost c = cost_of_log();
        EXPECT_EQ(c.writes, n);
        EXPECT_EQ(c.delays, n);
        EXPECT_EQ(c.delay_ms, 8 * n);
        EXPECT_EQ(c.reads, 6 * n);
        EXPECT_EQ(c.other, 0);
        EXPECT_EQ(sim::board().now_ns() - t0, n * reading_ns);
        std::vector<step> want;
        for (int i = 0; i < n; ++i) {
            want.insert(want.end(), reading_steps.begin(), reading_steps.end());
        }
        EXPECT_EQ(steps_all(), want);
    }
}

}  // namespace
