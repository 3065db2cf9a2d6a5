// Built into compass-calibrate for its tests: a board whose magnetometers refuse their measurement
// trigger from the start, the AK8975 its CNTL (0Ah) and the HMC5883L its mode register (02h).
#include "sim/board.hpp"

namespace {

const bool refused = [] {
    sim::board().nack_register(0x0C, 0x0A).nack_register(0x1E, 0x02);
    return true;
}();

}  // namespace
