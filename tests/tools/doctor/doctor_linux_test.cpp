// compass-doctor's Linux facts on a directory laid out as /dev, /proc and /sys: the buses it lists,
// the kernel device it names at an address i2c-dev refuses, on the adapter the bus node's minor
// number gives, the board's revision, and other buses where the parts answer when wiringPi picked
// the bus. The bus calls are the simulated board's, which refuses the address (EBUSY); the other
// buses are the i2c-dev backend's fake kernel side, where every register reads the same byte.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>

#include "board_bus.hpp"
#include "doctor.hpp"
#include "fake_i2c_dev.h"
#include "sim/board.hpp"

// The program's bus as the test sets it: picked at build time, or by wiringPi.
tool::bus_pick test_pick;

const tool::bus_pick& tool::pick_bus() {
    return test_pick;
}

namespace {

namespace fs = std::filesystem;

void pick(tool::bus_pick::kind how) {
    test_pick = tool::bus_pick{how, "/dev/i2c-1", "/dev/i2c-1, as the test says"};
}

// The test's /: its /dev/i2c-1 is /dev/null, character device 1:3, so the bus is adapter 3; so is
// /dev/i2c-4, another node of it. /dev/i2c-3 and /dev/i2c-10 are adapters 5 and 7.
void lay_out_system(const fs::path& root) {
    fs::remove_all(root);
    fs::create_directories(root / "dev");
    fs::create_directories(root / "proc");
    const struct {
        const char* node;
        const char* device;
    } links[] = {{"i2c-1", "/dev/null"},
                 {"i2c-4", "/dev/null"},
                 {"i2c-3", "/dev/zero"},
                 {"i2c-10", "/dev/full"}};
    for (const auto& l : links) {
        fs::create_symlink(l.device, root / "dev" / l.node);
    }
    for (const char* other : {"i2c-x", "null"}) {
        std::ofstream(root / "dev" / other).put('\n');
    }
    const fs::path devices = root / "sys/bus/i2c/devices";
    const struct {
        const char* device;
        const char* name;
        const char* driver;  // nullptr: none bound
    } nodes[] = {
        {"3-0068", "mpu6050", "inv-mpu6050-i2c"},
        {"3-001e", "hmc5883l", nullptr},
        {"1-000c", "ak8975", "ak8975"},  // on adapter 1, not the bus's
    };
    for (const auto& n : nodes) {
        fs::create_directories(devices / n.device);
        std::ofstream(devices / n.device / "name") << n.name << '\n';
        if (n.driver != nullptr) {
            fs::create_directory_symlink(std::string("../../../../bus/i2c/drivers/") + n.driver,
                                         devices / n.device / "driver");
        }
    }
}

// The doctor's report; its exit status in *status when asked for.
std::string run_doctor(int* status = nullptr) {
    char* buf = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&buf, &size);
    const int s = doctor::run(out);
    (void)std::fclose(out);
    std::string r(buf, size);
    std::free(buf);
    if (status != nullptr) {
        *status = s;
    }
    return r;
}

TEST(DoctorOnLinux, NamesTheKernelDeviceOnTheBusAdapter) {
    lay_out_system(DOCTOR_TEST_SYSTEM_ROOT);
    pick(tool::bus_pick::kind::fixed);
    char buses[128] = "";
    doctor::facts::list_buses(buses, sizeof buses);
    EXPECT_STREQ(buses, "/dev/i2c-1 /dev/i2c-3 /dev/i2c-4 /dev/i2c-10");

    const struct {
        const char* name;
        void (*set)();
        const char* finding;
    } cases[] = {
        {"driver_bound", [] { sim::board().kernel_driver(0x68); },
         "\nfail  0x68: held by the kernel device 3-0068 \\(mpu6050, driver inv-mpu6050-i2c\\); "
         "unbind it \\(echo 3-0068 \\| sudo tee /sys/bus/i2c/drivers/inv-mpu6050-i2c/unbind\\) or "
         "drop the device-tree overlay that declares it\n"},
        {"no_driver", [] { sim::board().kernel_driver(0x1E); },
         "\nfail  0x1E: held by the kernel device 3-001e \\(hmc5883l, no driver bound\\); "
         "delete it \\(echo 0x1e \\| sudo tee /sys/bus/i2c/devices/i2c-3/delete_device\\) or "
         "drop the device-tree overlay that declares it\n"},
        {"other_adapter", [] { sim::board().kernel_driver(0x0C); },
         "\nfail  0x0C: held by a kernel driver \\(i2cdetect shows UU\\); unbind it"},
        {"no_bus", [] { sim::board().bus_missing(); },
         "^fail  bus: /dev/i2c-1 does not exist \\(I2C buses here: /dev/i2c-1 /dev/i2c-3 "
         "/dev/i2c-4 /dev/i2c-10\\)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim::board().reset().noise(0.2);
        c.set();
        const std::string out = run_doctor();
        EXPECT_TRUE(std::regex_search(out, std::regex(c.finding, std::regex::extended))) << out;
    }
}

// Where wiringPi picked a bus the parts do not answer on, the doctor names the other adapters where
// they do: not another node of the picked one, and nothing on a bus fixed at build time.
TEST(DoctorOnLinux, NamesOtherAdaptersWhereThePartsAnswerWhenWiringPiPicked) {
    lay_out_system(DOCTOR_TEST_SYSTEM_ROOT);
    const std::string elsewhere =
        "\nfail  the kit's parts answer on /dev/i2c-3 (0x68), /dev/i2c-10 (0x68), not on "
        "/dev/i2c-1, the bus wiringPi opens: rebuild the kit with -DCOMPASS_BUS=i2cdev";
    for (const auto how : {tool::bus_pick::kind::chosen, tool::bus_pick::kind::fixed}) {
        SCOPED_TRACE(how == tool::bus_pick::kind::chosen ? "chosen" : "fixed");
        pick(how);
        fake_reset();
        fake.read_byte = 0x68;  // an MPU-6050's WHO_AM_I, on every other bus
        sim::board().reset().bus_missing();
        const std::string out = run_doctor();
        EXPECT_EQ(out.find(elsewhere) != std::string::npos, how == tool::bus_pick::kind::chosen)
            << out;
        EXPECT_EQ(fake_ndevices, 0);
    }
    fake_reset();
}

// On a board wiringPi refuses, the parts are still looked for, on the configured bus, and found to
// work there; the kit as built does not, and the verdict and the exit status say so.
TEST(DoctorOnLinux, OnABoardWiringPiRefusesLooksAtTheConfiguredBusAndStillFails) {
    lay_out_system(DOCTOR_TEST_SYSTEM_ROOT);
    std::ofstream(fs::path(DOCTOR_TEST_SYSTEM_ROOT) / "proc/cpuinfo") << "Revision\t: c03111\n";
    test_pick = tool::bus_pick{tool::bus_pick::kind::refused, "/dev/i2c-1", "wiringPi says no"};
    sim::board().reset().noise(0.2);
    int status = 0;
    const std::string out = run_doctor(&status);
    EXPECT_EQ(out.rfind("fail  bus: wiringPi says no\n"
                        "ok    board revision: none in the device tree; c03111 in /proc/cpuinfo\n"
                        "warn  bus: looking at /dev/i2c-1 instead, the bus a -DCOMPASS_BUS=i2cdev "
                        "build opens (COMPASS_I2C_BUS)\n"
                        "ok    bus: /dev/i2c-1 opens for reading and writing\n",
                        0),
              0U)
        << out;
    EXPECT_NE(
        out.find("\nfail  verdict: neither module can work as built: wiringPi opens no bus on "
                 "this board; rebuilt with -DCOMPASS_BUS=i2cdev, use bypassmag ("),
        std::string::npos)
        << out;
    EXPECT_EQ(status, 1);
}

// The revision the doctor shows beside wiringPi's answer: the device tree's four bytes, most
// significant first, and the Revision line, each as found.
TEST(DoctorOnLinux, ShowsTheBoardRevisionFromTheDeviceTreeAndFromCpuinfo) {
    const fs::path proc = fs::path(DOCTOR_TEST_SYSTEM_ROOT) / "proc";
    const std::string pi4 = "processor\t: 0\nRevision\t: c03111\nSerial\t\t: 1\n";
    const struct {
        const char* tree;  // the four bytes; nullptr: no file
        std::size_t tree_size;
        std::string cpuinfo;  // empty: no file
        bool plain;
        const char* said;
    } cases[] = {
        {"\x00\xc0\x31\x11", 4, pi4, true, "c03111 (device tree and /proc/cpuinfo)"},
        {"\x00\xa0\x20\x82", 4, pi4, false,
         "a02082 in the device tree, c03111 in /proc/cpuinfo: they differ"},
        {"\x00\xd0\x41\x70", 4, "processor\t: 0\n", true,
         "d04170 in the device tree; no Revision line in /proc/cpuinfo"},
        {nullptr, 0, "Revision\t: 0002\n", true, "none in the device tree; 0002 in /proc/cpuinfo"},
        {"\x00\x00\x00\x02\x00", 5, "", false,
         "/proc/device-tree/system/linux,revision holds more than 4 bytes, not 4; "
         "/proc/cpuinfo cannot be read: No such file or directory"},
        {nullptr, 0, "Revision\t: be\x1bta\n", false,
         "none in the device tree; /proc/cpuinfo's Revision line holds \"be?ta\", no revision "
         "code"},
        {nullptr, 0, "Revision\t: " + std::string(200, '0') + "\n", false,
         "none in the device tree; /proc/cpuinfo's Revision line is over-long, no revision code"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.said);
        fs::remove_all(proc);
        fs::create_directories(proc / "device-tree/system");
        if (c.tree != nullptr) {
            std::ofstream(proc / "device-tree/system/linux,revision", std::ios::binary)
                .write(c.tree, static_cast<std::streamsize>(c.tree_size));
        }
        if (!c.cpuinfo.empty()) {
            std::ofstream(proc / "cpuinfo") << c.cpuinfo;
        }
        char said[256] = "";
        EXPECT_EQ(doctor::facts::board_revision(said, sizeof said), c.plain);
        EXPECT_STREQ(said, c.said);
    }
}

}  // namespace
