// Heading monitor core; see monitor.hpp.
#include "monitor.hpp"

#include <cstdio>
#include <cstring>

#include "bus_watch.hpp"
#include "compass/compass.hpp"
#include "i2cbus/bus.h"
#include "options.hpp"
#include "turn.hpp"

int run_monitor(const char* name, const monitor_options& options) {
    bus_watch::reset();
    const int fd = setup_magneto();  // prints the module's own set-up lines
    (void)std::fflush(stdout);
    if (fd < 0) {
        return tool::no_magnetometer(name, bus_watch::seen().setup_error);
    }
    for (int i = 0; i < options.count; ++i) {
        double yaw = 0.0;
        if (options.turn) {
            yaw = 360.0 * static_cast<double>(i) / static_cast<double>(options.count);
            tool::turn_board_to(yaw);
        }
        // Waiting before the reading lets a continuously measuring sensor catch up with the board.
        delay(options.pace_ms);
        bus_watch::reset();
        const double heading = get_magneto(fd);
        const bus_watch::failures& f = bus_watch::seen();
        if (f.transfers > 0) {
            // The first reading latches the reference: without it no heading means anything.
            if (i == 0) {
                return tool::no_magnetometer(name, f.transfer_error);
            }
            (void)std::fflush(stdout);
            (void)std::fprintf(stderr, "%s: warning: reading %d: %d transfer(s) failed: %s\n", name,
                               i + 1, f.transfers, std::strerror(f.transfer_error));
        }
        if (options.turn) {
            std::printf("yaw %5.1f  heading %5.1f\n", yaw, heading);
        } else {
            std::printf("heading %5.1f\n", heading);
        }
        (void)std::fflush(stdout);
    }
    return 0;
}
