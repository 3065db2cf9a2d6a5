# The simulated board's sources and its build settings, in one place for every build that compiles
# it: the kit's (simboard/CMakeLists.txt) and the fuzz targets' (tests/fuzz).
#
# Its hard iron is a setting of the board itself: SIMBOARD_BYPASS_HARD_IRON (uT on the axes of the
# magnetometer behind the motion sensor) and SIMBOARD_STANDALONE_HARD_IRON (counts on the
# stand-alone magnetometer's axes), three numbers each; empty is none. The kit's build sets both to
# the centres its offsets are configured with, so the board it simulates is the one it is
# calibrated for.
set(SIMBOARD_BYPASS_HARD_IRON "" CACHE STRING "Simulated board: hard iron behind the motion sensor, X;Y;Z uT")
set(SIMBOARD_STANDALONE_HARD_IRON "" CACHE STRING "Simulated board: stand-alone hard iron, X;Y;Z counts")
set(SIMBOARD_DEFINITIONS "")
foreach(_hi BYPASS STANDALONE)
    set(_value "${SIMBOARD_${_hi}_HARD_IRON}")
    if(_value STREQUAL "")
        continue()
    endif()
    if(_hi STREQUAL "BYPASS")
        set(_number "-?(0|[1-9][0-9]*)(\\.[0-9]+)?")
    else()
        set(_number "-?(0|[1-9][0-9]*)")  # whole counts, no octal
    endif()
    string(REPLACE " " ";" _value "${_value}")
    list(LENGTH _value _n)
    list(JOIN _value "," _joined)
    if(NOT _n EQUAL 3 OR NOT _joined MATCHES "^${_number},${_number},${_number}$")
        message(FATAL_ERROR "SIMBOARD_${_hi}_HARD_IRON must be three numbers X;Y;Z (got '${_value}')")
    endif()
    list(APPEND SIMBOARD_DEFINITIONS "SIMBOARD_${_hi}_HARD_IRON=${_joined}")
endforeach()

set(SIMBOARD_SOURCES)
foreach(_src board bus commands parts scenes scene mpu6050 ak8975 hmc5883l qmc5883l qmc5883p
             register_file)
    list(APPEND SIMBOARD_SOURCES ${CMAKE_CURRENT_LIST_DIR}/src/${_src}.cpp)
endforeach()
set(SIMBOARD_INCLUDE_DIRS ${CMAKE_CURRENT_LIST_DIR}/include ${CMAKE_CURRENT_LIST_DIR}/src)
