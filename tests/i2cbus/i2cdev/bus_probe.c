/* Opens a device through the i2c-dev backend on the fake kernel side and prints the path of every
 * device file it opened, so a build for another bus can show which one that is. */
#include <stdio.h>

#include "fake_i2c_dev.h"
#include "i2cbus/bus.h"

int main(void) {
    if (wiringPiI2CSetup(0x1E) < 0) {
        return 1;
    }
    for (int i = 0; i < fake_ncalls; ++i) {
        if (fake_calls[i].kind == FAKE_OPEN) {
            printf("open %s\n", fake_calls[i].path);
        }
    }
    return 0;
}
