// The calibration helper on the simulated board, built once per module: it finds the hard-iron
// offset the scene was given, and the module rebuilt with that offset reports the board's turns.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "calibrate.hpp"
#include "compass/compass.hpp"
#include "i2cbus/bus.h"
#include "sim/board.hpp"

namespace {

#if defined(CALIBRATE_TEST_BYPASSMAG)
constexpr calibrate::module tested = calibrate::module::bypassmag;
constexpr const char* unit = "uT";
constexpr const char* settings_prefix = "-DCOMPASS_BYPASSMAG_OFFSET_";
// The scaled microtesla truncate toward zero: up to 1 uT in 25 uT of horizontal field.
constexpr double heading_tolerance = 3.0;
void give_offset(int x, int y) {
    sim::board().bypass_offset(x, y, 11.0);
}
void give_default_offset() {
    sim::board().bypass_offset(COMPASS_BYPASSMAG_OFFSET_X, COMPASS_BYPASSMAG_OFFSET_Y, 0.0);
}
#else
constexpr calibrate::module tested = calibrate::module::directmag;
constexpr const char* unit = "counts";
constexpr const char* settings_prefix = "-DCOMPASS_DIRECTMAG_OFFSET_";
constexpr double heading_tolerance = 0.5;
void give_offset(int x, int y) {
    sim::board().standalone_offset(x, y, -35);
}
void give_default_offset() {
    sim::board().standalone_offset(COMPASS_DIRECTMAG_OFFSET_X, COMPASS_DIRECTMAG_OFFSET_Y, 0);
}
#endif

constexpr int chosen_x = CHOSEN_OFFSET_X;
constexpr int chosen_y = CHOSEN_OFFSET_Y;

struct turn {
    double start = 0.0;
    double turns = 1.0;
};

void turn_evenly(int index, int samples, void* context) {
    const auto* t = static_cast<const turn*>(context);
    sim::board().yaw(t->start + 360.0 * t->turns * index / samples);
}

// Signed angle from b to a, in [-180, 180).
double angle_between(double a, double b) {
    double d = std::fmod(a - b, 360.0);
    d = d < -180.0 ? d + 360.0 : d;
    return d >= 180.0 ? d - 360.0 : d;
}

class Calibrate : public ::testing::Test {
  protected:
    void SetUp() override { sim::board().reset(); }
};

TEST_F(Calibrate, FindsTheHardIronOffsetWhateverTheFieldAndStartingHeading) {
    struct scene {
        double horizontal_ut, down_ut, start_deg, turns;
    };
    const scene scenes[] = {
        {25.0, 40.0, 0.0, 1.0}, {48.0, 20.0, 137.0, 2.0}, {18.0, 55.0, -90.0, 1.0}};
    for (const scene& s : scenes) {
        sim::board().reset().field(s.horizontal_ut, s.down_ut).yaw(s.start_deg);
        give_offset(chosen_x, chosen_y);
        const int fd = calibrate::setup(tested, nullptr);
        ASSERT_GE(fd, 0);
        turn t{s.start_deg, s.turns};
        const calibrate::result r = calibrate::run(tested, fd, {720, 20}, turn_evenly, &t);
        EXPECT_EQ(r.taken, 720);
        EXPECT_EQ(r.failed, 0);
        EXPECT_NEAR(r.x.centre(), chosen_x, 1) << s.horizontal_ut;
        EXPECT_NEAR(r.y.centre(), chosen_y, 1) << s.horizontal_ut;
        EXPECT_EQ(r.sectors_seen, calibrate::result::sector_count);
    }
}

TEST_F(Calibrate, LeavesOutSamplesWithAFailedTransferAndFlagsAHalfTurn) {
    give_offset(chosen_x, chosen_y);
    const int fd = calibrate::setup(tested, nullptr);
    ASSERT_GE(fd, 0);
    sim::board().nack_transfer(40);  // somewhere in the sixth sample or so
    turn full{};
    calibrate::result r = calibrate::run(tested, fd, {360, 20}, turn_evenly, &full);
    EXPECT_EQ(r.taken, 360);
    EXPECT_EQ(r.failed, 1);
    EXPECT_NEAR(r.x.centre(), chosen_x, 1);
    EXPECT_NEAR(r.y.centre(), chosen_y, 1);

    // Half a turn sees only part of the circle, and says so.
    sim::board().yaw(0.0);
    turn half{0.0, 0.5};
    r = calibrate::run(tested, fd, {360, 20}, turn_evenly, &half);
    EXPECT_LT(r.sectors_seen, calibrate::result::sector_count * 3 / 4);
    char report[512] = {};
    std::FILE* out = fmemopen(report, sizeof report - 1, "w");
    ASSERT_NE(out, nullptr);
    EXPECT_TRUE(calibrate::print_report(out, tested, r));
    std::fclose(out);
    EXPECT_NE(std::string(report).find("warning: the samples cover"), std::string::npos) << report;

    // Nothing but failures: no settings to print.
    sim::board().absent(tested == calibrate::module::bypassmag ? sim::bypass_mag_addr
                                                               : sim::standalone_mag_addr);
    r = calibrate::run(tested, fd, {10, 20});
    EXPECT_EQ(r.failed, 10);
    std::FILE* sink = std::tmpfile();
    ASSERT_NE(sink, nullptr);
    EXPECT_FALSE(calibrate::print_report(sink, tested, r));
    std::fclose(sink);
}

// The centre is the middle of an axis' range; a middle half-way between two counts goes up, to
// the larger count, on either side of zero.
TEST_F(Calibrate, ReportsTheMiddleOfEachRangeWithHalvesRoundedUp) {
    const struct {
        int x_min, x_max, y_min, y_max;
        int x_centre, y_centre;
    } cases[] = {
        {-3, 4, -13, -10, 1, -11},       // middles 0.5 and -11.5
        {-4, 3, 10, 13, 0, 12},          // -0.5 and 11.5
        {100, 102, -7, -5, 101, -6},     // whole counts
        {-57, -57, 140, 141, -57, 141},  // a single count; 140.5
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.x_min);
        calibrate::tracker t;
        t.add({c.x_min, c.y_max});
        t.add({c.x_max, c.y_min});
        char report[512] = {};
        std::FILE* out = fmemopen(report, sizeof report - 1, "w");
        ASSERT_NE(out, nullptr);
        EXPECT_TRUE(calibrate::print_report(out, tested, t.finish()));
        std::fclose(out);
        char expected[256];
        std::snprintf(expected, sizeof expected,
                      "  X: %d .. %d %s, centre %d (halves round up)\n"
                      "  Y: %d .. %d %s, centre %d (halves round up)\n",
                      c.x_min, c.x_max, unit, c.x_centre, c.y_min, c.y_max, unit, c.y_centre);
        EXPECT_NE(std::string(report).find(expected), std::string::npos) << report;
        std::snprintf(expected, sizeof expected, "\n  %sX=%d %sY=%d\n", settings_prefix, c.x_centre,
                      settings_prefix, c.y_centre);
        EXPECT_NE(std::string(report).find(expected), std::string::npos) << report;
    }
}

// Heading errors of the module built here over a full turn in 10 degree steps, the first reading
// taken at yaw 0 as the reference. The module reports how far the board has turned.
double worst_heading_error() {
    flagx = 0;
    sim::board().yaw(0.0);
    const int fd = setup_magneto();
    delay(30);  // the stand-alone magnetometer's first continuous sample
    get_magneto(fd);
    double worst = 0.0;
    for (int deg = 10; deg < 360; deg += 10) {
        sim::board().yaw(deg);
        delay(20);
        const double got = get_magneto(fd);
        worst = std::fmax(worst, std::fabs(angle_between(got, deg)));
    }
    return worst;
}

TEST_F(Calibrate, ModuleRebuiltWithTheFoundOffsetReportsTurns) {
    give_offset(chosen_x, chosen_y);
    const int fd = calibrate::setup(tested, nullptr);
    ASSERT_GE(fd, 0);
    turn t{};
    const calibrate::result r = calibrate::run(tested, fd, {720, 20}, turn_evenly, &t);
    ASSERT_NEAR(r.x.centre(), chosen_x, 1);
    ASSERT_NEAR(r.y.centre(), chosen_y, 1);

    EXPECT_LE(worst_heading_error(), heading_tolerance);

    // The same module on a board with the stock offsets is far off: the offset it was built with
    // is what makes the turns come out right.
    sim::board().reset();
    give_default_offset();
    EXPECT_GT(worst_heading_error(), 20.0);
}

}  // namespace
