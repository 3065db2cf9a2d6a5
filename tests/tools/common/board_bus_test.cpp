// The look at a board's bus before a module's set-up: asking a wiringPi-like piBoardRev() in a
// child (what it returns, how it ends, what it says, and the ways it can fail to answer), and the
// kit's own i2c-dev calls on a fake kernel side (no bus, no permission, an address a driver holds).
#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "board_bus.hpp"
#include "fake_i2c_dev.h"
#include "wiringpi_ask.hpp"

namespace {

// What the stand-in piBoardRev() does; the child inherits the choice.
enum class act { layout1, layout2, oops, long_line, flood, silent_exit, crash, hang };
act acting = act::layout2;

int board_rev() {
    switch (acting) {
        case act::layout1:
            return 1;
        case act::layout2:
            return 2;
        case act::oops:
            (void)std::fputs("\nOops: Unable to determine board revision\n -> more\n", stderr);
            std::exit(1);
        case act::long_line:
            (void)std::fputs(("\tbad\x1b[31m " + std::string(300, 'x') + "\n").c_str(), stderr);
            std::exit(3);
        case act::flood:  // more than a pipe holds before its reader drains it
            (void)std::fputs(("flood\n" + std::string(200000, 'y')).c_str(), stderr);
            std::exit(1);
        case act::silent_exit:
            std::exit(0);
        case act::crash:  // as a crash ends it, whatever a sanitizer would make of it
            (void)std::signal(SIGSEGV, SIG_DFL);
            (void)std::raise(SIGSEGV);
            return 2;
        case act::hang:
            for (;;) {
                (void)pause();
            }
    }
    return 2;
}

void version(int* major, int* minor) {
    *major = 3;
    *minor = 14;
}

using kind = wiringpi::answer::kind;

TEST(WiringPiAsk, TakesTheLibrarysAnswerItsEndOrItsFailure) {
    const struct {
        act does;
        bool has_version;
        kind how;
        int bus;     // identified: the bus wiringPiI2CSetup opens
        int status;  // exits: the exit status
        const char* said;
    } cases[] = {
        {act::layout1, false, kind::identified, 0, 0, ""},
        {act::layout2, true, kind::identified, 1, 0, ""},
        {act::oops, true, kind::exits, -1, 1, "Oops: Unable to determine board revision"},
        {act::long_line, false, kind::exits, -1, 3, " bad?[31m xxxxxxxxxx"},
        {act::flood, false, kind::exits, -1, 1, "flood"},
        {act::silent_exit, false, kind::exits, -1, 0, ""},
        {act::crash, false, kind::failed, -1, 0, "wiringPi's piBoardRev() crashed: Segmentation"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.does));
        acting = c.does;
        // A buffered line of the program's own must come out once, not again from the child.
        std::FILE* mine = std::tmpfile();
        ASSERT_NE(mine, nullptr);
        (void)std::fputs("once", mine);
        const wiringpi::answer a =
            wiringpi::ask_with(board_rev, c.has_version ? version : nullptr, 5000);
        std::rewind(mine);
        char back[16] = "";
        EXPECT_STREQ(std::fgets(back, sizeof back, mine), "once");
        (void)std::fclose(mine);

        EXPECT_EQ(a.how, c.how);
        EXPECT_EQ(a.bus, c.bus);
        EXPECT_EQ(a.status, c.status);
        EXPECT_EQ(std::string(a.said).rfind(c.said, 0), 0U) << a.said;
        EXPECT_LT(std::string(a.said).size(), sizeof a.said);
        EXPECT_EQ(a.version_told, c.has_version && c.how != kind::failed);
        char name[48];
        wiringpi::name_of(a, name, sizeof name);
        EXPECT_STREQ(name, a.version_told ? "wiringPi 3.14" : "wiringPi (version not told)");
    }
}

TEST(WiringPiAsk, EndsALibraryThatHangsAndNamesOneWithoutPiBoardRev) {
    acting = act::hang;
    const auto start = std::chrono::steady_clock::now();
    wiringpi::answer a = wiringpi::ask_with(board_rev, nullptr, 300);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(a.how, kind::failed);
    EXPECT_STREQ(a.said, "wiringPi's piBoardRev() gave no answer within 0.3 s and was ended");

    a = wiringpi::ask_with(nullptr, version, 5000);
    EXPECT_EQ(a.how, kind::failed);
    EXPECT_STREQ(a.said, "the wiringPi library this program runs with has no piBoardRev()");
}

class BusReach : public ::testing::Test {
  protected:
    void SetUp() override { fake_reset(); }
    void TearDown() override { fake_reset(); }
};

TEST_F(BusReach, NamesTheNodeOrTheAddressThatFailsAndLeavesNothingOpen) {
    const int addrs[] = {0x68, 0x0C};
    const struct {
        int open_errno, slave_errno;
        const char* why;  // empty: reached
    } cases[] = {
        {0, 0, ""},
        {ENOENT, 0, "/dev/i2c-0: No such file or directory"},
        {EACCES, 0, "/dev/i2c-0: Permission denied"},
        {0, EBUSY, "0x68 on /dev/i2c-0: Device or resource busy"},
    };
    for (const auto& c : cases) {
        fake_reset();
        fake.open_errno = c.open_errno;
        fake.slave_errno = c.slave_errno;
        char why[128] = "";
        EXPECT_EQ(tool::bus_reaches("/dev/i2c-0", addrs, 2, why, sizeof why), c.why[0] == '\0');
        EXPECT_STREQ(why, c.why);
        EXPECT_EQ(fake_ndevices, 0);
        if (c.why[0] == '\0') {  // both addresses selected on the node named
            ASSERT_EQ(fake_ncalls, 6);
            EXPECT_STREQ(fake_calls[0].path, "/dev/i2c-0");
            EXPECT_EQ(fake_calls[1].arg, 0x68UL);
            EXPECT_EQ(fake_calls[4].arg, 0x0CUL);
        }
    }
}

// A tool refuses its module only for an address that module selects, and for each of them: a
// driver may hold the magnetometer behind the bypass while the motion sensor stays free.
TEST_F(BusReach, AModuleNeedsEachOfItsAddressesFreeAndNoOther) {
    const struct {
        const char* module;
        int held;
        const char* said;  // empty: the tool goes on (0)
    } cases[] = {
        {"bypassmag", 0x0C, "tool: no magnetometer: 0x0C on /dev/i2c-"},
        {"bypassmag", 0x68, "tool: no magnetometer: 0x68 on /dev/i2c-"},
        {"bypassmag", 0x1E, ""},
        {"directmag", 0x1E, "tool: no magnetometer: 0x1E on /dev/i2c-"},
        {"directmag", 0x0C, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.module) + " with " + std::to_string(c.held) + " held");
        fake_reset();
        fake.busy_addr = c.held;
        testing::internal::CaptureStderr();
        const int status = tool::check_module_bus("tool", c.module);
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(status, c.said[0] == '\0' ? 0 : 1);
        EXPECT_EQ(said.rfind(c.said, 0), 0U) << said;
        EXPECT_EQ(said.empty(), c.said[0] == '\0') << said;
        EXPECT_EQ(fake_ndevices, 0);
    }
}

}  // namespace
