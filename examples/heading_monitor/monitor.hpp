// Heading monitor core: a plain compass host that sets the module up once and prints one reading
// per line at a fixed pace. Knows nothing of the simulated board.
#pragma once

struct monitor_options {
    unsigned pace_ms = 100;  // wait before each reading
    int count = 10;          // readings to take
};

// Called before reading number index (0-based) of count; returns a yaw in degrees to print beside
// the heading. A host on real hardware passes no hook.
using before_reading_hook = double (*)(int index, int count);

// Runs the monitor; returns the process exit status.
int run_monitor(const monitor_options& options, before_reading_hook hook);
