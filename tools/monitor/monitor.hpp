// Heading monitor core: a plain compass host that sets the module up once and prints one reading
// per line at a fixed pace, optionally turning the board through a full circle over the run.
#pragma once

struct monitor_options {
    unsigned pace_ms = 100;  // wait before each reading
    int count = 10;          // readings to take
    bool turn = false;       // turn the board (tool::turn_board_to) and print its yaw too
};

// Runs the monitor; returns the process exit status. A dead sensor gives no headings: no handle
// from set-up, or a first reading with a failed transfer, ends it with status 1 and a "no
// magnetometer" line on stderr. A later reading with a failed transfer is printed all the same,
// after a warning line on stderr.
int run_monitor(const char* name, const monitor_options& options);
