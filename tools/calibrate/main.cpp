// compass-calibrate: prints the hard-iron offsets to rebuild a compass module with, measured while
// the board is turned level through full circles.
#include <cerrno>
#include <cstdio>

#include "board_bus.hpp"
#include "calibrate.hpp"
#include "options.hpp"
#include "turn.hpp"

namespace {

constexpr long max_samples = 1000000;
constexpr long max_pace_ms = 60000;

constexpr const char* usage =
    "bypassmag|directmag [--samples N | --duration SECONDS] [--pace MS]\n"
    "       [--simulate-turn [--turns N]]\n"
    "  --samples N      samples to take (default 1000)\n"
    "  --duration S     sample for about S seconds instead\n"
    "  --pace MS        pause before each sample, milliseconds (default 20)\n"
    "  --simulate-turn  turn the simulated board itself, evenly over the run\n"
    "  --turns N        full turns for --simulate-turn (default 1)\n";

// What the command line asks for.
struct request {
    calibrate::module m{};
    calibrate::options opt;
    bool simulate = false;
    long turns = 1;  // full turns for --simulate-turn
};

void turn_evenly(int index, int samples, void* context) {
    const auto* r = static_cast<const request*>(context);
    tool::turn_board_to(360.0 * static_cast<double>(r->turns) * index / samples);
}

// Reads the command line into r; a usage error stops cl.
void parse(tool::command_line& cl, request& r) {
    bool have_module = false;
    long duration_s = 0;
    while (cl.more()) {
        long v = 0;
        if (cl.integer("--samples", 1, max_samples, v)) {
            r.opt.samples = static_cast<int>(v);
        } else if (cl.integer("--duration", 1, 3600, v)) {
            duration_s = v;
        } else if (cl.integer("--pace", 0, max_pace_ms, v)) {
            r.opt.pace_ms = static_cast<unsigned>(v);
        } else if (cl.integer("--turns", 1, 100, v)) {
            r.turns = v;
        } else if (cl.flag("--simulate-turn")) {
            r.simulate = true;
        } else if (const char* w = cl.current(); !have_module && w != nullptr && w[0] != '-') {
            const char* word = cl.word();
            if (!calibrate::parse_module(word, r.m)) {
                cl.refuse(word, "unknown module (bypassmag or directmag)");
            }
            have_module = true;
        } else {
            cl.unknown();
        }
    }
    if (!cl.stopped() && !have_module) {
        cl.refuse("module", "missing (bypassmag or directmag)");
    }
    if (!cl.stopped() && r.simulate && !tool::can_turn_board()) {
        cl.refuse("--simulate-turn", tool::cannot_turn_reason);
    }
    if (!cl.stopped() && duration_s > 0) {
        const long per_sample = static_cast<long>(r.opt.pace_ms) +
                                static_cast<long>(calibrate::measurement_wait_ms(r.m));
        const long n = duration_s * 1000L / (per_sample > 0 ? per_sample : 1L);
        r.opt.samples = static_cast<int>(n < 1 ? 1 : (n > max_samples ? max_samples : n));
    }
}

}  // namespace

int main(int argc, char** argv) {
    tool::command_line cl(argc, argv, "compass-calibrate", usage);
    request r;
    parse(cl, r);
    if (cl.stopped()) {
        return cl.exit_status();
    }
    if (const int dead = tool::check_module_bus(cl.name(), calibrate::name(r.m)); dead != 0) {
        return dead;
    }
    int error = 0;
    const int fd = calibrate::setup(r.m, stderr, &error);
    if (fd < 0) {
        return tool::no_magnetometer(cl.name(), error);
    }
    if (!r.simulate) {
        (void)std::fprintf(stderr,
                           "Turn the board slowly, level, through full circles (%d samples)...\n",
                           r.opt.samples);
    }
    const calibrate::result res = calibrate::run(r.m, fd, r.opt, r.simulate ? turn_evenly : nullptr,
                                                 r.simulate ? &r : nullptr);
    if (res.taken == res.failed) {
        return tool::no_magnetometer(cl.name(), res.first_error);
    }
    return calibrate::print_report(stdout, r.m, res) ? 0 : 1;
}
