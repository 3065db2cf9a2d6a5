// What the doctor learns of a Linux board outside the four calls: the /dev/i2c-* that exist, and
// the kernel device sysfs shows at an address (i2c-dev refuses an address a device holds: EBUSY).

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

#include "doctor.hpp"

#define KIT_STRINGIFY_(x) #x
#define KIT_STRINGIFY(x) KIT_STRINGIFY_(x)

// Where /dev and /sys are: the system's own, but a directory laid out like them for a test. The
// messages name the system's paths either way.
#ifndef KIT_SYSTEM_ROOT
#define KIT_SYSTEM_ROOT ""
#endif

namespace doctor::facts {
namespace {

constexpr int bus_number = KIT_I2C_BUS_NUMBER;
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

// The adapter behind the kit's /dev/i2c-N is the node's minor number: sysfs names the devices on it
// by that, which need not be N (a node made by hand, a renumbered bus).
int adapter_number() {
    char node[512];
    (void)std::snprintf(node, sizeof node, "%s%s", KIT_SYSTEM_ROOT, bus_name());
    struct stat st {};
    if (stat(node, &st) == 0 && S_ISCHR(st.st_mode)) {
        return static_cast<int>(minor(st.st_rdev));
    }
    return bus_number;
}

int by_number(const void* a, const void* b) {
    const int x = *static_cast<const int*>(a);
    const int y = *static_cast<const int*>(b);
    return (x > y) - (x < y);
}

}  // namespace

const char* bus_name() {
    return "/dev/i2c-" KIT_STRINGIFY(KIT_I2C_BUS_NUMBER);
}

void list_buses(char* buf, std::size_t size) {
    buf[0] = '\0';
    DIR* dev = opendir(KIT_SYSTEM_ROOT "/dev");
    if (dev == nullptr) {
        return;
    }
    int found[64] = {};
    std::size_t n = 0;
    while (const dirent* e = readdir(dev)) {
        char* end = nullptr;
        if (std::strncmp(e->d_name, "i2c-", 4) != 0 || n == sizeof found / sizeof found[0]) {
            continue;
        }
        const long v = std::strtol(e->d_name + 4, &end, 10);
        if (end != e->d_name + 4 && *end == '\0' && v >= 0 && v < 1048576) {
            found[n++] = static_cast<int>(v);
        }
    }
    (void)closedir(dev);
    std::qsort(found, n, sizeof found[0], by_number);
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
