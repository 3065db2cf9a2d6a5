# Installs the kit into a staging prefix, then builds outside hosts against it the two ways a user
# would (find_package and pkg-config) and runs them on the simulated board.
#   cmake -DSOURCE_DIR=.. -DWORK_DIR=.. [-DTOOLCHAIN=..] [-DRUN_PREFIX=..] [-DCXX=..] -P install_test.cmake
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
file(REMOVE_RECURSE ${WORK_DIR})
set(toolchain_arg "")
if(TOOLCHAIN)
    set(toolchain_arg --toolchain ${TOOLCHAIN})
endif()

# The kit itself, with its shared modules on the simulated board.
run(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${kit} ${toolchain_arg} -DCOMPASS_BUS=sim
    -DKIT_BUILD_TESTS=OFF -DKIT_BUILD_EXAMPLES=OFF -DKIT_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Release)
run(${CMAKE_COMMAND} --build ${kit} -j2)
run(${CMAKE_COMMAND} --install ${kit} --prefix ${stage})

foreach(f bin/client include/i2cbus/bus.h include/sim/board.hpp lib/libbypassmag.so
          lib/libbypassmag.a lib/libdirectmag.so lib/libdirectmag.a lib/libi2cbus_sim.a
          lib/pkgconfig/bypassmag.pc lib/pkgconfig/directmag.pc
          lib/cmake/compasskit/compasskit-config.cmake)
    if(NOT EXISTS ${stage}/${f})
        message(FATAL_ERROR "not installed: ${f}")
    endif()
endforeach()

set(host_src ${CMAKE_CURRENT_LIST_DIR}/host)
foreach(module bypassmag directmag)
    # find_package: the shared module and the simulated board as imported targets.
    set(b ${WORK_DIR}/host-${module})
    run(${CMAKE_COMMAND} -S ${host_src} -B ${b} ${toolchain_arg} -DMODULE=${module}
        -Dcompasskit_DIR=${stage}/lib/cmake/compasskit)
    run(${CMAKE_COMMAND} --build ${b})
    run(${RUN_PREFIX} ${b}/host)
    message(STATUS "find_package host, ${module}: ${run_out}")

    # pkg-config: the same host, compiled by hand.
    set(ENV{PKG_CONFIG_PATH} ${stage}/lib/pkgconfig)
    set(ENV{PKG_CONFIG_LIBDIR} ${stage}/lib/pkgconfig)
    run(pkg-config --cflags --libs ${module})
    string(STRIP "${run_out}" flags)
    separate_arguments(flags UNIX_COMMAND "${flags}")
    run(${CXX} -std=c++20 -DHOST_MODULE_${module} -I${stage}/include ${host_src}/host.cpp ${flags}
        -L${stage}/lib -li2cbus_sim -Wl,-rpath,${stage}/lib -o ${WORK_DIR}/pc-host-${module})
    run(${RUN_PREFIX} ${WORK_DIR}/pc-host-${module})
    message(STATUS "pkg-config host, ${module}: ${run_out}")
endforeach()

# Both modules in one program is refused when the package is asked for them.
execute_process(COMMAND ${CMAKE_COMMAND} -S ${host_src} -B ${WORK_DIR}/host-both ${toolchain_arg}
                        -DMODULE=both -Dcompasskit_DIR=${stage}/lib/cmake/compasskit
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(rc EQUAL 0 OR NOT "${out}${err}" MATCHES "directmag were both requested")
    message(FATAL_ERROR "asking for both modules was not refused:\n${out}\n${err}")
endif()
message(STATUS "both modules refused, as they should be")
