// Hard-iron calibration of the compass modules' magnetometers: sample the horizontal axes while
// the board turns through full circles and find the centre each axis swings about.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

namespace calibrate {

enum class module { bypassmag, directmag };

// The module's name as the command line and the cache variables spell it.
const char* name(module m);
bool parse_module(const char* text, module& m);

// One horizontal pair as the module sees it just before it removes its offsets: microtesla for
// bypassmag (counts x 0.3, truncated), raw counts for directmag.
struct pair {
    int x = 0;
    int y = 0;
};

// Opens the magnetometer and sets it (and, for bypassmag, the motion sensor) up with the module's
// own register writes. Returns the magnetometer's handle, or -1 when a device did not open or the
// HMC5883L refused continuous measurement (error, when given, then holds the errno of the failure).
int setup(module m, std::FILE* log, int* error = nullptr);

// How long one sample waits for its measurement, besides the pace.
unsigned measurement_wait_ms(module m);

// One sample; false when a transfer failed (the sample is then not used).
bool read_pair(module m, int fd, pair& out);

struct range {
    int min = 0;
    int max = 0;
    // Where the axis swings about, rounded to the nearest count (halves upward).
    int centre() const;
    int span() const { return max - min; }
};

struct result {
    int taken = 0;        // samples read
    int failed = 0;       // of those, the ones with a failed transfer
    int first_error = 0;  // errno the first failed sample left (0: none, or none given)
    range x, y;
    int sectors_seen = 0;  // of sector_count, around the centre found
    static constexpr int sector_count = 36;
};

// Folds samples in; the centre and the coverage of the circle come out of finish().
class tracker {
  public:
    void add(const pair& p);
    void add_failure(int error = 0) {
        first_error_ = failed_ == 0 ? error : first_error_;
        ++failed_;
    }
    result finish() const;

  private:
    std::vector<pair> samples_;
    int failed_ = 0;
    int first_error_ = 0;
};

struct options {
    int samples = 1000;
    unsigned pace_ms = 20;  // pause before each sample
};

// Called before each sample with its number (0-based); may turn the board. May be empty.
using before_sample = void (*)(int index, int samples, void* context);

// Samples the magnetometer behind fd as the options say and tracks the axes.
result run(module m, int fd, const options& opt, before_sample hook = nullptr,
           void* context = nullptr);

// The cache-variable settings to rebuild the module with, e.g.
// "-DCOMPASS_DIRECTMAG_OFFSET_X=4 -DCOMPASS_DIRECTMAG_OFFSET_Y=-273".
void print_settings(std::FILE* out, module m, const result& r);

// Full report: sample counts, each axis' range and centre, coverage warnings, the settings.
// Returns false when there is nothing usable to report.
bool print_report(std::FILE* out, module m, const result& r);

}  // namespace calibrate
