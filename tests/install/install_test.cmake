# Installs the kit into a staging prefix other than the configured one and moves it elsewhere, then
# builds outside hosts against it the two ways a user would (find_package and pkg-config) and runs
# them, and the board tools, on the simulated board.
#   cmake -DSOURCE_DIR=.. -DWORK_DIR=.. -DLIBDIR=lib/<triplet> [-DTOOLCHAIN=..] [-DRUN_PREFIX=..]
#         [-DCXX=..] -P install_test.cmake
cmake_minimum_required(VERSION 3.25)

function(run)
    execute_process(COMMAND ${ARGV} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT rc EQUAL 0)
        string(JOIN " " cmd ${ARGV})
        message(FATAL_ERROR "failed (${rc}): ${cmd}\n${out}\n${err}")
    endif()
    set(run_out "${out}" PARENT_SCOPE)
endfunction()

set(kit ${WORK_DIR}/kit)
set(stage ${WORK_DIR}/stage)
set(moved ${WORK_DIR}/moved)
file(REMOVE_RECURSE ${WORK_DIR})
set(toolchain_arg "")
if(TOOLCHAIN)
    set(toolchain_arg --toolchain ${TOOLCHAIN})
endif()

# The kit itself, with its shared modules and tools on the simulated board. Configured for a prefix
# that does not exist: nothing installed may lead there.
run(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${kit} ${toolchain_arg} -DCOMPASS_BUS=sim
    -DKIT_BUILD_TESTS=OFF -DKIT_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Release
    -DCMAKE_INSTALL_PREFIX=/nonexistent/compasskit)
run(${CMAKE_COMMAND} --build ${kit} -j2)
run(${CMAKE_COMMAND} --install ${kit} --prefix ${stage})
file(RENAME ${stage} ${moved})

foreach(f bin/client bin/compass-calibrate bin/compass-monitor-bypassmag bin/compass-monitor-directmag
          share/man/man1/client.1.gz share/man/man1/compass-calibrate.1.gz
          share/man/man1/compass-monitor-bypassmag.1.gz share/man/man1/compass-monitor-directmag.1.gz
          include/i2cbus/bus.h include/sim/board.hpp ${LIBDIR}/libbypassmag.so
          ${LIBDIR}/libbypassmag.a ${LIBDIR}/libdirectmag.so ${LIBDIR}/libdirectmag.a
          ${LIBDIR}/libi2cbus_sim.a ${LIBDIR}/libi2cbus_sim.so ${LIBDIR}/pkgconfig/bypassmag.pc
          ${LIBDIR}/pkgconfig/directmag.pc ${LIBDIR}/cmake/compasskit/compasskit-config.cmake)
    if(NOT EXISTS ${moved}/${f})
        message(FATAL_ERROR "not installed: ${f}")
    endif()
endforeach()
# The installed programs find the simulated board's library as a board finds the kit's: by the
# loader's search path, not by a path written into them.
set(run_env ${CMAKE_COMMAND} -E env LD_LIBRARY_PATH=${moved}/${LIBDIR})

set(host_src ${CMAKE_CURRENT_LIST_DIR}/host)
foreach(module bypassmag directmag)
    # find_package: the shared module and the simulated board as imported targets.
    set(b ${WORK_DIR}/host-${module})
    run(${CMAKE_COMMAND} -S ${host_src} -B ${b} ${toolchain_arg} -DMODULE=${module}
        -Dcompasskit_DIR=${moved}/${LIBDIR}/cmake/compasskit)
    run(${CMAKE_COMMAND} --build ${b})
    run(${RUN_PREFIX} ${b}/host)
    message(STATUS "find_package host, ${module}: ${run_out}")

    # pkg-config: the same host, compiled by hand with nothing but what pkg-config says (and the
    # simulated board, which sits beside the module).
    set(ENV{PKG_CONFIG_PATH} ${moved}/${LIBDIR}/pkgconfig)
    set(ENV{PKG_CONFIG_LIBDIR} ${moved}/${LIBDIR}/pkgconfig)
    run(pkg-config --cflags --libs ${module})
    string(STRIP "${run_out}" flags)
    separate_arguments(flags UNIX_COMMAND "${flags}")
    run(${CXX} -std=c++20 -DHOST_MODULE_${module} ${host_src}/host.cpp ${flags} -li2cbus_sim
        -o ${WORK_DIR}/pc-host-${module})
    run(${run_env} ${RUN_PREFIX} ${WORK_DIR}/pc-host-${module})
    message(STATUS "pkg-config host, ${module}: ${run_out}")
endforeach()

# Both modules in one program is refused when the package is asked for them.
execute_process(COMMAND ${CMAKE_COMMAND} -S ${host_src} -B ${WORK_DIR}/host-both ${toolchain_arg}
                        -DMODULE=both -Dcompasskit_DIR=${moved}/${LIBDIR}/cmake/compasskit
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(rc EQUAL 0 OR NOT "${out}${err}" MATCHES "directmag were both requested")
    message(FATAL_ERROR "asking for both modules was not refused:\n${out}\n${err}")
endif()
message(STATUS "both modules refused, as they should be")

# The board tools, as installed: the monitor follows a simulated quarter-turn step by step, and the
# calibration helper finds the stand-alone magnetometer's default offsets (within a count).
run(${run_env} ${RUN_PREFIX} ${moved}/bin/compass-monitor-directmag --count 4 --pace-ms 20 --simulate-turn)
if(NOT run_out MATCHES "yaw +0\\.0  heading +0\\.0\nyaw +90\\.0  heading +90\\.0\nyaw +180\\.0  heading +180\\.0\nyaw +270\\.0  heading +270\\.0\n$")
    message(FATAL_ERROR "compass-monitor-directmag: unexpected readings:\n${run_out}")
endif()
run(${run_env} ${RUN_PREFIX} ${moved}/bin/compass-monitor-bypassmag --count 2 --pace-ms 20)
if(NOT run_out MATCHES "Found magneto\\.\nheading 360\\.0\nheading +(359\\.|0\\.|360\\.)[0-9]\n$")
    message(FATAL_ERROR "compass-monitor-bypassmag: unexpected readings:\n${run_out}")
endif()
run(${run_env} ${RUN_PREFIX} ${moved}/bin/compass-calibrate directmag --simulate-turn --turns 2 --duration 10 --pace 14)
if(NOT run_out MATCHES "\n  -DCOMPASS_DIRECTMAG_OFFSET_X=[345] -DCOMPASS_DIRECTMAG_OFFSET_Y=-27[234]\n")
    message(FATAL_ERROR "compass-calibrate: unexpected report:\n${run_out}")
endif()
message(STATUS "installed tools ran on the simulated board")
