// Drives the simulated board's yaw for the heading monitor demo.
#include "sim_turn.hpp"

#include "sim/board.hpp"

namespace {

double turn(int index, int count) {
    const double yaw = 360.0 * static_cast<double>(index) / static_cast<double>(count);
    sim::board().yaw(yaw);
    return yaw;
}

}  // namespace

const before_reading_hook simulated_turn = turn;
