// The bypassmag module: a magnetometer behind a motion sensor's I2C bypass; adds an averaged
// reading.
#pragma once

#if defined(COMPASS_MODULE_DIRECTMAG)
#error "compass/bypassmag.hpp included, but this program links directmag (which has no avg_magneto)"
#endif

#include "compass/compass.hpp"

// The circular mean of val back-to-back readings, in (0, 360]; NaN when val is below 1.
COMPASS_API double avg_magneto(int val, int fd1);
