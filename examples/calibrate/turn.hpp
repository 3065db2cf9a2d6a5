// Turning the board by program: only the simulated board can; on a real one the user turns it.
#pragma once

namespace calibrate {

bool can_turn_board();
// Sets the board's heading, degrees clockwise from magnetic north.
void turn_board_to(double degrees);

}  // namespace calibrate
