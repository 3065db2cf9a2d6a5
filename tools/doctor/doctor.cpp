// compass-doctor's checks. Reads are free; writes go only to a part that identified itself as the
// part they are for, and are exactly the ones the modules send (their own sequences, from
// compass_core): never a write to an unknown device, never a reset to an unidentified 0x68.
#include "doctor.hpp"

#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <initializer_list>

#include "compass/core/ak8975.hpp"
#include "compass/core/heading.hpp"
#include "compass/core/hmc5883l.hpp"
#include "compass/core/mpu6050.hpp"
#include "compass/core/parts.hpp"
#include "compass/core/qmc5883.hpp"
#include "i2cbus/bus.h"

#ifndef COMPASS_BYPASSMAG_OFFSET_X
#error "the build defines the modules' offsets (COMPASS_OFFSET_DEFINITIONS)"
#endif

namespace doctor {
namespace {

namespace core = compass::core;

// The Earth's field at the surface lies between about 25 and 65 uT.
constexpr double earth_min_ut = 25.0;
constexpr double earth_max_ut = 65.0;

enum class level { ok, warn, fail };

// One line per finding: "ok    ", "warn  " or "fail  ", then what was seen and what to do.
void say(std::FILE* out, level l, const char* format, ...) __attribute__((format(printf, 3, 4)));
void say(std::FILE* out, level l, const char* format, ...) {
    static constexpr const char* labels[] = {"ok    ", "warn  ", "fail  "};
    (void)std::fputs(labels[static_cast<std::size_t>(l)], out);
    va_list args;
    va_start(args, format);
    // va_start is right above; clang 14's analyser loses it in some runs.
    // NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized)
    (void)std::vfprintf(out, format, args);
    va_end(args);
    (void)std::fputc('\n', out);
}

// A finding about the part at addr: "0xAA: " before what was seen.
void say_at(std::FILE* out, level l, int addr, const char* format, ...)
    __attribute__((format(printf, 4, 5)));
void say_at(std::FILE* out, level l, int addr, const char* format, ...) {
    char what[320];
    va_list args;
    va_start(args, format);
    // NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized): as in say()
    (void)std::vsnprintf(what, sizeof what, format, args);
    va_end(args);
    say(out, l, "0x%02X: %s", addr, what);
}

// One register read; -1 when the part does not answer.
int read_at(int fd, int reg) {
    return fd < 0 ? -1 : wiringPiI2CReadReg8(fd, reg);
}

// A status register's ready bit: 1 set, 0 clear, -1 when the register does not read (a failed
// read is -1, every bit set: it must not pass for a ready part).
int ready(int fd, int reg, int bit) {
    const int v = read_at(fd, reg);
    return v < 0 ? -1 : static_cast<int>((v & bit) != 0);
}

// What one module can make of the board, for the verdict.
struct outcome {
    bool usable = false;
    char part[96] = "";    // what it drives, for the verdict: "HMC5883L at 0x1E"
    char reason[96] = "";  // why not, for the verdict
};

void set(char (&field)[96], const char* format, ...) __attribute__((format(printf, 2, 3)));
void set(char (&field)[96], const char* format, ...) {
    va_list args;
    va_start(args, format);
    // NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized): as in say()
    (void)std::vsnprintf(field, sizeof field, format, args);
    va_end(args);
}

// An address that could not be opened on a usable bus: mostly one a kernel driver holds (EBUSY);
// name the device and how to free it.
void report_held(std::FILE* out, int addr, int err) {
    char who[160] = "";
    char fix[256] = "";
    if (err != EBUSY) {
        say_at(out, level::fail, addr, "cannot be opened: %s", std::strerror(err));
    } else if (facts::holder(addr, who, sizeof who, fix, sizeof fix)) {
        say_at(out, level::fail, addr, "held by the kernel device %s; %s", who, fix);
    } else {
        say(out, level::fail,
            "0x%02X: held by a kernel driver (i2cdetect shows UU); unbind it or drop the "
            "device-tree overlay that declares it",
            addr);
    }
}

// False, once said, when the part at addr did not open; the verdict then names the address.
bool opened(std::FILE* out, int addr, const core::handle& h, outcome& o) {
    if (h.fd < 0) {
        report_held(out, addr, h.error);
        set(o.reason, "0x%02X is held by a kernel driver", addr);
    }
    return h.fd >= 0;
}

// The field's magnitude against the Earth's; marks the module usable when it fits.
void judge_field(std::FILE* out, int addr, double x, double y, double z, const char* what,
                 outcome& o) {
    const double field = std::sqrt(x * x + y * y + z * z);
    if (field < earth_min_ut || field > earth_max_ut) {
        say(out, level::fail,
            "0x%02X: field %.0f uT after the build's offsets, the Earth's is 25-65 uT: a magnet or "
            "steel near the sensor, or offsets that do not fit this board (compass-calibrate)",
            addr, field);
        set(o.reason, "%s sees no plausible field", what);
        return;
    }
    say_at(out, level::ok, addr, "field %.0f uT, as the Earth's", field);
    o.usable = true;
}

// --- The bus -----------------------------------------------------------------------------------

// False when the bus itself cannot be used; says why and what to do.
bool check_bus(std::FILE* out, const core::handle& h) {
    const char* bus = facts::bus_name();
    if (h.fd >= 0 || h.error == EBUSY) {
        say(out, level::ok, "bus: %s opens for reading and writing", bus);
        return true;
    }
    if (h.error == ENOENT) {
        char list[256] = "";
        facts::list_buses(list, sizeof list);
        say(out, level::fail,
            "bus: %s does not exist (I2C buses here: %s); enable I2C (on a Raspberry Pi: "
            "dtparam=i2c_arm=on, or raspi-config), load i2c-dev (sudo modprobe i2c-dev), or %s",
            bus, list[0] != '\0' ? list : "none", facts::rebuild_for_other_bus());
    } else if (h.error == EACCES || h.error == EPERM) {
        say(out, level::fail,
            "bus: %s: permission denied; add yourself to the i2c group (sudo adduser $USER i2c) "
            "and log in again",
            bus);
    } else {
        say(out, level::fail, "bus: %s: %s", bus, std::strerror(h.error));
    }
    return false;
}

// --- The motion sensor and the magnetometer behind its bypass ------------------------------------

struct motion_part {
    const char* name;
    int who;
    bool has_magnetometer;  // behind the bypass
    bool ak8963;            // which one: AK8963 (0.6 uT per count) rather than AK8975
};

// WHO_AM_I values of the InvenSense parts that share the MPU-6050's bypass registers.
constexpr motion_part motion_parts[] = {
    {"MPU-6050/9150", mpu6050::WHO_AM_I_VALUE, true, false},
    {"MPU-6500", mpu6050::WHO_AM_I_MPU6500, false, false},
    {"MPU-9250", mpu6050::WHO_AM_I_MPU9250, true, true},
    {"MPU-9255", mpu6050::WHO_AM_I_MPU9255, true, true},
};

const motion_part* identify_motion(int who) {
    for (const motion_part& p : motion_parts) {
        if (p.who == who) {
            return &p;
        }
    }
    return nullptr;
}

// Looks at 0x68 (as bypassmag's set-up opened and asked it) and 0x69; returns the part at 0x68.
const motion_part* check_motion(std::FILE* out, const core::part& mpu) {
    const motion_part* part = nullptr;
    if (mpu.fd < 0) {
        report_held(out, mpu6050::ADDRESS, mpu.error);
    } else {
        const int who = mpu.id;
        part = identify_motion(who);
        if (who < 0) {
            say_at(out, level::warn, mpu6050::ADDRESS,
                   "no device answers (no motion sensor where bypassmag looks)");
        } else if (part == nullptr) {
            say_at(out, level::fail, mpu6050::ADDRESS,
                   "a device answers, WHO_AM_I (0x75) reads 0x%02X: no motion sensor the kit "
                   "knows (an RTC such as a DS3231 also sits at 0x68); left alone",
                   who);
        } else if (part->who == mpu6050::WHO_AM_I_VALUE) {
            say_at(out, level::ok, mpu6050::ADDRESS, "%s (WHO_AM_I 0x%02X)", part->name, who);
        } else {
            say_at(out, level::warn, mpu6050::ADDRESS,
                   "%s (WHO_AM_I 0x%02X); bypassmag looks for 0x%02X and will not print "
                   "\"Found MPU.\"",
                   part->name, who, mpu6050::WHO_AM_I_VALUE);
        }
    }
    const core::handle alt = core::open_device(mpu6050::ADDRESS_AD0_HIGH);
    const motion_part* strapped = identify_motion(read_at(alt.fd, mpu6050::WHO_AM_I));
    if (strapped != nullptr) {
        say_at(out, level::warn, mpu6050::ADDRESS_AD0_HIGH,
               "%s strapped to 0x69 (AD0 high); bypassmag talks to 0x68: tie AD0 to ground",
               strapped->name);
    } else if (alt.fd < 0) {
        report_held(out, mpu6050::ADDRESS_AD0_HIGH, alt.error);
    } else {
        say_at(out, level::ok, mpu6050::ADDRESS_AD0_HIGH,
               "no motion sensor (AD0 low, as bypassmag expects)");
    }
    return part;
}

// The AK8975's single measurement as bypassmag starts it, timed against the 9 ms maximum; false
// when it is not ready in time.
bool measurement_ready(std::FILE* out, int fd, const char* name, outcome& o) {
    core::trigger_and_wait(fd);  // the module's trigger and its 8 ms
    unsigned waited = ak8975::MEASUREMENT_WAIT_MS;
    // Polled in 1 ms steps after the module's wait, up to twice the datasheet's maximum.
    for (int r = ready(fd, ak8975::ST1, ak8975::ST1_DRDY); r != 1;
         r = ready(fd, ak8975::ST1, ak8975::ST1_DRDY)) {
        if (r < 0) {
            say_at(out, level::fail, ak8975::ADDRESS, "the status register ST1 does not read: %s",
                   std::strerror(errno));
            set(o.reason, "the magnetometer behind the bypass does not read");
            return false;
        }
        if (waited >= 2 * ak8975::MEASUREMENT_MAX_MS) {
            say_at(out, level::fail, ak8975::ADDRESS,
                   "the %s's single measurement is not ready %u ms after the trigger (%u ms at "
                   "most): the part never measures",
                   name, waited, ak8975::MEASUREMENT_MAX_MS);
            set(o.reason, "the magnetometer behind the bypass never measures");
            return false;
        }
        delay(1);
        ++waited;
    }
    if (waited > ak8975::MEASUREMENT_MAX_MS) {
        say_at(out, level::fail, ak8975::ADDRESS,
               "measurement ready only after %u ms, beyond the part's %u ms maximum: a faulty part",
               waited, ak8975::MEASUREMENT_MAX_MS);
        set(o.reason, "the magnetometer behind the bypass measures too slowly");
        return false;
    }
    if (waited > ak8975::MEASUREMENT_WAIT_MS) {
        say_at(out, level::warn, ak8975::ADDRESS,
               "measurement ready only after %u ms; bypassmag reads at %u ms, when a slow part is "
               "still measuring (its X axis then reads 0)",
               waited, ak8975::MEASUREMENT_WAIT_MS);
    } else {
        say_at(out, level::ok, ak8975::ADDRESS,
               "single measurement ready within the module's %u ms", ak8975::MEASUREMENT_WAIT_MS);
    }
    return true;
}

// A measurement once it is ready, then the field it saw.
void measure_bypass(std::FILE* out, int fd, bool ak8963, outcome& o) {
    if (!measurement_ready(out, fd, ak8963 ? "AK8963" : "AK8975", o)) {
        return;
    }
    const core::axes counts = core::read_ak8975_counts(fd);
    const int read_error = errno;              // of the failed data read, if one failed
    const int st2 = read_at(fd, ak8975::ST2);  // also ends the read cycle
    if (!counts.ok) {
        say_at(out, level::fail, ak8975::ADDRESS, "a data register read failed: %s",
               std::strerror(read_error));
        set(o.reason, "the magnetometer behind the bypass does not read");
        return;
    }
    const int limit = ak8963 ? ak8975::AK8963_DATA_MAX : ak8975::DATA_MAX;
    bool saturated = st2 >= 0 && (st2 & ak8975::ST2_HOFL) != 0;
    for (const int c : {counts.x, counts.y, counts.z}) {
        saturated = saturated || c >= limit || c <= -limit;
    }
    if (saturated) {
        say_at(out, level::fail, ak8975::ADDRESS,
               "the field saturates the sensor (overflow): a magnet or steel near the board");
        set(o.reason, "the field saturates the magnetometer behind the bypass");
        return;
    }
    // The field less the build's hard-iron offsets, in uT at the part's own scale (the module
    // assumes the AK8975's 0.3 uT per count).
    const int ratio = ak8963 ? ak8975::AK8963_SCALE_RATIO : 1;
    const double x = compass::ak8975_microtesla(counts.x) * ratio - COMPASS_BYPASSMAG_OFFSET_X;
    const double y = compass::ak8975_microtesla(counts.y) * ratio - COMPASS_BYPASSMAG_OFFSET_Y;
    const double z = compass::ak8975_microtesla(counts.z) * ratio;
    judge_field(out, ak8975::ADDRESS, x, y, z, "the magnetometer behind the bypass", o);
}

// Without a known motion sensor that has a magnetometer there is no bypass to open (and
// bypassmag's reset would go to whatever sits at 0x68): only a look at 0x0C, no write.
void look_without_bypass(std::FILE* out, const motion_part* mpu, outcome& o) {
    const core::handle mag = core::open_device(ak8975::ADDRESS);
    if (!opened(out, ak8975::ADDRESS, mag, o)) {
        return;
    }
    if (mpu != nullptr) {
        say_at(out, level::fail, ak8975::ADDRESS, "an %s has no magnetometer behind its bypass",
               mpu->name);
        set(o.reason, "an %s has no magnetometer", mpu->name);
    } else {
        const int wia = read_at(mag.fd, ak8975::WIA);
        if (wia >= 0) {
            say_at(out, level::warn, ak8975::ADDRESS,
                   "a device answers (WIA 0x%02X) without a motion sensor in front", wia);
        } else {
            say_at(out, level::ok, ak8975::ADDRESS,
                   "no device answers (and no motion sensor to open a bypass)");
        }
        set(o.reason, "no motion sensor at 0x68");
    }
}

void check_bypass(std::FILE* out, int mpu_fd, const motion_part* mpu, outcome& o) {
    if (mpu == nullptr || !mpu->has_magnetometer) {
        look_without_bypass(out, mpu, o);
        return;
    }
    // The module's own set-up from the reset on: reset, pause, wake-up, bypass, open 0x0C, WIA.
    const core::part mag = core::open_behind_bypass(mpu_fd);
    if (!opened(out, ak8975::ADDRESS, mag, o)) {
        return;
    }
    if (mag.id < 0) {
        say_at(
            out, level::fail, ak8975::ADDRESS,
            "nothing answers behind the bypass after the module's reset, pause, wake-up and "
            "bypass: a board without magnetometer (an MPU-6050 on a GY-521), or the bypass did not "
            "open");
        set(o.reason, "nothing answers behind the bypass");
        return;
    }
    if (!mag.found) {
        say_at(out, level::fail, ak8975::ADDRESS,
               "a device answers, WIA (0x00) reads 0x%02X: not an AKM part", mag.id);
        set(o.reason, "the part at 0x0C is no AK8975");
        return;
    }
    const bool ak8963 = mpu->ak8963;
    say_at(out, level::ok, ak8975::ADDRESS, "%s behind the bypass (WIA 0x%02X)",
           ak8963 ? "AK8963" : "AK8975", mag.id);
    measure_bypass(out, mag.fd, ak8963, o);
    if (!o.usable) {
        return;
    }
    if (ak8963) {
        say(out, level::warn,
            "bypassmag: an AK8963 reads at half the scale (0.6 uT per count, the module assumes "
            "0.3): headings still work; take the offsets from compass-calibrate on this board");
    }
    set(o.part, "%s behind %s at 0x68", ak8963 ? "AK8963" : "AK8975", mpu->name);
}

// --- The stand-alone magnetometer ----------------------------------------------------------------

bool same(const core::axes& a, const core::axes& b) {
    return a.x == b.x && a.y == b.y && a.z == b.z;
}

// Waits for the next sample (RDY) at most `ms`, then reads it as the module does; false when none
// came.
bool next_sample(int fd, unsigned ms, core::axes& data) {
    for (unsigned waited = 0; ready(fd, hmc5883l::SR, hmc5883l::SR_RDY) != 1; ++waited) {
        if (waited >= ms) {
            return false;
        }
        delay(1);
    }
    data = core::read_hmc5883l(fd);
    return data.ok;
}

// Opens 0x1E and reads all three identification registers; the handle when they read 'H' '4' '3'.
int identify_standalone(std::FILE* out, outcome& o) {
    const core::handle h = core::open_device(hmc5883l::ADDRESS);
    if (!opened(out, hmc5883l::ADDRESS, h, o)) {
        return -1;
    }
    const int id[3] = {read_at(h.fd, hmc5883l::IRA), read_at(h.fd, hmc5883l::IRB),
                       read_at(h.fd, hmc5883l::IRC)};
    if (id[0] < 0) {
        say_at(out, level::warn, hmc5883l::ADDRESS,
               "no device answers (no HMC5883L where directmag looks)");
        set(o.reason, "no HMC5883L at 0x1E");
        return -1;
    }
    if (id[0] != hmc5883l::IRA_VALUE || id[1] != hmc5883l::IRB_VALUE ||
        id[2] != hmc5883l::IRC_VALUE) {
        say_at(out, level::fail, hmc5883l::ADDRESS,
               "a device answers, identification 0x%02X 0x%02X 0x%02X (an HMC5883L reads "
               "'H' '4' '3'); left alone",
               id[0] & 0xFF, id[1] & 0xFF, id[2] & 0xFF);
        set(o.reason, "the part at 0x1E is no HMC5883L");
        return -1;
    }
    say_at(out, level::ok, hmc5883l::ADDRESS, "HMC5883L (identification 'H' '4' '3')");
    return h.fd;
}

// Sets the part up as the module does and takes two fresh samples; false when it never measures.
bool two_samples(std::FILE* out, int fd, core::axes& first, core::axes& later, outcome& o) {
    core::configure_hmc5883l(fd);  // the module's configuration and continuous mode
    // The first sample lands within two output periods of the mode write; until then the data
    // registers may hold the power-up measurement, with RDY set. The sample after it proves the
    // part measures.
    delay(hmc5883l::FIRST_SAMPLE_WAIT_MS);
    const bool first_came = next_sample(fd, 1, first);
    if (first_came && next_sample(fd, hmc5883l::OUTPUT_PERIOD_MS, later)) {
        return true;
    }
    say_at(out, level::fail, hmc5883l::ADDRESS,
           "%s: the part never measures (an early QMC clone answers the HMC5883L "
           "identification and ignores its commands)",
           first_came ? "no second sample within an output period of the first"
                      : "no sample within two output periods of the mode write");
    set(o.reason, "the part at 0x1E never measures");
    return false;
}

void check_standalone(std::FILE* out, outcome& o) {
    const int fd = identify_standalone(out, o);
    core::axes first;
    core::axes counts;  // the later sample
    if (fd < 0 || !two_samples(out, fd, first, counts, o)) {
        return;
    }
    for (const int c : {counts.x, counts.y, counts.z}) {
        if (c == hmc5883l::DATA_OVERFLOW) {
            say_at(out, level::fail, hmc5883l::ADDRESS,
                   "the field saturates the sensor (-4096): a magnet or steel near the board");
            set(o.reason, "the field saturates the HMC5883L");
            return;
        }
    }
    // A live part's noise changes its counts; a third sample settles a rare tie.
    core::axes third;
    if (same(first, counts) &&
        (!next_sample(fd, hmc5883l::OUTPUT_PERIOD_MS, third) || same(first, third))) {
        say_at(out, level::fail, hmc5883l::ADDRESS,
               "samples arrive but their data never change: frozen readings, a part that does "
               "not measure");
        set(o.reason, "the readings at 0x1E are frozen");
        return;
    }
    // As the module sees it (less its offsets), at the power-on gain it keeps.
    const double per_ut = hmc5883l::POWER_ON_COUNTS_PER_GAUSS / 100.0;
    const double x = compass::remove_offset(counts.x, COMPASS_DIRECTMAG_OFFSET_X) / per_ut;
    const double y = compass::remove_offset(counts.y, COMPASS_DIRECTMAG_OFFSET_Y) / per_ut;
    const double z = counts.z / per_ut;
    judge_field(out, hmc5883l::ADDRESS, x, y, z, "the HMC5883L", o);
    if (o.usable) {
        set(o.part, "HMC5883L at 0x1E");
    }
}

// --- Look-alikes neither module drives ---------------------------------------------------------

// Reads the chip-ID register of a QST part; true when it is there.
bool check_qmc(std::FILE* out, int addr, int reg, int value, const char* name) {
    const core::handle h = core::open_device(addr);
    const int id = read_at(h.fd, reg);
    if (h.fd < 0) {
        report_held(out, addr, h.error);
    } else if (id == value) {
        say(out, level::warn,
            "0x%02X: %s (chip ID 0x%02X at 0x%02X), sold on HMC5883L breakouts (GY-271): neither "
            "module drives it",
            addr, name, id, reg);
        return true;
    } else if (id >= 0) {
        say_at(out, level::warn, addr, "a device answers, 0x%02X reads 0x%02X: not a %s", reg, id,
               name);
    } else {
        say_at(out, level::ok, addr, "no device answers (no %s)", name);
    }
    return false;
}

// Where the build's bus library picks the bus itself (wiringPi): the kit's parts answering on
// another bus than the one it picked.
void report_parts_elsewhere(std::FILE* out, facts::choice how) {
    char where[256] = "";
    if (how == facts::choice::chosen) {
        facts::parts_elsewhere(where, sizeof where);
    }
    if (where[0] != '\0') {
        say(out, level::fail, "the kit's parts answer on %s, not on %s, the bus wiringPi opens: %s",
            where, facts::bus_name(), facts::rebuild_for_other_bus());
    }
}

// The verdict on the modules that work on the bus looked at. Where wiringPi chose no bus, they work
// only once the kit is rebuilt for the kit's own i2c-dev calls.
int say_verdict(std::FILE* out, const outcome& bypass, const outcome& direct, bool unchosen,
                bool qmc) {
    const char* bus = facts::bus_name();
    char use[256];
    if (bypass.usable && direct.usable) {
        (void)std::snprintf(use, sizeof use, "use bypassmag (%s) or directmag (%s) on %s",
                            bypass.part, direct.part, bus);
    } else if (bypass.usable || direct.usable) {
        const outcome& o = bypass.usable ? bypass : direct;
        (void)std::snprintf(use, sizeof use, "use %s: %s on %s",
                            bypass.usable ? "bypassmag" : "directmag", o.part, bus);
    } else {
        say(out, level::fail,
            "verdict: neither module can work%s on %s: bypassmag: %s; directmag: %s%s",
            unchosen ? ": wiringPi opens no bus on this board, and none would" : "", bus,
            bypass.reason, direct.reason, qmc ? "; the QMC part found is driven by neither" : "");
        return 1;
    }
    if (unchosen) {
        say(out, level::fail,
            "verdict: neither module can work as built: wiringPi opens no bus on this board; "
            "rebuilt with -DCOMPASS_BUS=i2cdev, %s",
            use);
        return 1;
    }
    say(out, level::ok, "verdict: %s", use);
    return 0;
}

}  // namespace

int run(std::FILE* out) {
    char how[320] = "";
    const facts::choice choice = facts::bus_choice(how, sizeof how);
    const bool unchosen = choice == facts::choice::unchosen;
    if (choice != facts::choice::fixed) {
        say(out, unchosen ? level::fail : level::ok, "bus: %s", how);
        char revision[256] = "";
        const bool plain = facts::board_revision(revision, sizeof revision);
        say(out, plain ? level::ok : level::warn, "board revision: %s", revision);
    }
    if (unchosen) {
        say(out, level::warn,
            "bus: looking at %s instead, the bus a -DCOMPASS_BUS=i2cdev build opens "
            "(COMPASS_I2C_BUS)",
            facts::bus_name());
    }
    const core::part mpu = core::open_motion_sensor();  // as bypassmag's set-up begins
    outcome bypass;
    outcome direct;
    if (!check_bus(out, mpu)) {
        report_parts_elsewhere(out, choice);
        say(out, level::fail, "verdict: neither module can work: %s%s cannot be used",
            unchosen ? "wiringPi opens no bus on this board, and " : "", facts::bus_name());
        return 1;
    }
    const motion_part* part = check_motion(out, mpu);
    check_bypass(out, mpu.fd, part, bypass);
    check_standalone(out, direct);
    const bool qmc_l =
        check_qmc(out, qmc5883l::ADDRESS, qmc5883l::CHIP_ID, qmc5883l::CHIP_ID_VALUE, "QMC5883L");
    const bool qmc_p =
        check_qmc(out, qmc5883p::ADDRESS, qmc5883p::CHIP_ID, qmc5883p::CHIP_ID_VALUE, "QMC5883P");
    if (!bypass.usable && !direct.usable) {
        report_parts_elsewhere(out, choice);
    }
    return say_verdict(out, bypass, direct, unchosen, qmc_l || qmc_p);
}

}  // namespace doctor
