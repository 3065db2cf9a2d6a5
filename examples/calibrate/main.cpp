// calibrate: prints the hard-iron offsets to rebuild a compass module with, measured while the
// board is turned level through full circles.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "calibrate.hpp"
#include "turn.hpp"

namespace {

constexpr int max_samples = 1000000;
constexpr unsigned max_pace_ms = 60000;
constexpr unsigned bypass_sample_ms = 8;  // each bypassmag sample waits for its measurement

// The name it was called by: calibrate as an example, compass-calibrate as a board tool.
const char* prog = "calibrate";

void usage(std::FILE* out) {
    (void)std::fprintf(out,
                       "usage: %s bypassmag|directmag [--samples N | --duration SECONDS]\n"
                       "           [--pace MS] [--simulate-turn [--turns N]]\n"
                       "  --samples N      samples to take (default 1000)\n"
                       "  --duration S     sample for about S seconds instead\n"
                       "  --pace MS        pause before each sample, milliseconds (default 20)\n"
                       "  --simulate-turn  turn the simulated board itself, evenly over the run\n"
                       "  --turns N        full turns for --simulate-turn (default 1)\n",
                       prog);
}

bool parse_int(const char* text, long lo, long hi, long& out) {
    if (text == nullptr || *text == '\0') {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || v < lo || v > hi) {
        return false;
    }
    out = v;
    return true;
}

struct turn_plan {
    long turns = 1;
};

void turn_evenly(int index, int samples, void* context) {
    const auto* plan = static_cast<const turn_plan*>(context);
    calibrate::turn_board_to(360.0 * static_cast<double>(plan->turns) * index / samples);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 0 && argv[0] != nullptr) {
        const char* slash = std::strrchr(argv[0], '/');
        prog = slash != nullptr ? slash + 1 : argv[0];
    }
    if (argc < 2) {
        usage(stderr);
        return 2;
    }
    calibrate::module m{};
    if (!calibrate::parse_module(argv[1], m)) {
        (void)std::fprintf(stderr, "%s: unknown module '%s'\n", prog, argv[1]);
        usage(stderr);
        return 2;
    }
    calibrate::options opt;
    long duration_s = 0;
    bool simulate = false;
    turn_plan plan;
    for (int i = 2; i < argc; ++i) {
        const char* arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        long v = 0;
        if (std::strcmp(arg, "--samples") == 0 && parse_int(value, 1, max_samples, v)) {
            opt.samples = static_cast<int>(v);
            ++i;
        } else if (std::strcmp(arg, "--duration") == 0 && parse_int(value, 1, 3600, v)) {
            duration_s = v;
            ++i;
        } else if (std::strcmp(arg, "--pace") == 0 && parse_int(value, 0, max_pace_ms, v)) {
            opt.pace_ms = static_cast<unsigned>(v);
            ++i;
        } else if (std::strcmp(arg, "--turns") == 0 && parse_int(value, 1, 100, v)) {
            plan.turns = v;
            ++i;
        } else if (std::strcmp(arg, "--simulate-turn") == 0) {
            simulate = true;
        } else if (std::strcmp(arg, "--help") == 0) {
            usage(stdout);
            return 0;
        } else {
            (void)std::fprintf(stderr, "%s: bad option or value: %s%s%s\n", prog, arg,
                               value != nullptr ? " " : "", value != nullptr ? value : "");
            usage(stderr);
            return 2;
        }
    }
    if (simulate && !calibrate::can_turn_board()) {
        (void)std::fprintf(stderr,
                           "%s: --simulate-turn needs the simulated board; turn the "
                           "board by hand instead\n",
                           prog);
        return 2;
    }
    if (duration_s > 0) {
        const long per_sample =
            static_cast<long>(opt.pace_ms) +
            (m == calibrate::module::bypassmag ? static_cast<long>(bypass_sample_ms) : 0L);
        const long n = duration_s * 1000L / (per_sample > 0 ? per_sample : 1L);
        opt.samples = static_cast<int>(n < 1 ? 1 : (n > max_samples ? max_samples : n));
    }

    const int fd = calibrate::setup(m, stderr);
    if (fd < 0) {
        (void)std::fprintf(stderr, "%s: the %s magnetometer could not be set up\n", prog,
                           calibrate::name(m));
        return 1;
    }
    if (!simulate) {
        (void)std::fprintf(stderr,
                           "Turn the board slowly, level, through full circles (%d samples)...\n",
                           opt.samples);
    }
    const calibrate::result r =
        calibrate::run(m, fd, opt, simulate ? turn_evenly : nullptr, simulate ? &plan : nullptr);
    return calibrate::print_report(stdout, m, r) ? 0 : 1;
}
