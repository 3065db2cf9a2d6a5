# Builds the Debian packages of a configured build tree with CPack and checks what they say and hold.
#   cmake -DBUILD_DIR=.. -DARCH=armhf -DVERSION=1.0.0 -P deb_test.cmake
cmake_minimum_required(VERSION 3.25)

set(out ${BUILD_DIR}/packages)
file(REMOVE_RECURSE ${out})
execute_process(COMMAND cpack -G DEB --config ${BUILD_DIR}/CPackConfig.cmake -B ${out}
                RESULT_VARIABLE rc OUTPUT_VARIABLE log ERROR_VARIABLE log)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "cpack failed:\n${log}")
endif()

# package -> files it must hold (relative to /usr) and what it must depend on
set(pkg_compasskit-client "bin/client")
set(pkg_libbypassmag1 "lib/libbypassmag.so.1;lib/libbypassmag.so.${VERSION}")
set(pkg_libdirectmag1 "lib/libdirectmag.so.1;lib/libdirectmag.so.${VERSION}")
set(pkg_compasskit-dev "include/compass/compass.hpp;include/compass/bypassmag.hpp;include/compass/directmag.hpp;include/i2cbus/bus.h;lib/libbypassmag.a;lib/libdirectmag.a;lib/libbypassmag.so;lib/libdirectmag.so;lib/libi2cbus_sim.a;lib/pkgconfig/bypassmag.pc;lib/pkgconfig/directmag.pc;lib/cmake/compasskit/compasskit-config.cmake")

set(libc "libc6 \\(>= 2\\.34\\)")
set(dep_compasskit-client ${libc})
set(dep_libbypassmag1 ${libc})
set(dep_libdirectmag1 ${libc})
set(dep_compasskit-dev "libbypassmag1 \\(= ${VERSION}\\), libdirectmag1 \\(= ${VERSION}\\)")

foreach(pkg compasskit-client libbypassmag1 libdirectmag1 compasskit-dev)
    set(deb ${out}/${pkg}_${VERSION}_${ARCH}.deb)
    if(NOT EXISTS ${deb})
        file(GLOB made ${out}/*.deb)
        message(FATAL_ERROR "missing package ${deb}; made: ${made}")
    endif()
    execute_process(COMMAND dpkg-deb --info ${deb} OUTPUT_VARIABLE info RESULT_VARIABLE rc)
    execute_process(COMMAND dpkg-deb --contents ${deb} OUTPUT_VARIABLE contents)
    if(NOT rc EQUAL 0 OR NOT info MATCHES "Package: ${pkg}\n" OR NOT info MATCHES "Architecture: ${ARCH}\n"
       OR NOT info MATCHES "Version: ${VERSION}\n" OR NOT info MATCHES "Depends: ${dep_${pkg}}")
        message(FATAL_ERROR "${pkg}: unexpected metadata:\n${info}")
    endif()
    foreach(f IN LISTS pkg_${pkg})
        if(NOT contents MATCHES "\\./usr/${f}( -> [^\n]*)?\n")
            message(FATAL_ERROR "${pkg}: ${f} missing:\n${contents}")
        endif()
    endforeach()
    # Nothing of the tests, examples or benchmarks is shipped.
    if(contents MATCHES "(test|bench|echo_server|heading_monitor|calibrate)")
        message(FATAL_ERROR "${pkg}: ships something that is not the kit's:\n${contents}")
    endif()
    message(STATUS "${pkg}: ok\n${contents}")
endforeach()

# The module packages ship only their module.
execute_process(COMMAND dpkg-deb --contents ${out}/libbypassmag1_${VERSION}_${ARCH}.deb OUTPUT_VARIABLE c)
if(c MATCHES "directmag|client")
    message(FATAL_ERROR "libbypassmag1 holds more than bypassmag:\n${c}")
endif()
