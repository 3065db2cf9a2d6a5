// What the doctor learns of a Linux board outside the four calls: the bus the build's backend
// talks on (wiringPi picks its own), the /dev/i2c-* that exist, and the kernel device sysfs shows
// at an address (i2c-dev refuses an address a device holds: EBUSY).

// 64-bit directory offsets and inode numbers on a 32-bit board too: readdir() of the 32-bit
// interface fails (EOVERFLOW) on a file system that hands out larger ones.
// NOLINTNEXTLINE(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp): glibc's own switch
#define _FILE_OFFSET_BITS 64

#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "board_bus.hpp"
#include "compass/core/hmc5883l.hpp"
#include "compass/core/mpu6050.hpp"
#include "doctor.hpp"
#include "i2cdev/calls.hpp"
#include "wiringpi_board.hpp"

// Where /dev, /proc and /sys are: the system's own, but a directory laid out like them for a test.
// The messages name the system's paths either way.
#ifndef KIT_SYSTEM_ROOT
#define KIT_SYSTEM_ROOT ""
#endif

namespace doctor::facts {
namespace {

constexpr std::size_t max_buses = 64;
constexpr const char* devices_dir = "/sys/bus/i2c/devices/";

// The first line of a sysfs attribute, without its newline; false when it cannot be read.
bool read_line(const char* path, char* buf, std::size_t size) {
    std::FILE* f = std::fopen(path, "r");
    if (f == nullptr) {
        return false;
    }
    const bool ok = std::fgets(buf, static_cast<int>(size), f) != nullptr;
    (void)std::fclose(f);
    if (ok) {
        buf[std::strcspn(buf, "\n")] = '\0';
    }
    return ok;
}

// The adapter behind a /dev/i2c-N node is its minor number, which need not be N (a node made by
// hand, a renumbered bus); -1 when there is no such character device.
int node_adapter(const char* bus) {
    char node[512];
    (void)std::snprintf(node, sizeof node, "%s%s", KIT_SYSTEM_ROOT, bus);
    struct stat st {};
    if (stat(node, &st) == 0 && S_ISCHR(st.st_mode)) {
        return static_cast<int>(minor(st.st_rdev));
    }
    return -1;
}

// The adapter behind the kit's /dev/i2c-N: sysfs names the devices on it by that number.
int adapter_number() {
    const int adapter = node_adapter(bus_name());
    return adapter >= 0
               ? adapter
               : static_cast<int>(std::strtol(bus_name() + std::strlen("/dev/i2c-"), nullptr, 10));
}

int by_number(const void* a, const void* b) {
    const int x = *static_cast<const int*>(a);
    const int y = *static_cast<const int*>(b);
    return (x > y) - (x < y);
}

// The numbers N of the /dev/i2c-N that exist, in order; how many.
std::size_t find_buses(int (&found)[max_buses]) {
    DIR* dev = opendir(KIT_SYSTEM_ROOT "/dev");
    if (dev == nullptr) {
        return 0;
    }
    std::size_t n = 0;
    while (const dirent* e = readdir(dev)) {
        char* end = nullptr;
        if (std::strncmp(e->d_name, "i2c-", 4) != 0 || n == max_buses) {
            continue;
        }
        const long v = std::strtol(e->d_name + 4, &end, 10);
        if (end != e->d_name + 4 && *end == '\0' && v >= 0 && v < 1048576) {
            found[n++] = static_cast<int>(v);
        }
    }
    (void)closedir(dev);
    std::qsort(found, n, sizeof found[0], by_number);
    return n;
}

// Whether the part at addr on bus identifies itself as id_reg reading one of ids (reads only).
bool answers(const char* bus, int addr, int id_reg, std::initializer_list<int> ids) {
    const int fd = i2cdev::open_device(bus, addr);
    if (fd < 0) {
        return false;
    }
    const int id = i2cdev::read_reg8(fd, id_reg);
    (void)close(fd);
    for (const int v : ids) {
        if (v == id) {
            return true;
        }
    }
    return false;
}

}  // namespace

const char* bus_name() {
    // Decided once: wiringPi reads the board's revision once too.
    static char name[32] = "";
    if (name[0] == '\0') {
        char why[8];
        if (!tool::program_bus(name, sizeof name, why, sizeof why)) {
            (void)std::snprintf(name, sizeof name, "no bus");
        }
    }
    return name;
}

choice bus_choice(char* what, std::size_t size) {
    char path[32];
    if (!tool::program_bus(path, sizeof path, what, size)) {
        return choice::unchosen;
    }
    if (KIT_BUS_WIRINGPI == 0) {
        (void)std::snprintf(what, size, "%s, as the kit was built", path);
        return choice::fixed;
    }
    const wiringpi::board b = wiringpi::identify_file(KIT_SYSTEM_ROOT "/proc/cpuinfo");
    (void)std::snprintf(what, size, "board revision %s: wiringPi opens %s", b.revision, path);
    return choice::chosen;
}

const char* rebuild_for_other_bus() {
    return KIT_BUS_WIRINGPI != 0
               ? "rebuild the kit with -DCOMPASS_BUS=i2cdev -DCOMPASS_I2C_BUS=N for another bus "
                 "(wiringPi picks its own from the board's revision)"
               : "rebuild the kit with -DCOMPASS_I2C_BUS=N for another bus";
}

void parts_elsewhere(char* buf, std::size_t size) {
    buf[0] = '\0';
    if (KIT_BUS_WIRINGPI == 0) {
        return;
    }
    int found[max_buses] = {};
    const std::size_t n = find_buses(found);
    // Another node of the kit's own adapter is no other bus.
    const int own = node_adapter(bus_name());
    std::size_t used = 0;
    for (std::size_t i = 0; i < n && used < size; ++i) {
        char bus[32];
        (void)std::snprintf(bus, sizeof bus, "/dev/i2c-%d", found[i]);
        if (own >= 0 && node_adapter(bus) == own) {
            continue;
        }
        const bool mpu = answers(bus, mpu6050::ADDRESS, mpu6050::WHO_AM_I,
                                 {mpu6050::WHO_AM_I_VALUE, mpu6050::WHO_AM_I_MPU6500,
                                  mpu6050::WHO_AM_I_MPU9250, mpu6050::WHO_AM_I_MPU9255});
        const bool hmc = answers(bus, hmc5883l::ADDRESS, hmc5883l::IRA, {hmc5883l::IRA_VALUE});
        if (std::strcmp(bus, bus_name()) == 0 || (!mpu && !hmc)) {
            continue;
        }
        const int w =
            std::snprintf(buf + used, size - used, "%s%s (%s%s%s)", used == 0 ? "" : ", ", bus,
                          mpu ? "0x68" : "", mpu && hmc ? " " : "", hmc ? "0x1E" : "");
        used += w > 0 ? static_cast<std::size_t>(w) : 0;
    }
}

void list_buses(char* buf, std::size_t size) {
    buf[0] = '\0';
    int found[max_buses] = {};
    const std::size_t n = find_buses(found);
    std::size_t used = 0;
    for (std::size_t i = 0; i < n && used < size; ++i) {
        const int w =
            std::snprintf(buf + used, size - used, "%s/dev/i2c-%d", i == 0 ? "" : " ", found[i]);
        used += w > 0 ? static_cast<std::size_t>(w) : 0;
    }
}

bool holder(int addr, char* who, std::size_t who_size, char* fix, std::size_t fix_size) {
    const int adapter = adapter_number();
    char device[32];  // as sysfs names it: adapter-address
    char path[512];
    char name[64] = "";
    (void)std::snprintf(device, sizeof device, "%d-%04x", adapter, addr);
    (void)std::snprintf(path, sizeof path, "%s%s%s/name", KIT_SYSTEM_ROOT, devices_dir, device);
    if (!read_line(path, name, sizeof name)) {
        return false;
    }
    char link[256];
    (void)std::snprintf(path, sizeof path, "%s%s%s/driver", KIT_SYSTEM_ROOT, devices_dir, device);
    const ssize_t n = readlink(path, link, sizeof link - 1);
    if (n > 0) {
        link[n] = '\0';
        const char* slash = std::strrchr(link, '/');
        const char* driver = slash != nullptr ? slash + 1 : link;
        (void)std::snprintf(who, who_size, "%s (%s, driver %s)", device, name, driver);
        (void)std::snprintf(fix, fix_size,
                            "unbind it (echo %s | sudo tee /sys/bus/i2c/drivers/%s/unbind) or drop "
                            "the device-tree overlay that declares it",
                            device, driver);
    } else {
        (void)std::snprintf(who, who_size, "%s (%s, no driver bound)", device, name);
        (void)std::snprintf(fix, fix_size,
                            "delete it (echo 0x%02x | sudo tee /sys/bus/i2c/devices/i2c-%d/"
                            "delete_device) or drop the device-tree overlay that declares it",
                            addr, adapter);
    }
    return true;
}

bool simulate(const char* /*scene*/) {
    return false;
}

const char* scene_name(std::size_t /*i*/) {
    return nullptr;
}

}  // namespace doctor::facts
