// The look at a board's bus before a module's set-up: wiringPi's identification of the board and
// its bus, from cpuinfo texts as Raspberry Pi kernels write them, and the kit's own i2c-dev calls
// on a fake kernel side (no bus, no permission, an address a driver holds).
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "board_bus.hpp"
#include "fake_i2c_dev.h"
#include "wiringpi_board.hpp"

namespace {

wiringpi::board identify_text(const std::string& text) {
    std::FILE* f = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
    const wiringpi::board b = wiringpi::identify(f);
    (void)std::fclose(f);
    return b;
}

// Expected as wiringPi 2.25's piBoardRev() decides: Hardware must name BCM2708 or BCM2709; the
// revision is read from its first digit, and only its last four characters count; 0002 and 0003
// (the first Model B) mean /dev/i2c-0, anything else /dev/i2c-1.
TEST(WiringPiBoard, BusFromTheRevisionAsWiringPiDecidesIt) {
    const std::string head = "processor\t: 0\nmodel name\t: ARMv7 Processor rev 4 (v7l)\n\n";
    const struct {
        const char* cpuinfo;
        int bus;  // -1: not identified
        const char* said;
    } cases[] = {
        {"Hardware\t: BCM2708\nRevision\t: 0002\n", 0, "0002"},             // Model B rev 1
        {"Hardware\t: BCM2708\nRevision\t: 0003\n", 0, "0003"},             // rev 1, fuses removed
        {"Hardware\t: BCM2708\nRevision\t: 1000002\n", 0, ""},              // over-volted rev 1
        {"Hardware\t: BCM2708\nRevision\t: 0002\r\n", 0, ""},               // line ends go, CR too
        {"Hardware\t: BCM2708\nRevision\t: 0004\n", 1, ""},                 // Model B rev 2
        {"Hardware\t: BCM2709\nRevision\t: a01041\n", 1, "a01041"},         // Pi 2, new-style code
        {"Hardware\t: BCM2709\nRevision\t: a02082\nSerial\t: 0\n", 1, ""},  // Pi 3
        {"Hardware\t: BCM2708\nRevision\t: 0002 \n", 1, ""},  // a trailing blank stays: "002 "
        {"Revision\t: 0002\nHardware\t: BCM2708\n", 0, ""},   // order does not matter
        {"Hardware\t: BCM2708\nRevision\t: 0002\nRevision\t: 0004\n", 0, ""},  // the first counts
        {"Hardware\t: BCM2835\nRevision\t: a02082\n", -1,  // kernels from 4.9 on
         "Hardware \"BCM2835\" is neither BCM2708 nor BCM2709; wiringPi exits with \"Unable to "
         "determine hardware version\""},
        {"Revision\t: a02082\n", -1,  // arm64 kernels, and PCs
         "no \"Hardware\" line in /proc/cpuinfo; wiringPi exits with \"Unable to determine board "
         "revision from /proc/cpuinfo\""},
        {"hardware\t: BCM2709\nRevision\t: a02082\n", -1, "no \"Hardware\" line"},
        {"Hardware\t: BCM2709\n", -1, "no \"Revision\" line"},
        {"Hardware\t: BCM2709\nRevision\t: beta\n", -1, "holds no digit"},
        {"Hardware\t: BCM2709\nRevision\t: a22\n", -1, "shorter than four"},
    };
    for (const auto& c : cases) {
        const wiringpi::board b = identify_text(head + c.cpuinfo);
        EXPECT_EQ(b.identified, c.bus >= 0) << c.cpuinfo;
        EXPECT_EQ(b.bus, c.bus) << c.cpuinfo;
        EXPECT_NE(std::string(c.bus >= 0 ? b.revision : b.why).find(c.said), std::string::npos)
            << c.cpuinfo << " gave: " << b.revision << b.why;
    }
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

}  // namespace
