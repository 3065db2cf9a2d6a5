# The modules' hard-iron centres: cache variables holding decimal integers, checked at configure
# time because each lands in the source as a literal (a leading 0 would make it octal) and is
# subtracted in 16-bit arithmetic (anything beyond that range would wrap silently).

# Defines the four offset variables (defaults: the centres measured on the reference board), stops
# the configuration on a value that is not a decimal integer from -32768 to 32767, and sets
# COMPASS_OFFSET_DEFINITIONS, the four as NAME=value for target_compile_definitions (the tests and
# tools take them from there; the top-level build gives the simulated board its hard iron from them).
macro(compass_offsets)
    set(COMPASS_BYPASSMAG_OFFSET_X 30 CACHE STRING "bypassmag hard-iron centre of X, uT (subtracted)")
    set(COMPASS_BYPASSMAG_OFFSET_Y 61 CACHE STRING "bypassmag hard-iron centre of Y, uT (subtracted)")
    set(COMPASS_DIRECTMAG_OFFSET_X 4 CACHE STRING "directmag hard-iron centre of X, counts (subtracted)")
    set(COMPASS_DIRECTMAG_OFFSET_Y -273 CACHE STRING "directmag hard-iron centre of Y, counts (subtracted)")
    foreach(_v COMPASS_BYPASSMAG_OFFSET_X COMPASS_BYPASSMAG_OFFSET_Y
               COMPASS_DIRECTMAG_OFFSET_X COMPASS_DIRECTMAG_OFFSET_Y)
        if(NOT "${${_v}}" MATCHES "^-?(0|[1-9][0-9]?[0-9]?[0-9]?[0-9]?)$"
           OR "${${_v}}" LESS -32768 OR "${${_v}}" GREATER 32767)
            message(FATAL_ERROR "${_v} must be a decimal integer from -32768 to 32767 without "
                                "leading zeros, e.g. -273 (got '${${_v}}')")
        endif()
    endforeach()
    set(COMPASS_OFFSET_DEFINITIONS
        "COMPASS_BYPASSMAG_OFFSET_X=(${COMPASS_BYPASSMAG_OFFSET_X})"
        "COMPASS_BYPASSMAG_OFFSET_Y=(${COMPASS_BYPASSMAG_OFFSET_Y})"
        "COMPASS_DIRECTMAG_OFFSET_X=(${COMPASS_DIRECTMAG_OFFSET_X})"
        "COMPASS_DIRECTMAG_OFFSET_Y=(${COMPASS_DIRECTMAG_OFFSET_Y})")
endmacro()
