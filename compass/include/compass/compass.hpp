// What a host sees of a compass module: set-up, one relative reading, and the module's latch state.
// A program links exactly one module (bypassmag or directmag); both define these names.
#pragma once

#if defined(COMPASS_MODULE_BYPASSMAG) && defined(COMPASS_MODULE_DIRECTMAG)
#error \
    "compass: this program links both bypassmag and directmag; they define the same names, link exactly one"
#endif

#if defined(__GNUC__)
#define COMPASS_API __attribute__((visibility("default")))
#else
#define COMPASS_API
#endif

// Opens and configures the sensor(s), printing one line per device; returns the magnetometer's
// handle (negative when it could not be opened). Call once, before any reading.
COMPASS_API int setup_magneto();

// One reading: degrees turned since the reference latched by the first reading of the process.
COMPASS_API double get_magneto(int fd);

// 0 until the first reading latches comp_angl, then 1. Writing 0 makes the next reading re-latch.
COMPASS_API extern int flagx;
// The latched reference: absolute heading in degrees, [0, 360).
COMPASS_API extern double comp_angl;
