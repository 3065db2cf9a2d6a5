// A real board is turned by hand: nothing to do by program.
#include "turn.hpp"

namespace tool {

bool can_turn_board() {
    return false;
}

void turn_board_to(double /*yaw_degrees*/) {}

}  // namespace tool
