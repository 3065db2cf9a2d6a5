// What the doctor learns of a Linux board outside the four calls: the bus the build's backend
// talks on (wiringPi picks its own), the board's revision, the /dev/i2c-* that exist, and the
// kernel device sysfs shows at an address (i2c-dev refuses an address a device holds: EBUSY).

// 64-bit directory offsets and inode numbers on a 32-bit board too: readdir() of the 32-bit
// interface fails (EOVERFLOW) on a file system that hands out larger ones.
// NOLINTNEXTLINE(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp): glibc's own switch
#define _FILE_OFFSET_BITS 64

#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "board_bus.hpp"
#include "compass/core/hmc5883l.hpp"
#include "compass/core/mpu6050.hpp"
#include "doctor.hpp"
#include "i2cdev/calls.hpp"

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

// The board's revision from one source: a code, none there, or something unreadable or junk.
struct revision {
    enum { none, value, junk } state = none;
    unsigned long code = 0;
    char text[128] = "";  // for the report
};

// text as a message may show it: printable, at most size - 1 bytes.
void printable(char* out, std::size_t size, const char* text) {
    std::size_t i = 0;
    for (; text[i] != '\0' && i + 1 < size; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        out[i] = c < 0x20 || c >= 0x7F ? '?' : static_cast<char>(c);
    }
    out[i] = '\0';
}

// The device tree's linux,revision: four bytes, most significant first.
revision device_tree_revision() {
    revision r;
    constexpr const char* path = "/proc/device-tree/system/linux,revision";
    std::FILE* f = std::fopen(KIT_SYSTEM_ROOT "/proc/device-tree/system/linux,revision", "rb");
    if (f == nullptr) {
        if (errno == ENOENT || errno == ENOTDIR) {
            (void)std::snprintf(r.text, sizeof r.text, "none in the device tree");
        } else {
            r.state = revision::junk;
            (void)std::snprintf(r.text, sizeof r.text, "%s cannot be read: %s", path,
                                std::strerror(errno));
        }
        return r;
    }
    unsigned char b[5] = {};
    const std::size_t n = std::fread(b, 1, sizeof b, f);
    (void)std::fclose(f);
    if (n != 4) {
        r.state = revision::junk;
        (void)std::snprintf(r.text, sizeof r.text, "%s holds %s%zu bytes, not 4", path,
                            n > 4 ? "more than " : "", n > 4 ? std::size_t{4} : n);
        return r;
    }
    r.state = revision::value;
    r.code = static_cast<unsigned long>(b[0]) << 24U | static_cast<unsigned long>(b[1]) << 16U |
             static_cast<unsigned long>(b[2]) << 8U | b[3];
    (void)std::snprintf(r.text, sizeof r.text, "%04lx in the device tree", r.code);
    return r;
}

// The first "Revision" line of /proc/cpuinfo: a hexadecimal code of up to eight digits.
revision cpuinfo_revision() {
    revision r;
    std::FILE* f = std::fopen(KIT_SYSTEM_ROOT "/proc/cpuinfo", "r");
    if (f == nullptr) {
        r.state = revision::junk;
        (void)std::snprintf(r.text, sizeof r.text, "/proc/cpuinfo cannot be read: %s",
                            std::strerror(errno));
        return r;
    }
    char line[128];
    bool line_start = true;  // a longer line comes in pieces: only a line's first one counts
    bool found = false;
    bool whole = true;
    while (!found && std::fgets(line, sizeof line, f) != nullptr) {
        whole = std::strchr(line, '\n') != nullptr || std::feof(f) != 0;
        found = line_start && std::strncmp(line, "Revision", 8) == 0;
        line_start = whole;
    }
    (void)std::fclose(f);
    if (!found) {
        (void)std::snprintf(r.text, sizeof r.text, "no Revision line in /proc/cpuinfo");
        return r;
    }
    r.state = revision::junk;
    if (!whole) {  // no code of eight digits makes a line that long
        (void)std::snprintf(r.text, sizeof r.text,
                            "/proc/cpuinfo's Revision line is over-long, no revision code");
        return r;
    }
    line[std::strcspn(line, "\r\n")] = '\0';
    const char* v = line + 8;
    v += std::strspn(v, " \t");
    v += *v == ':' ? 1 : 0;
    v += std::strspn(v, " \t");
    const std::size_t digits = std::strspn(v, "0123456789abcdefABCDEF");
    if (digits == 0 || digits > 8 || v[digits + std::strspn(v + digits, " \t")] != '\0') {
        char shown[32];
        printable(shown, sizeof shown, v);
        (void)std::snprintf(r.text, sizeof r.text,
                            "/proc/cpuinfo's Revision line holds \"%s\", no revision code", shown);
        return r;
    }
    r.state = revision::value;
    r.code = std::strtoul(v, nullptr, 16);
    (void)std::snprintf(r.text, sizeof r.text, "%04lx in /proc/cpuinfo", r.code);
    return r;
}

}  // namespace

const char* bus_name() {
    return tool::pick_bus().path;
}

choice bus_choice(char* what, std::size_t size) {
    const tool::bus_pick& pick = tool::pick_bus();
    (void)std::snprintf(what, size, "%s", pick.what);
    switch (pick.how) {
        case tool::bus_pick::kind::fixed:
            return choice::fixed;
        case tool::bus_pick::kind::chosen:
            return choice::chosen;
        default:
            return choice::unchosen;
    }
}

bool board_revision(char* what, std::size_t size) {
    const revision dt = device_tree_revision();
    const revision cpu = cpuinfo_revision();
    if (dt.state == revision::value && cpu.state == revision::value) {
        if (dt.code == cpu.code) {
            (void)std::snprintf(what, size, "%04lx (device tree and /proc/cpuinfo)", dt.code);
            return true;
        }
        (void)std::snprintf(what, size,
                            "%04lx in the device tree, %04lx in /proc/cpuinfo: they differ",
                            dt.code, cpu.code);
        return false;
    }
    (void)std::snprintf(what, size, "%s; %s", dt.text, cpu.text);
    return dt.state != revision::junk && cpu.state != revision::junk &&
           (dt.state == revision::value || cpu.state == revision::value);
}

const char* rebuild_for_other_bus() {
    switch (tool::pick_bus().how) {
        case tool::bus_pick::kind::fixed:
            return "rebuild the kit with -DCOMPASS_I2C_BUS=N for another bus";
        case tool::bus_pick::kind::chosen:
            return "rebuild the kit with -DCOMPASS_BUS=i2cdev -DCOMPASS_I2C_BUS=N for another bus "
                   "(wiringPi picks its own from the board's revision)";
        default:
            return "rebuild the kit with -DCOMPASS_BUS=i2cdev -DCOMPASS_I2C_BUS=N for another bus";
    }
}

void parts_elsewhere(char* buf, std::size_t size) {
    buf[0] = '\0';
    if (tool::pick_bus().how != tool::bus_pick::kind::chosen) {
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
