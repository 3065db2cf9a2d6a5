# Installs the kit into a staging prefix other than the configured one and moves it elsewhere, then
# builds outside hosts against it the two ways a user would (find_package and pkg-config) and runs
# them, and the board tools, on the simulated board. A second kit, on /dev/i2c-N, gets pkg-config
# hosts too.
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

set(moved ${WORK_DIR}/moved-sim)
file(REMOVE_RECURSE ${WORK_DIR})
set(toolchain_arg "")
if(TOOLCHAIN)
    set(toolchain_arg --toolchain ${TOOLCHAIN})
endif()

# The kit with its shared modules and tools on the simulated board, and one with only the modules on
# a bus no machine has. Configured for a prefix that does not exist: nothing installed may lead there.
set(kit_args_i2cdev -DCOMPASS_I2C_BUS=1048575 -DKIT_BUILD_TOOLS=OFF -DKIT_BUILD_EXAMPLES=OFF)
foreach(bus sim i2cdev)
    run(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR}/kit-${bus} ${toolchain_arg} -DCOMPASS_BUS=${bus}
        ${kit_args_${bus}} -DKIT_BUILD_TESTS=OFF -DKIT_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Release
        -DCMAKE_INSTALL_PREFIX=/nonexistent/compasskit)
    run(${CMAKE_COMMAND} --build ${WORK_DIR}/kit-${bus} -j2)
    run(${CMAKE_COMMAND} --install ${WORK_DIR}/kit-${bus} --prefix ${WORK_DIR}/stage-${bus})
    file(RENAME ${WORK_DIR}/stage-${bus} ${WORK_DIR}/moved-${bus})
endforeach()

foreach(f bin/client bin/compass-calibrate bin/compass-monitor-bypassmag bin/compass-monitor-directmag
          share/man/man1/client.1.gz share/man/man1/compass-calibrate.1.gz
          share/man/man1/compass-monitor-bypassmag.1.gz share/man/man1/compass-monitor-directmag.1.gz
          include/i2cbus/bus.h include/sim/board.hpp ${LIBDIR}/libbypassmag.so
          ${LIBDIR}/libbypassmag.a ${LIBDIR}/libdirectmag.so ${LIBDIR}/libdirectmag.a
          ${LIBDIR}/libi2cbus_sim.a ${LIBDIR}/libi2cbus_sim.so ${LIBDIR}/pkgconfig/bypassmag.pc
          ${LIBDIR}/pkgconfig/directmag.pc ${LIBDIR}/pkgconfig/i2cbus_sim.pc
          ${LIBDIR}/cmake/compasskit/compasskit-config.cmake)
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

    # pkg-config: the same host, compiled by hand with nothing but what pkg-config says, finding the
    # kit at run time by the path written into it. A module built on the simulated board brings it
    # along; on i2c-dev the host adds the board's archive, and the module finds no bus.
    set(pc_sim ${module})
    set(pc_i2cdev ${module} i2cbus_sim)
    set(expect_sim "^0 setup success\\.\n")
    set(expect_i2cdev "^1 Error while setting up\\.\n")
    foreach(bus sim i2cdev)
        set(ENV{PKG_CONFIG_PATH} ${WORK_DIR}/moved-${bus}/${LIBDIR}/pkgconfig)
        set(ENV{PKG_CONFIG_LIBDIR} ${WORK_DIR}/moved-${bus}/${LIBDIR}/pkgconfig)
        run(pkg-config --cflags --libs ${pc_${bus}})
        string(STRIP "${run_out}" flags)
        run(pkg-config --variable=libdir ${module})
        string(STRIP "-Wl,-rpath,${run_out} ${flags}" flags)
        separate_arguments(flags UNIX_COMMAND "${flags}")
        set(exe ${WORK_DIR}/pc-host-${module}-${bus})
        run(${CXX} -std=c++20 -DHOST_MODULE_${module} ${host_src}/host.cpp ${flags} -o ${exe})
        execute_process(COMMAND ${RUN_PREFIX} ${exe} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
        if(NOT "${rc} ${out}" MATCHES "${expect_${bus}}")
            message(FATAL_ERROR "pkg-config host, ${module} on ${bus}: exit ${rc}:\n${out}")
        endif()
        message(STATUS "pkg-config host, ${module} on ${bus}: ${out}")
    endforeach()
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
