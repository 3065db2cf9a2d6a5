// What the module's bus calls gave, seen from the monitor: the module reports no failure itself,
// so the monitor's link routes its calls through pass-through wrappers (ld --wrap) that note each
// failure and its errno. The module's transfers are exactly what they would be without them.
#pragma once

namespace bus_watch {

struct failures {
    int setups = 0;          // failed wiringPiI2CSetup calls
    int setup_error = 0;     // errno of the last of them
    int transfers = 0;       // failed register reads and writes
    int transfer_error = 0;  // errno of the first of them
};

// Forgets what was seen so far.
void reset();
// What was seen since the last reset().
const failures& seen();

}  // namespace bus_watch
