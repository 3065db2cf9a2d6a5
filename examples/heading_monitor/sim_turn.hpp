// The monitor's only simulated-board part: turning the board through a full circle over the run.
#pragma once

// Sets the simulated board's yaw to index/count of a full turn and returns it (a
// before_reading_hook).
double simulated_turn(int index, int count);
