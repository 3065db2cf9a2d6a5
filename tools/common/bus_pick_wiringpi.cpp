// The program's bus on a wiringPi build (board_bus.hpp): the one the wiringPi library the program
// runs with opens on this board, as that library says (wiringpi_ask.hpp).
#include <cstdio>

#include "board_bus.hpp"
#include "wiringpi_ask.hpp"

namespace tool {

const bus_pick& pick_bus() {
    static bus_pick pick;
    if (pick.path[0] != '\0') {
        return pick;
    }
    const wiringpi::answer a = wiringpi::ask();
    char name[48];
    wiringpi::name_of(a, name, sizeof name);
    if (a.how == wiringpi::answer::kind::identified) {
        pick.how = bus_pick::kind::chosen;
        (void)std::snprintf(pick.path, sizeof pick.path, "/dev/i2c-%d", a.bus);
        (void)std::snprintf(pick.what, sizeof pick.what, "%s opens %s (piBoardRev() returns %d)",
                            name, pick.path, a.layout);
        return pick;
    }
    (void)std::snprintf(pick.path, sizeof pick.path, "/dev/i2c-%d", KIT_I2C_BUS_NUMBER);
    if (a.how == wiringpi::answer::kind::exits) {
        pick.how = bus_pick::kind::refused;
        (void)std::snprintf(pick.what, sizeof pick.what,
                            "%s cannot identify this board: it ends the program (exit status %d) "
                            "%s%s%s",
                            name, a.status, a.said[0] != '\0' ? "saying \"" : "without a word",
                            a.said, a.said[0] != '\0' ? "\"" : "");
    } else {
        pick.how = bus_pick::kind::failed;
        (void)std::snprintf(pick.what, sizeof pick.what, "%s", a.said);
    }
    return pick;
}

}  // namespace tool
