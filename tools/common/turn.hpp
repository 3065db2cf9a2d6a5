// Turning the board by program, for the heading monitor and the calibration helper: the simulated
// board can be turned, a real one only by hand. A program links turn_sim.cpp or turn_board.cpp,
// as its bus is.
#pragma once

namespace tool {

// Whether turn_board_to() moves anything; a tool refuses --simulate-turn otherwise.
bool can_turn_board();

// Sets the board's heading, degrees clockwise from magnetic north.
void turn_board_to(double yaw_degrees);

// What a tool says when asked to turn a board it cannot.
inline constexpr const char* cannot_turn_reason =
    "needs the simulated board; turn the board by hand";

}  // namespace tool
