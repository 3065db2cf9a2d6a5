// Sampling and centre finding for the calibration helper; reaches the sensors only through the
// four bus calls, with the same set-up and data registers as the compass modules.
#include "calibrate.hpp"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <numbers>

#include "devices/ak8975.hpp"
#include "devices/hmc5883l.hpp"
#include "devices/mpu6050.hpp"
#include "heading.hpp"
#include "i2cbus/bus.h"

namespace calibrate {
namespace {

void report_open(std::FILE* log, const char* what, int fd) {
    if (log != nullptr) {
        (void)std::fprintf(log, "%s: %s\n", what, fd >= 0 ? "opened" : "could not be opened");
    }
}

void report_identity(std::FILE* log, const char* what, int got, int expected) {
    if (log != nullptr && got != expected) {
        (void)std::fprintf(log, "warning: %s identifies as %d, expected 0x%02X\n", what, got,
                           expected);
    }
}

// Opens addr; on failure keeps the bus call's errno in error (before the log can change it).
int open_device(int addr, std::FILE* log, const char* what, int* error) {
    const int fd = wiringPiI2CSetup(addr);
    if (fd < 0 && error != nullptr) {
        *error = errno;
    }
    report_open(log, what, fd);
    return fd;
}

int setup_bypass(std::FILE* log, int* error) {
    const int mpu = open_device(mpu6050::ADDRESS, log, "motion sensor 0x68", error);
    if (mpu < 0) {
        return -1;
    }
    report_identity(log, "motion sensor", wiringPiI2CReadReg8(mpu, mpu6050::WHO_AM_I),
                    mpu6050::WHO_AM_I_VALUE);
    mpu6050::reset_and_open_bypass(mpu);

    const int fd = open_device(ak8975::ADDRESS, log, "magnetometer 0x0C", error);
    if (fd >= 0) {
        report_identity(log, "magnetometer", wiringPiI2CReadReg8(fd, ak8975::WIA),
                        ak8975::WIA_VALUE);
    }
    return fd;
}

int setup_direct(std::FILE* log, int* error) {
    const int fd = open_device(hmc5883l::ADDRESS, log, "magnetometer 0x1E", error);
    if (fd < 0) {
        return -1;
    }
    report_identity(log, "magnetometer", wiringPiI2CReadReg8(fd, hmc5883l::IRA),
                    hmc5883l::IRA_VALUE);
    hmc5883l::set_up(fd);
    // Until the first continuous sample the data registers hold the power-up measurement, taken
    // wherever the board stood then, which is no sample of this turn.
    delay(hmc5883l::FIRST_SAMPLE_WAIT_MS);
    return fd;
}

}  // namespace

const char* name(module m) {
    return m == module::bypassmag ? "bypassmag" : "directmag";
}

bool parse_module(const char* text, module& m) {
    if (std::strcmp(text, "bypassmag") == 0) {
        m = module::bypassmag;
    } else if (std::strcmp(text, "directmag") == 0) {
        m = module::directmag;
    } else {
        return false;
    }
    return true;
}

int setup(module m, std::FILE* log, int* error) {
    return m == module::bypassmag ? setup_bypass(log, error) : setup_direct(log, error);
}

unsigned measurement_wait_ms(module m) {
    return m == module::bypassmag ? ak8975::MEASUREMENT_WAIT_MS : 0U;
}

bool read_pair(module m, int fd, pair& out) {
    // The module's own sequences and conversions, up to the offsets it removes.
    if (m == module::bypassmag) {
        const bool triggered = ak8975::trigger_and_wait(fd);
        const devices::data_block d = ak8975::read_data(fd);
        out.x = compass::ak8975_microtesla(compass::axis_le(d.bytes[0], d.bytes[1]));
        out.y = compass::ak8975_microtesla(compass::axis_le(d.bytes[2], d.bytes[3]));
        return triggered && !d.failed;
    }
    const devices::data_block d = hmc5883l::read_data(fd);
    out.x = compass::axis_be(d.bytes[0], d.bytes[1]);
    out.y = compass::axis_be(d.bytes[4], d.bytes[5]);  // registers 0x07-0x08; 0x05-0x06 hold Z
    return !d.failed;
}

int range::centre() const {
    // floor((min + max + 1) / 2), also for negative sums
    const int sum = min + max + 1;
    return sum >= 0 ? sum / 2 : -((-sum + 1) / 2);
}

void tracker::add(const pair& p) {
    samples_.push_back(p);
}

result tracker::finish() const {
    result r;
    r.failed = failed_;
    r.first_error = first_error_;
    r.taken = static_cast<int>(samples_.size()) + failed_;
    if (samples_.empty()) {
        return r;
    }
    r.x = {samples_.front().x, samples_.front().x};
    r.y = {samples_.front().y, samples_.front().y};
    for (const pair& p : samples_) {
        r.x.min = p.x < r.x.min ? p.x : r.x.min;
        r.x.max = p.x > r.x.max ? p.x : r.x.max;
        r.y.min = p.y < r.y.min ? p.y : r.y.min;
        r.y.max = p.y > r.y.max ? p.y : r.y.max;
    }
    // A centre is only trustworthy when the turn went all the way round: count the sectors of
    // the circle, seen from the centre found, that some sample fell into.
    bool seen[result::sector_count] = {};
    const double cx = r.x.centre();
    const double cy = r.y.centre();
    for (const pair& p : samples_) {
        const double a = std::atan2(p.y - cy, p.x - cx);  // (-pi, pi]
        int s = static_cast<int>((a + std::numbers::pi) / (2.0 * std::numbers::pi) *
                                 result::sector_count);
        s = s >= result::sector_count ? result::sector_count - 1 : s;
        seen[s] = true;
    }
    for (const bool b : seen) {
        r.sectors_seen += b ? 1 : 0;
    }
    return r;
}

result run(module m, int fd, const options& opt, before_sample hook, void* context) {
    tracker t;
    for (int i = 0; i < opt.samples; ++i) {
        if (hook != nullptr) {
            hook(i, opt.samples, context);
        }
        delay(opt.pace_ms);
        pair p;
        errno = 0;
        if (read_pair(m, fd, p)) {
            t.add(p);
        } else {
            t.add_failure(errno);
        }
    }
    return t.finish();
}

void print_settings(std::FILE* out, module m, const result& r) {
    const char* upper = m == module::bypassmag ? "BYPASSMAG" : "DIRECTMAG";
    (void)std::fprintf(out, "-DCOMPASS_%s_OFFSET_X=%d -DCOMPASS_%s_OFFSET_Y=%d\n", upper,
                       r.x.centre(), upper, r.y.centre());
}

bool print_report(std::FILE* out, module m, const result& r) {
    const char* unit = m == module::bypassmag ? "uT" : "counts";
    (void)std::fprintf(out, "%s: %d samples, %d failed\n", name(m), r.taken, r.failed);
    if (r.taken == r.failed) {
        (void)std::fprintf(out, "no usable sample: nothing to calibrate\n");
        return false;
    }
    (void)std::fprintf(out, "  X: %d .. %d %s, centre %d (halves round up)\n", r.x.min, r.x.max,
                       unit, r.x.centre());
    (void)std::fprintf(out, "  Y: %d .. %d %s, centre %d (halves round up)\n", r.y.min, r.y.max,
                       unit, r.y.centre());
    if (r.sectors_seen < result::sector_count) {
        (void)std::fprintf(
            out,
            "warning: the samples cover %d of %d sectors of the circle; turn the board "
            "level through at least one full circle and run again\n",
            r.sectors_seen, result::sector_count);
    }
    (void)std::fprintf(out, "Rebuild the compass library with:\n  ");
    print_settings(out, m, r);
    return true;
}

}  // namespace calibrate
