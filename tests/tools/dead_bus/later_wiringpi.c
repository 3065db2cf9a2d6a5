/* A stand-in libwiringPi.so for the wiringPi line board owners install today (3.x), from what its
 * sources do: piBoardRev() reads the board's revision from the device tree's linux,revision (four
 * bytes, most significant first), else from the Revision line of /proc/cpuinfo, and needs no
 * Hardware line; a new-style code (bit 23 set) is layout 2, an old-style one is layout 1 when it
 * ends in 0002 or 0003, else 2; without a revision it prints its "Oops" and exits with status 1.
 * wiringPiVersion() tells 3.14. The bus calls are wiringPi's: the bus from piBoardRev(), ending the
 * program where it cannot be opened. The tests run the kit's tools on it beside the real 2.25. */
#include <errno.h>
#include <fcntl.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#define EXPORT __attribute__((visibility("default")))

static int read_revision(unsigned* rev) {
    FILE* f = fopen("/proc/device-tree/system/linux,revision", "rb");
    if (f != NULL) {
        unsigned char b[4];
        const size_t n = fread(b, 1, sizeof b, f);
        fclose(f);
        if (n == sizeof b) {
            *rev = (unsigned)b[0] << 24U | (unsigned)b[1] << 16U | (unsigned)b[2] << 8U | b[3];
            return 1;
        }
    }
    f = fopen("/proc/cpuinfo", "r");
    if (f == NULL) {
        return 0;
    }
    char line[120];
    int found = 0;
    while (!found && fgets(line, sizeof line, f) != NULL) {
        const char* colon = strchr(line, ':');
        found =
            strncmp(line, "Revision", 8) == 0 && colon != NULL && sscanf(colon + 1, "%x", rev) == 1;
    }
    fclose(f);
    return found;
}

EXPORT int piBoardRev(void) {
    static int layout = -1;
    unsigned rev = 0;
    if (layout > 0) {
        return layout;
    }
    if (!read_revision(&rev)) {
        fprintf(stderr,
                "Oops: Unable to determine Raspberry Pi board revision from "
                "/proc/device-tree/system/linux,revision and from /proc/cpuinfo\n");
        fprintf(stderr, "       (a stand-in of the kit's tests)\n");
        exit(EXIT_FAILURE);
    }
    if ((rev & (1U << 23U)) != 0) {
        layout = 2;
    } else {
        const unsigned last4 = rev & 0xFFFFU;
        layout = last4 == 0x0002U || last4 == 0x0003U ? 1 : 2;
    }
    return layout;
}

EXPORT void wiringPiVersion(int* major, int* minor) {
    *major = 3;
    *minor = 14;
}

EXPORT int wiringPiI2CSetup(int devId) {
    const char* device = piBoardRev() == 1 ? "/dev/i2c-0" : "/dev/i2c-1";
    const int fd = open(device, O_RDWR);
    if (fd < 0) {
        fprintf(stderr, "Unable to open I2C device: %s\n", strerror(errno));
        exit(EXIT_FAILURE);
    }
    if (ioctl(fd, I2C_SLAVE, devId) < 0) {
        fprintf(stderr, "Unable to select I2C device: %s\n", strerror(errno));
        exit(EXIT_FAILURE);
    }
    return fd;
}

static int smbus(int fd, char rw, int reg, union i2c_smbus_data* data) {
    struct i2c_smbus_ioctl_data args = {(unsigned char)rw, (unsigned char)reg, I2C_SMBUS_BYTE_DATA,
                                        data};
    return ioctl(fd, I2C_SMBUS, &args);
}

EXPORT int wiringPiI2CReadReg8(int fd, int reg) {
    union i2c_smbus_data data;
    return smbus(fd, I2C_SMBUS_READ, reg, &data) != 0 ? -1 : data.byte & 0xFF;
}

EXPORT int wiringPiI2CWriteReg8(int fd, int reg, int value) {
    union i2c_smbus_data data;
    data.byte = (unsigned char)value;
    return smbus(fd, I2C_SMBUS_WRITE, reg, &data);
}

EXPORT void delay(unsigned int howLong) {
    struct timespec t = {(time_t)(howLong / 1000U), (long)(howLong % 1000U) * 1000000L};
    nanosleep(&t, NULL);
}
