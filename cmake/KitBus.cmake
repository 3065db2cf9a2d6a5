# COMPASS_BUS, the bus backend the shared compass libraries and the board tools are linked against,
# and everything that follows from it. The rest of the build reads the KIT_BUS_* variables set here
# and never branches on COMPASS_BUS itself. Included once the backends' targets exist (i2cbus/).
#
#   KIT_BUS_TARGET          what the shared libraries and tools link for the four bus calls
#   KIT_BUS_SIMULATED       TRUE when that is the simulated board (the tools can turn it themselves)
#   KIT_BUS_WIRINGPI        TRUE when that is wiringPi, which picks /dev/i2c-N itself from the board's
#                           revision (the tools then look at the bus it will open)
#   KIT_BUS_SHIPPED         TRUE when the kit ships the backend as a shared library of its own (then
#                           in its own package, which the libraries and tools depend on)
#   KIT_BUS_DEB_DEPENDS     what the packages with libraries or tools depend on for an outside backend
#   KIT_BUS_LIBRARY_DIR     where dpkg-shlibdeps finds an outside backend's library
#   KIT_BUS_PC_REQUIRES     pkg-config modules a host of a shared module links too
#   KIT_BUS_PC_LIBS_PRIVATE what a static link of a module needs for its bus
#   KIT_BUS_NEEDED          regex (| separated) of the sonames a shared module may need for its bus

# Where wiringPi is installed it is the natural choice; elsewhere the kit's own i2c-dev backend.
if(TARGET kit::wiringpi)
    set(_kit_default_bus wiringpi)
else()
    set(_kit_default_bus i2cdev)
endif()
set(COMPASS_BUS ${_kit_default_bus} CACHE STRING "Bus backend of the shared compass libraries")
set_property(CACHE COMPASS_BUS PROPERTY STRINGS wiringpi i2cdev sim)

set(KIT_BUS_SIMULATED FALSE)
set(KIT_BUS_WIRINGPI FALSE)
set(KIT_BUS_SHIPPED FALSE)
set(KIT_BUS_DEB_DEPENDS "")
set(KIT_BUS_LIBRARY_DIR "")
set(KIT_BUS_PC_REQUIRES "")
set(KIT_BUS_PC_LIBS_PRIVATE "")
set(KIT_BUS_NEEDED "")
if(COMPASS_BUS STREQUAL "wiringpi")
    if(NOT TARGET kit::wiringpi)
        message(FATAL_ERROR
            "COMPASS_BUS=wiringpi, but wiringPi (wiringPiI2C.h and libwiringPi) was not found.\n"
            "Install the board's wiringPi, give the prefix of an install with -DKIT_WIRINGPI_ROOT=DIR "
            "(scripts/wiringpi.sh builds wiringPi 2.25 into one), or configure with "
            "-DCOMPASS_BUS=i2cdev to use the kit's own backend over /dev/i2c-${COMPASS_I2C_BUS}.")
    endif()
    # wiringPiI2CSetup opens the bus it picks from the board's revision (/proc/cpuinfo): /dev/i2c-0
    # on the first Raspberry Pi (revisions 0002, 0003), /dev/i2c-1 on every other.
    set(_kit_wiringpi_bus "wiringPi picks the libraries' bus itself from the board's revision: "
                          "/dev/i2c-1, /dev/i2c-0 on a first Raspberry Pi (revision 0002 or 0003)")
    if(COMPASS_I2C_BUS STREQUAL "1")
        message(STATUS ${_kit_wiringpi_bus})
    else()
        message(WARNING ${_kit_wiringpi_bus} "; COMPASS_I2C_BUS=${COMPASS_I2C_BUS} does not move it. "
                        "For the sensors on /dev/i2c-${COMPASS_I2C_BUS} configure with -DCOMPASS_BUS=i2cdev.")
    endif()
    set(KIT_BUS_TARGET kit::wiringpi)
    set(KIT_BUS_WIRINGPI TRUE)
    set(KIT_BUS_DEB_DEPENDS wiringpi)
    get_filename_component(KIT_BUS_LIBRARY_DIR ${KIT_WIRINGPI_LIBRARY} DIRECTORY)
    # wiringPi ships no pkg-config file; its library sits in the system's search path.
    set(KIT_BUS_PC_LIBS_PRIVATE -lwiringPi)
    set(KIT_BUS_NEEDED "libwiringPi\\.so.*")
elseif(COMPASS_BUS STREQUAL "i2cdev")
    # Linked into the shared libraries whole: nothing to depend on, nothing for a host to add.
    set(KIT_BUS_TARGET kit::i2cbus_i2cdev)
    set(KIT_BUS_PC_LIBS_PRIVATE -li2cbus_i2cdev)
elseif(COMPASS_BUS STREQUAL "sim")
    # The host links the simulated board itself: it steers the very board the module reads, and the
    # linker finds the module's dependency through it under any prefix.
    set(KIT_BUS_TARGET kit::i2cbus_sim_shared)
    set(KIT_BUS_SIMULATED TRUE)
    set(KIT_BUS_SHIPPED TRUE)
    set(KIT_BUS_PC_REQUIRES i2cbus_sim)
    set(KIT_BUS_NEEDED "libi2cbus_sim\\.so(\\.[0-9]+)*")
else()
    message(FATAL_ERROR "COMPASS_BUS must be wiringpi, i2cdev or sim (got '${COMPASS_BUS}')")
endif()
message(STATUS "Compass bus backend: ${COMPASS_BUS}")

# What the shared compass libraries and the board tools link for their bus.
add_library(i2cbus_backend INTERFACE)
add_library(kit::i2cbus_backend ALIAS i2cbus_backend)
target_link_libraries(i2cbus_backend INTERFACE ${KIT_BUS_TARGET})
