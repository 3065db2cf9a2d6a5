// The program's bus on a real board (board_bus.hpp): wiringPi's pick on a wiringPi build
// (KIT_BUS_WIRINGPI), the configured /dev/i2c-N (KIT_I2C_BUS_NUMBER) on an i2c-dev build.
#include <cstdio>
#include <cstring>

#include "board_bus.hpp"
#include "compass/core/ak8975.hpp"
#include "compass/core/hmc5883l.hpp"
#include "compass/core/mpu6050.hpp"
#include "options.hpp"
#include "wiringpi_board.hpp"

namespace tool {

bool program_bus(char* path, std::size_t path_size, char* why, std::size_t why_size,
                 const char* cpuinfo) {
    int bus = KIT_I2C_BUS_NUMBER;
    if (KIT_BUS_WIRINGPI != 0) {
        const wiringpi::board b = wiringpi::identify_file(cpuinfo);
        if (!b.identified) {
            (void)std::snprintf(why, why_size, "wiringPi cannot identify this board: %s", b.why);
            return false;
        }
        bus = b.bus;
    }
    (void)std::snprintf(path, path_size, "/dev/i2c-%d", bus);
    return true;
}

int check_module_bus(const char* name, const char* module) {
    static constexpr int bypass[] = {mpu6050::ADDRESS, ak8975::ADDRESS};
    static constexpr int direct[] = {hmc5883l::ADDRESS};
    const bool is_bypass = std::strcmp(module, "bypassmag") == 0;
    char bus[32];
    char why[256];
    if (!program_bus(bus, sizeof bus, why, sizeof why) ||
        !bus_reaches(bus, is_bypass ? bypass : direct, is_bypass ? 2 : 1, why, sizeof why)) {
        return no_magnetometer_because(name, why);
    }
    return 0;
}

}  // namespace tool
