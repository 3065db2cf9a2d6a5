// Heading monitor: prints the compass module's relative heading at a fixed pace.
//   heading_monitor_<module> [--pace-ms N] [--count N] [--simulate-turn]
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "monitor.hpp"
#include "sim_turn.hpp"

namespace {

int usage(const char* prog) {
    (void)std::fprintf(
        stderr,
        "usage: %s [--pace-ms N] [--count N] [--simulate-turn]\n"
        "  --pace-ms N       wait N ms before each reading (default 100)\n"
        "  --count N         take N readings (default 10)\n"
        "  --simulate-turn   turn the simulated board through a full circle over the run\n"
        "                    and print its yaw beside each heading\n",
        prog);
    return 2;
}

bool parse_count(const char* text, long max, long& out) {
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || v < 0 || v > max) {
        return false;
    }
    out = v;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    monitor_options options;
    bool turn = false;
    for (int i = 1; i < argc; ++i) {
        long v = 0;
        if (std::strcmp(argv[i], "--simulate-turn") == 0) {
            turn = true;
        } else if (std::strcmp(argv[i], "--pace-ms") == 0 && i + 1 < argc &&
                   parse_count(argv[i + 1], 3'600'000, v)) {
            options.pace_ms = static_cast<unsigned>(v);
            ++i;
        } else if (std::strcmp(argv[i], "--count") == 0 && i + 1 < argc &&
                   parse_count(argv[i + 1], 1'000'000, v)) {
            options.count = static_cast<int>(v);
            ++i;
        } else {
            return usage(argv[0]);
        }
    }
    if (turn && simulated_turn == nullptr) {
        (void)std::fprintf(stderr, "%s: --simulate-turn needs the simulated board\n", argv[0]);
        return 2;
    }
    return run_monitor(options, turn ? simulated_turn : nullptr);
}
