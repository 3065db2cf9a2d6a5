// The look at the program's bus before a module's set-up on a real board (board_bus.hpp).
#include <cstring>

#include "board_bus.hpp"
#include "compass/core/ak8975.hpp"
#include "compass/core/hmc5883l.hpp"
#include "compass/core/mpu6050.hpp"
#include "options.hpp"

namespace tool {

int check_module_bus(const char* name, const char* module) {
    static constexpr int bypass[] = {mpu6050::ADDRESS, ak8975::ADDRESS};
    static constexpr int direct[] = {hmc5883l::ADDRESS};
    const bool is_bypass = std::strcmp(module, "bypassmag") == 0;
    const bus_pick& bus = pick_bus();
    if (bus.how == bus_pick::kind::refused || bus.how == bus_pick::kind::failed) {
        return no_magnetometer_because(name, bus.what);
    }
    char why[256];
    if (!bus_reaches(bus.path, is_bypass ? bypass : direct, is_bypass ? 2 : 1, why, sizeof why)) {
        return no_magnetometer_because(name, why);
    }
    return 0;
}

}  // namespace tool
