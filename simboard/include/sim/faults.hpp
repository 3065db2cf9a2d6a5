// The faults the simulated board can inject are members of sim::board_t; this name stays for the
// hosts that include it.
#pragma once

#include "sim/board.hpp"
