# Configures the kit for the board's wiringPi and checks the outcome.
#   MODE=stub:    with a stub libwiringPi.so (made here), builds the shared compass libraries and
#                 checks they need libwiringPi.so and take the four bus calls from it.
#   MODE=missing: with no wiringPi to be found, configuring must fail with the explanation.
#   MODE=real:    with wiringPi 2.25 as scripts/wiringpi.sh builds it (its prefix in WIRINGPI_ROOT,
#                 named by -DKIT_WIRINGPI_ROOT as the README says), the same checks, then a host of
#                 directmag linked against both, run where it can tell what wiringPi does.
cmake_minimum_required(VERSION 3.25)

function(fail)
    string(JOIN "" text ${ARGN})
    message(FATAL_ERROR "${text}")
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
set(kit_args -S ${SOURCE_DIR} -B ${WORK_DIR}/kit -G ${GENERATOR}
    -DCMAKE_C_COMPILER=${C_COMPILER} -DCMAKE_CXX_COMPILER=${CXX_COMPILER}
    -DCMAKE_BUILD_TYPE=MinSizeRel -DCOMPASS_BUS=wiringpi -DKIT_BUILD_TESTS=OFF
    -DKIT_BUILD_TOOLS=OFF -DKIT_BUILD_EXAMPLES=OFF -DKIT_BUILD_BENCH=OFF -DKIT_INSTALL=OFF)
if(MAKE_PROGRAM)
    list(APPEND kit_args -DCMAKE_MAKE_PROGRAM=${MAKE_PROGRAM})
endif()

if(MODE STREQUAL "missing")
    # Searching only below an empty root keeps a wiringPi installed on this machine out of sight.
    file(MAKE_DIRECTORY ${WORK_DIR}/empty-root)
    execute_process(COMMAND ${CMAKE_COMMAND} ${kit_args}
                            -DCMAKE_FIND_ROOT_PATH=${WORK_DIR}/empty-root
                            -DCMAKE_FIND_ROOT_PATH_MODE_LIBRARY=ONLY
                            -DCMAKE_FIND_ROOT_PATH_MODE_INCLUDE=ONLY
                    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(rc EQUAL 0)
        fail("configuring with COMPASS_BUS=wiringpi and no wiringPi succeeded:\n" "${out}")
    endif()
    foreach(expected "COMPASS_BUS=wiringpi, but wiringPi" "-DCOMPASS_BUS=i2cdev")
        string(FIND "${out}" "${expected}" at)
        if(at EQUAL -1)
            fail("configure failed without saying '${expected}':\n" "${out}")
        endif()
    endforeach()
    return()
endif()

if(MODE STREQUAL "real")
    set(wiringpi_args -DKIT_WIRINGPI_ROOT=${WIRINGPI_ROOT})
    set(wiringpi_lib ${WIRINGPI_ROOT}/lib/libwiringPi.so)
else()
    # A stand-in for the board's wiringPi: only the four calls, enough to prove the link line.
    set(stub ${WORK_DIR}/stub)
    file(WRITE ${stub}/include/wiringPiI2C.h [=[
/* Stand-in header: the test only needs it to exist. */
int wiringPiI2CSetup(int devId);
int wiringPiI2CReadReg8(int fd, int reg);
int wiringPiI2CWriteReg8(int fd, int reg, int data);
]=])
    file(WRITE ${stub}/src/stub.c [=[
int wiringPiI2CSetup(int devId) { return devId; }
int wiringPiI2CReadReg8(int fd, int reg) { return fd + reg; }
int wiringPiI2CWriteReg8(int fd, int reg, int data) { return fd + reg + data; }
void delay(unsigned int howLong) { (void)howLong; }
]=])
    file(MAKE_DIRECTORY ${stub}/lib)
    execute_process(COMMAND ${C_COMPILER} -shared -fPIC -Wl,-soname,libwiringPi.so
                            -o ${stub}/lib/libwiringPi.so ${stub}/src/stub.c
                    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(NOT rc EQUAL 0)
        fail("could not build the stub wiringPi:\n" "${out}")
    endif()
    set(wiringpi_args -DCMAKE_PREFIX_PATH=${stub})
    set(wiringpi_lib ${stub}/lib/libwiringPi.so)
endif()

execute_process(COMMAND ${CMAKE_COMMAND} ${kit_args} ${wiringpi_args}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
    fail("configuring with the ${MODE} wiringPi failed:\n" "${out}")
endif()
foreach(expected "wiringPi: ${wiringpi_lib}" "Compass bus backend: wiringpi")
    string(FIND "${out}" "${expected}" at)
    if(at EQUAL -1)
        fail("configure output lacks '${expected}':\n" "${out}")
    endif()
endforeach()

set(libs bypassmag directmag)
execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK_DIR}/kit --target ${libs} -j2
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
    fail("building ${libs} against the ${MODE} wiringPi failed:\n" "${out}")
endif()

# The stand-alone magnetometer measures continuously: directmag never pauses.
set(bypassmag_calls wiringPiI2CSetup wiringPiI2CReadReg8 wiringPiI2CWriteReg8 delay)
set(directmag_calls wiringPiI2CSetup wiringPiI2CReadReg8 wiringPiI2CWriteReg8)
foreach(lib IN LISTS libs)
    file(GLOB_RECURSE so LIST_DIRECTORIES false ${WORK_DIR}/kit/lib${lib}.so)
    list(LENGTH so n)
    if(NOT n EQUAL 1)
        fail("expected one lib${lib}.so in the build tree, found: ${so}")
    endif()
    execute_process(COMMAND ${READELF} -d ${so} OUTPUT_VARIABLE dyn RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0 OR NOT dyn MATCHES "\\(NEEDED\\)[^\n]*\\[libwiringPi\\.so\\]")
        fail("lib${lib}.so does not need libwiringPi.so:\n" "${dyn}")
    endif()
    # The calls come from wiringPi at load time: none may be bound inside the library.
    execute_process(COMMAND ${NM} -D ${so} OUTPUT_VARIABLE syms RESULT_VARIABLE rc)
    foreach(call IN LISTS ${lib}_calls)
        if(NOT syms MATCHES "(^|\n) +U ${call}(@[^\n]*)?\n")
            fail("lib${lib}.so does not take ${call} from outside:\n" "${syms}")
        endif()
    endforeach()
    execute_process(COMMAND ${NM} ${so} OUTPUT_VARIABLE all ERROR_QUIET)
    if(all MATCHES "[0-9a-f]+ [Tt] wiringPiI2CSetup\n")
        fail("lib${lib}.so carries its own wiringPiI2CSetup next to wiringPi's")
    endif()
endforeach()

if(NOT MODE STREQUAL "real")
    return()
endif()
# A host links the module and wiringPi with nothing left unresolved (wiringPi 2.25 takes roundf
# from the libm the module brings), and at run time the real library answers: off a Raspberry Pi
# (no "Hardware" line in /proc/cpuinfo) wiringPiI2CSetup cannot tell the board's revision, so it
# says so and ends the host with status 1 before any bus is opened.
file(WRITE ${WORK_DIR}/host.cpp [=[
#include <cstdio>
#include "compass/directmag.hpp"
int main() {
    std::printf("handle %d\n", setup_magneto());
    return 0;
}
]=])
get_filename_component(so_dir ${so} DIRECTORY)
execute_process(COMMAND ${CXX_COMPILER} -std=c++20 -Wall -Werror -I${SOURCE_DIR}/compass/include
                        -DCOMPASS_MODULE_DIRECTMAG ${WORK_DIR}/host.cpp -o ${WORK_DIR}/host
                        -L${so_dir} -ldirectmag -Wl,-rpath,${so_dir}:${WIRINGPI_ROOT}/lib
                        -Wl,-rpath-link,${WIRINGPI_ROOT}/lib
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
    fail("a host of directmag does not link with wiringPi ${WIRINGPI_ROOT}:\n" "${out}")
endif()
file(STRINGS /proc/cpuinfo hardware REGEX "^Hardware")
if(hardware)
    message(STATUS "a board that names its hardware (${hardware}): the host is not run here")
    return()
endif()
execute_process(COMMAND ${WORK_DIR}/host RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 1 OR NOT out STREQUAL ""
   OR NOT err MATCHES "^piBoardRev: Unable to determine board revision from /proc/cpuinfo\n -> No \"Hardware\" line\n")
    fail("off a Raspberry Pi, wiringPi's set-up should end the host with status 1 and its message; "
         "got status ${rc}, output '${out}', errors '${err}'")
endif()
