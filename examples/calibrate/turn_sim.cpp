// Turning the simulated board between samples.
#include "sim/board.hpp"
#include "turn.hpp"

namespace calibrate {

bool can_turn_board() {
    return true;
}

void turn_board_to(double degrees) {
    sim::board().yaw(degrees);
}

}  // namespace calibrate
