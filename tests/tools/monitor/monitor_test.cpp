// The heading monitor's core with directmag on the simulated board: a dead sensor ends it with
// status 1 and no heading; a failure after a good reading is a warning, the heading still printed.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>

#include "compass/directmag.hpp"
#include "monitor.hpp"
#include "sim/board.hpp"

namespace {

// The heading lines of the monitor's output (the module's set-up lines left out).
std::string headings(const std::string& out) {
    std::istringstream lines(out);
    std::string kept;
    for (std::string line; std::getline(lines, line);) {
        kept += line.rfind("heading", 0) == 0 ? line + "\n" : "";
    }
    return kept;
}

const char* const dead =
    "^name: no magnetometer: [^;\n]+; run compass-doctor to see what the board has\n$";

TEST(HeadingMonitor, DeadSensorGivesNoHeadingAndStatusOne) {
    const struct {
        const char* name;
        void (*inject)();
        int status;
        const char* headings;
        const char* err;
    } cases[] = {
        {"bus_missing", [] { sim::board().bus_missing(); }, 1, "", dead},
        {"claimed_by_a_kernel_driver", [] { sim::board().kernel_driver(sim::standalone_mag_addr); },
         1, "", dead},
        {"magnetometer_absent", [] { sim::board().absent(sim::standalone_mag_addr); }, 1, "", dead},
        // Set-up takes transfers 1-3, each reading six: the 10th is the second reading's first.
        {"second_reading_lost_a_byte", [] { sim::board().nack_transfer(10); }, 0,
         "heading   0\\.0\nheading +[0-9.]+\nheading   0\\.0\n",
         "^name: warning: reading 2: 1 transfer\\(s\\) failed: [^\n]+\n$"},
        {"healthy", [] {}, 0, "(heading   0\\.0\n){3}", "^$"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim::board().reset();
        c.inject();
        flagx = 0;
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        const int status = run_monitor("name", {0, 3, false});
        const std::string out = testing::internal::GetCapturedStdout();
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(status, c.status);
        EXPECT_TRUE(std::regex_match(headings(out), std::regex(c.headings))) << out;
        EXPECT_TRUE(std::regex_search(err, std::regex(c.err))) << err;
    }
}

}  // namespace
