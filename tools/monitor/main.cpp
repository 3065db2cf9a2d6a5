// compass-monitor-<module>: prints the compass module's relative heading at a fixed pace.
#include "board_bus.hpp"
#include "monitor.hpp"
#include "options.hpp"
#include "turn.hpp"

namespace {

constexpr const char* usage =
    "[--pace-ms N] [--count N] [--simulate-turn]\n"
    "  --pace-ms N       wait N ms before each reading (default 100)\n"
    "  --count N         take N readings (default 10)\n"
    "  --simulate-turn   turn the simulated board through a full circle over the run\n"
    "                    and print its yaw beside each heading\n";

}  // namespace

int main(int argc, char** argv) {
    tool::command_line cl(argc, argv, KIT_MONITOR_NAME, usage);
    monitor_options options;
    while (cl.more()) {
        long v = 0;
        if (cl.flag("--simulate-turn")) {
            options.turn = true;
        } else if (cl.integer("--pace-ms", 0, 3'600'000, v)) {
            options.pace_ms = static_cast<unsigned>(v);
        } else if (cl.integer("--count", 0, 1'000'000, v)) {
            options.count = static_cast<int>(v);
        } else {
            cl.unknown();
        }
    }
    if (!cl.stopped() && options.turn && !tool::can_turn_board()) {
        cl.refuse("--simulate-turn", tool::cannot_turn_reason);
    }
    if (cl.stopped()) {
        return cl.exit_status();
    }
    if (const int dead = tool::check_module_bus(cl.name(), KIT_MONITOR_MODULE); dead != 0) {
        return dead;
    }
    return run_monitor(cl.name(), options);
}
