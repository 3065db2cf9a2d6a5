// The simulated board turns on request.
#include "sim/board.hpp"
#include "turn.hpp"

namespace tool {

bool can_turn_board() {
    return true;
}

void turn_board_to(double yaw_degrees) {
    sim::board().yaw(yaw_degrees);
}

}  // namespace tool
