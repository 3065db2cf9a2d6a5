// The program's bus on an i2c-dev build (board_bus.hpp): the configured /dev/i2c-N.
#include <cstdio>

#include "board_bus.hpp"

namespace tool {

const bus_pick& pick_bus() {
    static bus_pick pick;
    if (pick.path[0] == '\0') {
        (void)std::snprintf(pick.path, sizeof pick.path, "/dev/i2c-%d", KIT_I2C_BUS_NUMBER);
        (void)std::snprintf(pick.what, sizeof pick.what, "%s, as the kit was built", pick.path);
    }
    return pick;
}

}  // namespace tool
