// Heading monitor core; see monitor.hpp.
#include "monitor.hpp"

#include <cstdio>

#include "compass/compass.hpp"
#include "i2cbus/bus.h"

int run_monitor(const monitor_options& options, before_reading_hook hook) {
    const int fd = setup_magneto();
    for (int i = 0; i < options.count; ++i) {
        double yaw = 0.0;
        if (hook != nullptr) {
            yaw = hook(i, options.count);
        }
        // Waiting before the reading lets a continuously measuring sensor catch up with the board.
        delay(options.pace_ms);
        const double heading = get_magneto(fd);
        if (hook != nullptr) {
            std::printf("yaw %5.1f  heading %5.1f\n", yaw, heading);
        } else {
            std::printf("heading %5.1f\n", heading);
        }
    }
    (void)std::fflush(stdout);
    return 0;
}
