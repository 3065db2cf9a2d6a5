// Sampling and centre finding for the calibration helper; reaches the sensors only through the
// four bus calls, with the same set-up and data registers as the compass modules.
#include "calibrate.hpp"

#include <cmath>
#include <cstring>
#include <numbers>

#include "devices/ak8975.hpp"
#include "devices/hmc5883l.hpp"
#include "devices/mpu6050.hpp"
#include "i2cbus/bus.h"

namespace calibrate {
namespace {

// The bypass magnetometer's scale as the module applies it: 0.3 uT per count.
constexpr int ut_per_count_num = 3;
constexpr int ut_per_count_den = 10;

// The stand-alone part's first continuous sample lands two output periods (26.7 ms at 75 Hz) after
// the mode write; until then its data registers hold the power-up measurement, taken wherever the
// board stood then, which is no sample of this turn.
constexpr unsigned first_sample_wait_ms = 27;

constexpr int data_registers = 6;

bool read_block(int fd, int first, std::uint8_t (&bytes)[data_registers]) {
    for (int j = 0; j < data_registers; ++j) {
        const int v = wiringPiI2CReadReg8(fd, first + j);
        if (v < 0) {
            return false;
        }
        bytes[j] = static_cast<std::uint8_t>(v);
    }
    return true;
}

int s16(std::uint8_t high, std::uint8_t low) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>((high << 8) | low));
}

// Same truncation toward zero as the module's counts x 0.3.
int ak8975_microtesla(int counts) {
    return counts * ut_per_count_num / ut_per_count_den;
}

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

int setup_bypass(std::FILE* log) {
    const int mpu = wiringPiI2CSetup(mpu6050::ADDRESS);
    report_open(log, "motion sensor 0x68", mpu);
    if (mpu < 0) {
        return -1;
    }
    report_identity(log, "motion sensor", wiringPiI2CReadReg8(mpu, mpu6050::WHO_AM_I),
                    mpu6050::WHO_AM_I_VALUE);
    mpu6050::reset_and_open_bypass(mpu);

    const int fd = wiringPiI2CSetup(ak8975::ADDRESS);
    report_open(log, "magnetometer 0x0C", fd);
    if (fd >= 0) {
        report_identity(log, "magnetometer", wiringPiI2CReadReg8(fd, ak8975::WIA),
                        ak8975::WIA_VALUE);
    }
    return fd;
}

int setup_direct(std::FILE* log) {
    const int fd = wiringPiI2CSetup(hmc5883l::ADDRESS);
    report_open(log, "magnetometer 0x1E", fd);
    if (fd < 0) {
        return -1;
    }
    report_identity(log, "magnetometer", wiringPiI2CReadReg8(fd, hmc5883l::IRA),
                    hmc5883l::IRA_VALUE);
    wiringPiI2CWriteReg8(
        fd, hmc5883l::CRA,
        hmc5883l::CRA_MA_2_SAMPLES | hmc5883l::CRA_DO_75_HZ | hmc5883l::CRA_MS_NORMAL);
    wiringPiI2CWriteReg8(fd, hmc5883l::MR, hmc5883l::MR_CONTINUOUS);
    delay(first_sample_wait_ms);
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

int setup(module m, std::FILE* log) {
    return m == module::bypassmag ? setup_bypass(log) : setup_direct(log);
}

bool read_pair(module m, int fd, pair& out) {
    std::uint8_t b[data_registers] = {};
    if (m == module::bypassmag) {
        if (wiringPiI2CWriteReg8(fd, ak8975::CNTL, ak8975::CNTL_SINGLE_MEASUREMENT) < 0) {
            return false;
        }
        delay(ak8975::MEASUREMENT_WAIT_MS);
        if (!read_block(fd, ak8975::HXL, b)) {
            return false;
        }
        out.x = ak8975_microtesla(s16(b[1], b[0]));
        out.y = ak8975_microtesla(s16(b[3], b[2]));
    } else {
        if (!read_block(fd, hmc5883l::DXRA, b)) {
            return false;
        }
        out.x = s16(b[0], b[1]);
        out.y = s16(b[4], b[5]);  // registers 0x07-0x08; 0x05-0x06 hold Z
    }
    return true;
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
        if (read_pair(m, fd, p)) {
            t.add(p);
        } else {
            t.add_failure();
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
    (void)std::fprintf(out, "  X: %d .. %d %s, centre %d\n", r.x.min, r.x.max, unit, r.x.centre());
    (void)std::fprintf(out, "  Y: %d .. %d %s, centre %d\n", r.y.min, r.y.max, unit, r.y.centre());
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
