// directmag on the simulated board: set-up and reading sequences, set-up lines, raw bytes to
// heading, latch, sense of rotation and bus cost.
#include "compass/directmag.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "i2cbus/bus.h"
#include "sim/board.hpp"
#include "sim_support.hpp"

namespace {

using namespace compass_test;

constexpr int mag = sim::standalone_mag_addr;

const std::vector<step> reading_steps = {read_of(mag, 0x03), read_of(mag, 0x04),
                                         read_of(mag, 0x05), read_of(mag, 0x06),
                                         read_of(mag, 0x07), read_of(mag, 0x08)};

// The first continuous sample lands two output periods (26.7 ms at 75 Hz) after set-up, the
// later ones every 13.3 ms: waiting this long always brings a sample of the current scene.
constexpr unsigned fresh_sample_ms = 27;

// 25 uT at the power-on gain (1090 counts per gauss) is 272.5 counts; rounding to counts moves each
// axis by at most half a count, and a relative reading carries that twice.
const double resolution_deg =
    2.0 * std::asin(0.5 * std::sqrt(2.0) / 272.0) * 180.0 / 3.14159265358979 + 1e-6;

class Directmag : public ::testing::Test {
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

TEST_F(Directmag, SetUpIdentifiesAndStartsContinuousMeasurement) {
    const int fd = set_up();
    EXPECT_EQ(lines, "setup success.\nFound magneto DIRECTMAG.\n");
    const std::vector<step> want = {setup_of(mag), read_of(mag, 0x0A), write_of(mag, 0x00, 0x38),
                                    write_of(mag, 0x02, 0x00)};
    EXPECT_EQ(steps_all(), want);
    const auto& log = sim::board().log();
    ASSERT_EQ(log.size(), want.size());
    EXPECT_EQ(fd, log[0].result);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(log[1].result, 0x48);
    EXPECT_EQ(sim::board().peek(mag, 0x01), 0x20) << "the gain keeps its power-on value";
}

TEST_F(Directmag, SetUpFaultsOnlyChangeTheLinesAndEveryStepStillRuns) {
    struct fault {
        const char* name;
        void (*inject)();
        const char* lines;
        bool negative;
    };
    const fault faults[] = {
        {"bus_missing", [] { sim::board().bus_missing(); }, "Error while setting up.\n", true},
        {"absent", [] { sim::board().absent(mag); }, "setup success.\n", false},
        {"wrong_identity", [] { sim::board().force(mag, 0x0A, 0x49); }, "setup success.\n", false},
        {"identity_read_lost", [] { sim::board().nack_transfer(1); }, "setup success.\n", false},
        {"claimed_by_a_kernel_driver", [] { sim::board().kernel_driver(mag); },
         "Error while setting up.\n", true},
    };
    for (const fault& f : faults) {
        SCOPED_TRACE(f.name);
        sim::board().reset();
        f.inject();
        const int fd = set_up();
        EXPECT_EQ(lines, f.lines);
        EXPECT_EQ(fd < 0, f.negative);
        const cost c = cost_of_log();
        EXPECT_EQ(c.other, 1);
        EXPECT_EQ(c.reads, 1);
        EXPECT_EQ(c.writes, 2);
        EXPECT_EQ(c.delays, 0);
    }
}

TEST_F(Directmag, OneReadingIsSixReadsInOrderAndNoWait) {
    const int fd = set_up();
    sim::board().clear_log();
    const std::int64_t t0 = sim::board().now_ns();
    get_magneto(fd);
    EXPECT_EQ(steps_all(), reading_steps);
    EXPECT_EQ(sim::board().now_ns() - t0, 6 * read_ns);
    for (const sim::transfer& t : sim::board().log()) {
        EXPECT_GE(t.result, 0);
    }
    for (int n = 0; n < 10; ++n) {
        get_magneto(fd);
    }
    const cost c = cost_of_log();
    EXPECT_EQ(c.reads, 66);
    EXPECT_EQ(c.writes + c.delays + c.other, 0);
}

TEST_F(Directmag, FirstReadingRightAfterSetUpLatchesARealHeadingAndReadsZero) {
    sim::board().yaw(200.0);  // the power-up measurement sees the board as it stands
    const int fd = set_up();
    EXPECT_EQ(get_magneto(fd), 0.0);
    EXPECT_EQ(flagx, 1);
    const double ref = comp_angl;
    EXPECT_NEAR(angle_error(ref, 200.0), 0.0, resolution_deg);
    EXPECT_EQ(get_magneto(fd), 0.0);

    sim::board().yaw(290.0);
    delay(fresh_sample_ms);
    EXPECT_NEAR(angle_error(get_magneto(fd), 90.0), 0.0, resolution_deg);
    EXPECT_EQ(comp_angl, ref);

    flagx = 0;
    EXPECT_EQ(get_magneto(fd), 0.0);
    EXPECT_NE(comp_angl, ref);
    sim::board().yaw(200.0);
    delay(fresh_sample_ms);
    EXPECT_NEAR(angle_error(get_magneto(fd), -90.0), 0.0, resolution_deg);
}

struct raw_case {
    const char* name;
    std::uint8_t bytes[6];  // registers 0x03..0x08: X, Z, Y big-endian
    int x, y;               // calibrated pair the heading must come from
};

const raw_case raw_cases[] = {
    {"high_byte_first", {0x01, 0x00, 0x00, 0x00, 0x00, 0x00}, 256 - 4, 273},
    {"low_byte_second", {0x00, 0x01, 0x00, 0x00, 0x00, 0x00}, 1 - 4, 273},
    {"y_is_the_third_pair", {0x00, 0x10, 0x00, 0x00, 0x00, 0x20}, 16 - 4, 32 + 273},
    {"z_is_not_used", {0x00, 0x10, 0x12, 0x34, 0x00, 0x20}, 16 - 4, 32 + 273},
    {"negative", {0xFF, 0x00, 0x00, 0x00, 0xFE, 0x00}, -256 - 4, -512 + 273},
    {"x_wraps_below_minus_32768", {0x80, 0x00, 0x00, 0x00, 0x00, 0x00}, 32764, 273},
    {"y_wraps_above_32767", {0x00, 0x00, 0x00, 0x00, 0x7F, 0xFF}, -4, -32496},
};

TEST_F(Directmag, RawBytesBecomeTheCalibratedPair) {
    const int fd = set_up();
    for (const raw_case& c : raw_cases) {
        SCOPED_TRACE(c.name);
        force_data(mag, c.bytes);
        flagx = 0;
        EXPECT_EQ(get_magneto(fd), 0.0);
        EXPECT_DOUBLE_EQ(comp_angl, expected_absolute(c.x, c.y));
    }
}

TEST_F(Directmag, EveryDataReadFailingGivesMinus5And272) {
    const int fd = set_up();
    for (int reg = 0x03; reg <= 0x08; ++reg) {
        sim::board().nack_register(mag, reg);
    }
    EXPECT_EQ(get_magneto(fd), 0.0);
    EXPECT_DOUBLE_EQ(comp_angl, expected_absolute(-5, 272));
}

TEST_F(Directmag, DirectSense) {
    const int fd = set_up();
    // Calibrated (10, 0), then (0, 10): the absolute heading rises by 90 and so does the reading.
    const std::uint8_t ahead[6] = {0x00, 14, 0x00, 0x00, 0xFE, 0xEF};  // 14 - 4, -273 + 273
    const std::uint8_t left[6] = {0x00, 4, 0x00, 0x00, 0xFE, 0xF9};    // 4 - 4, -263 + 273
    force_data(mag, ahead);
    EXPECT_EQ(get_magneto(fd), 0.0);
    EXPECT_EQ(comp_angl, 0.0);
    force_data(mag, left);
    EXPECT_NEAR(get_magneto(fd), 90.0, 1e-6);
}

TEST_F(Directmag, TurningTheBoardReadsTheTurn) {
    const int fd = set_up();
    const double starts[] = {0.0, 90.0, 200.0, 350.0};
    const double turns[] = {5.0, 30.0, 90.0, 179.0, -15.0, -90.0, -170.0};
    for (double start : starts) {
        for (double theta : turns) {
            SCOPED_TRACE(::testing::Message() << "from " << start << " by " << theta);
            sim::board().yaw(start);
            delay(fresh_sample_ms);
            flagx = 0;
            get_magneto(fd);
            sim::board().yaw(start + theta);
            delay(fresh_sample_ms);
            const double r = get_magneto(fd);
            EXPECT_GE(r, 0.0);
            EXPECT_LT(r, 360.0);
            EXPECT_NEAR(angle_error(r, theta), 0.0, resolution_deg);
        }
    }
}

}  // namespace
