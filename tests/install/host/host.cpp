// An outside host of one installed compass module, run on the installed simulated board: the first
// reading is the zero mark, and a quarter turn of the board reads as a quarter turn (within the
// bypass part's 1 uT steps on a 25 uT field, about 2.3 degrees).
#include <cmath>
#include <cstdio>

#if defined(HOST_MODULE_bypassmag)
#include <compass/bypassmag.hpp>
constexpr double first_expected = 360.0;
#else
#include <compass/directmag.hpp>
constexpr double first_expected = 0.0;
#endif
#include <i2cbus/bus.h>
#include <sim/board.hpp>

int main() {
    const int fd = setup_magneto();
    const double first = get_magneto(fd);
    sim::board().yaw(90.0);
    delay(27);  // the stand-alone part's first continuous sample, two periods after set-up
    const double turned = get_magneto(fd);
#if defined(HOST_MODULE_bypassmag)
    const double averaged = avg_magneto(4, fd);
#else
    const double averaged = turned;
#endif
    std::printf("first %.3f turned %.3f averaged %.3f\n", first, turned, averaged);
    const bool ok = fd >= 0 && first == first_expected && std::fabs(turned - 90.0) < 3.0 &&
                    std::fabs(averaged - 90.0) < 3.0;
    return ok ? 0 : 1;
}
