// What both compass modules do alike, on the simulated board: set-up sequence and lines under each
// fault, the reading's bus sequence and cost, raw bytes to heading, failed reads, latching, sense
// of rotation and turning the board. Built once per module with that module's traits.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "i2cbus/bus.h"
#include "sim/board.hpp"
#include "sim_support.hpp"

#if defined(COMPASS_TEST_BYPASSMAG)
#include "bypassmag_traits.hpp"
#elif defined(COMPASS_TEST_DIRECTMAG)
#include "directmag_traits.hpp"
#else
#error "build with COMPASS_TEST_BYPASSMAG or COMPASS_TEST_DIRECTMAG"
#endif

namespace {

using namespace compass_test;
namespace mt = module_traits;

using Module = module_fixture;

TEST_F(Module, SetUpRunsItsSequenceAndReturnsTheMagnetometersHandle) {
    const int fd = set_up();
    EXPECT_EQ(lines, mt::setup_lines);
    EXPECT_EQ(steps_all(), mt::setup_steps);
    ASSERT_EQ(sim::board().log().size(), mt::setup_steps.size());
    EXPECT_EQ(fd, sim::board().log()[mt::mag_setup_step].result);
}

TEST_F(Module, SetUpFaultsOnlyChangeTheLinesAndEveryStepStillRuns) {
    for (const setup_fault& f : mt::setup_faults) {
        SCOPED_TRACE(f.name);
        sim::board().reset();
        f.inject();
        const int fd = set_up();
        EXPECT_EQ(lines, f.lines);
        EXPECT_EQ(without_devices(steps_all()), without_devices(mt::setup_steps));
        ASSERT_EQ(sim::board().log().size(), mt::setup_steps.size());
        EXPECT_EQ(fd, sim::board().log()[mt::mag_setup_step].result);
    }
}

TEST_F(Module, ReadingsCostTheirSequenceEachAndNothingElse) {
    const int fd = set_up();
    for (int n : {1, 3}) {
        SCOPED_TRACE(n);
        sim::board().clear_log();
        const std::int64_t t0 = sim::board().now_ns();
        for (int i = 0; i < n; ++i) {
            get_magneto(fd);
        }
        EXPECT_EQ(steps_all(), repeated(mt::reading_steps, n));
        EXPECT_EQ(sim::board().now_ns() - t0, n * mt::reading_ns);
        for (const sim::transfer& t : sim::board().log()) {
            EXPECT_GE(t.result, 0) << "every transfer of a reading succeeds on a healthy board";
        }
    }
}

TEST_F(Module, FailedReadsCountAsAllOnesBytes) {
    // Refused data registers, and a missing bus whose negative handle is still used.
    const struct {
        const char* name;
        void (*inject)();
    } faults[] = {
        {"data_registers_refused",
         [] {
             for (int reg = 0x03; reg <= 0x08; ++reg) {
                 sim::board().nack_register(mt::mag, reg);
             }
         }},
        {"bus_missing", [] { sim::board().bus_missing(); }},
    };
    for (const auto& f : faults) {
        SCOPED_TRACE(f.name);
        sim::board().reset();
        f.inject();
        flagx = 0;
        const int fd = set_up();
        sim::board().clear_log();
        EXPECT_EQ(get_magneto(fd), mt::first_reading);
        EXPECT_EQ(comp_angl, mt::failed_reads_heading);
        EXPECT_EQ(without_devices(steps_all()), without_devices(mt::reading_steps));
        for (const sim::transfer& t : sim::board().log()) {
            if (t.kind == sim::op::read) {
                EXPECT_EQ(t.result, -1);
            }
        }
    }
}

TEST_F(Module, RawBytesBecomeTheCalibratedPair) {
    const int fd = set_up();
    for (const raw_case& c : mt::raw_cases) {
        SCOPED_TRACE(c.name);
        force_data(mt::mag, c.bytes);
        flagx = 0;
        EXPECT_EQ(get_magneto(fd), mt::first_reading);
        EXPECT_EQ(comp_angl, c.heading);
    }
}

TEST_F(Module, SenseOfRotation) {
    const int fd = set_up();
    force_data(mt::mag, mt::bytes_at_0);
    EXPECT_EQ(get_magneto(fd), mt::first_reading);
    EXPECT_EQ(comp_angl, 0.0);
    force_data(mt::mag, mt::bytes_at_90);
    EXPECT_EQ(get_magneto(fd), mt::reading_at_90);
    force_data(mt::mag, mt::bytes_at_0);
    EXPECT_EQ(get_magneto(fd), mt::first_reading);
}

TEST_F(Module, FirstReadingLatchesTheBoardsHeadingAndLaterOnesReadTheTurn) {
    sim::board().yaw(200.0);  // before set-up: a first reading right after it sees this scene
    const int fd = set_up();
    EXPECT_EQ(get_magneto(fd), mt::first_reading);
    EXPECT_EQ(flagx, 1);
    const double ref = comp_angl;
    EXPECT_NEAR(angle_error(ref, mt::absolute_at_yaw(200.0)), 0.0, mt::resolution_deg / 2);
    EXPECT_EQ(get_magneto(fd), mt::first_reading) << "same scene, same heading as the reference";

    sim::board().yaw(290.0);
    delay(mt::settle_ms);
    EXPECT_NEAR(angle_error(get_magneto(fd), 90.0), 0.0, mt::resolution_deg);
    EXPECT_EQ(comp_angl, ref) << "the reference never moves by itself";

    flagx = 0;  // the host asks for a new reference
    EXPECT_EQ(get_magneto(fd), mt::first_reading);
    EXPECT_EQ(flagx, 1);
    EXPECT_NE(comp_angl, ref);
    sim::board().yaw(200.0);
    delay(mt::settle_ms);
    EXPECT_NEAR(angle_error(get_magneto(fd), -90.0), 0.0, mt::resolution_deg);
}

TEST_F(Module, TurningTheBoardReadsTheTurn) {
    const int fd = set_up();
    for (double start : {0.0, 90.0, 200.0, 350.0}) {
        for (double theta : {5.0, 30.0, 90.0, 179.0, -15.0, -90.0, -170.0}) {
            SCOPED_TRACE(::testing::Message() << "from " << start << " by " << theta);
            sim::board().yaw(start);
            delay(mt::settle_ms);
            flagx = 0;
            get_magneto(fd);
            sim::board().yaw(start + theta);
            delay(mt::settle_ms);
            const double r = get_magneto(fd);
            EXPECT_TRUE(mt::in_range(r)) << r;
            EXPECT_NEAR(angle_error(r, theta), 0.0, mt::resolution_deg);
        }
    }
}

}  // namespace
