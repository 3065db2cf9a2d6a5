// The monitor's only simulated-board part: turning the board through a full circle over the run.
#pragma once

#include "monitor.hpp"

// Sets the simulated board's yaw to index/count of a full turn and returns it. Null in a monitor
// built for a real board, which only a hand can turn.
extern const before_reading_hook simulated_turn;
