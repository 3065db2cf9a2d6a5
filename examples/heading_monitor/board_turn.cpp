// A real board is turned by hand: the monitor has no turn of its own to offer.
#include "sim_turn.hpp"

const before_reading_hook simulated_turn = nullptr;
