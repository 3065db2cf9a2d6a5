// Sampling and centre finding for the calibration helper; reaches the sensors through the compass
// modules' own set-up and readings (compass_core).
#include "calibrate.hpp"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <numbers>

#include "compass/core/ak8975.hpp"
#include "compass/core/hmc5883l.hpp"
#include "compass/core/mpu6050.hpp"
#include "compass/core/parts.hpp"
#include "i2cbus/bus.h"

namespace calibrate {
namespace {

namespace core = compass::core;

// Logs how the open of what went and warns when it opened but did not identify itself; a failed
// open leaves its errno in error. True when it opened.
bool opened(std::FILE* log, const char* what, int address, const core::part& p, int expected,
            int* error) {
    if (p.fd < 0 && error != nullptr) {
        *error = p.error;
    }
    if (log != nullptr) {
        (void)std::fprintf(log, "%s 0x%02X: %s\n", what, address,
                           p.fd >= 0 ? "opened" : "could not be opened");
        if (p.fd >= 0 && !p.found) {
            (void)std::fprintf(log, "warning: %s identifies as %d, expected 0x%02X\n", what, p.id,
                               expected);
        }
    }
    return p.fd >= 0;
}

// The modules' own set-up; it goes no further than a failed open.
int setup_bypass(std::FILE* log, int* error) {
    const core::part mpu = core::open_motion_sensor();
    if (!opened(log, "motion sensor", mpu6050::ADDRESS, mpu, mpu6050::WHO_AM_I_VALUE, error)) {
        return -1;
    }
    const core::part mag = core::open_behind_bypass(mpu.fd);
    opened(log, "magnetometer", ak8975::ADDRESS, mag, ak8975::WIA_VALUE, error);
    return mag.fd;
}

int setup_direct(std::FILE* log, int* error) {
    const core::hmc5883l_part mag = core::set_up_hmc5883l();
    const int refusal = errno;
    if (!opened(log, "magnetometer", hmc5883l::ADDRESS, mag, hmc5883l::IRA_VALUE, error)) {
        return -1;
    }
    if (!mag.continuous) {
        // It keeps the one measurement it holds: every sample would be that one.
        if (log != nullptr) {
            (void)std::fprintf(log, "magnetometer 0x%02X: refused continuous measurement\n",
                               hmc5883l::ADDRESS);
        }
        if (error != nullptr) {
            *error = refusal;
        }
        return -1;
    }
    // Until the first continuous sample the data registers hold the power-up measurement, taken
    // wherever the board stood then, which is no sample of this turn.
    delay(hmc5883l::FIRST_SAMPLE_WAIT_MS);
    return mag.fd;
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
    // The module's own reading, up to the offsets it removes.
    const core::axes a = m == module::bypassmag ? core::read_ak8975(fd) : core::read_hmc5883l(fd);
    out = {a.x, a.y};
    return a.ok;
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
