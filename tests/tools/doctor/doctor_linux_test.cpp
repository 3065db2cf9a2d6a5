// compass-doctor's Linux facts on a directory laid out as /dev and /sys: the buses it lists, and
// the kernel device it names at an address i2c-dev refuses, on the adapter the bus node's minor
// number gives. The bus calls are the simulated board's, which refuses the address (EBUSY).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>

#include "doctor.hpp"
#include "sim/board.hpp"

namespace {

namespace fs = std::filesystem;

// The test's /: its /dev/i2c-1 is /dev/null, character device 1:3, so the bus is adapter 3.
void lay_out_system(const fs::path& root) {
    fs::remove_all(root);
    fs::create_directories(root / "dev");
    fs::create_symlink("/dev/null", root / "dev/i2c-1");
    for (const char* other : {"i2c-10", "i2c-3", "i2c-x", "null"}) {
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

std::string run_doctor() {
    char* buf = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&buf, &size);
    (void)doctor::run(out);
    (void)std::fclose(out);
    std::string r(buf, size);
    std::free(buf);
    return r;
}

TEST(DoctorOnLinux, NamesTheKernelDeviceOnTheBusAdapter) {
    lay_out_system(DOCTOR_TEST_SYSTEM_ROOT);
    char buses[128] = "";
    doctor::facts::list_buses(buses, sizeof buses);
    EXPECT_STREQ(buses, "/dev/i2c-1 /dev/i2c-3 /dev/i2c-10");

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
         "/dev/i2c-10\\)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim::board().reset().noise(0.2);
        c.set();
        const std::string out = run_doctor();
        EXPECT_TRUE(std::regex_search(out, std::regex(c.finding, std::regex::extended))) << out;
    }
}

}  // namespace
