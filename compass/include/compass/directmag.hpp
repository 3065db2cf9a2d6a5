// The directmag module: a stand-alone magnetometer in continuous measurement.
#pragma once

#if defined(COMPASS_MODULE_BYPASSMAG)
#error "compass/directmag.hpp included, but this program links bypassmag"
#endif

#include "compass/compass.hpp"
