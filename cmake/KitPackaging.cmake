# Install rules, the CMake package, pkg-config files and the Debian packages.
#
# A host uses exactly one compass module: find_package(compasskit COMPONENTS bypassmag) or
# pkg-config bypassmag (likewise directmag); asking for both is refused.
include(CMakePackageConfigHelpers)

set(KIT_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/compasskit)

install(TARGETS i2cbus_headers i2cbus_backend EXPORT kit-targets)
install(FILES ${PROJECT_SOURCE_DIR}/i2cbus/include/i2cbus/bus.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/i2cbus COMPONENT dev)

install(EXPORT kit-targets NAMESPACE compasskit:: FILE compasskit-targets.cmake
        DESTINATION ${KIT_CMAKE_DIR} COMPONENT dev)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/compasskit-config.cmake.in
    ${PROJECT_BINARY_DIR}/compasskit-config.cmake INSTALL_DESTINATION ${KIT_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/compasskit-config-version.cmake
    COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/compasskit-config.cmake
              ${PROJECT_BINARY_DIR}/compasskit-config-version.cmake
        DESTINATION ${KIT_CMAKE_DIR} COMPONENT dev)

# pkg-config: the shared module, and what a static link of it needs besides (its bus backend).
if(COMPASS_BUS STREQUAL "wiringpi")
    set(KIT_PC_BUS_LIBS "-lwiringPi")
elseif(COMPASS_BUS STREQUAL "sim")
    set(KIT_PC_BUS_LIBS "-li2cbus_sim")
else()
    set(KIT_PC_BUS_LIBS "-li2cbus_i2cdev")
endif()
foreach(module bypassmag directmag)
    string(TOUPPER ${module} KIT_PC_MODULE_UPPER)
    set(KIT_PC_MODULE ${module})
    configure_file(${CMAKE_CURRENT_LIST_DIR}/module.pc.in ${PROJECT_BINARY_DIR}/${module}.pc @ONLY)
    install(FILES ${PROJECT_BINARY_DIR}/${module}.pc
            DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)
endforeach()

# Debian packages: the client, one runtime package per module, and one for developers.
if(KIT_DEB_ARCH)
    set(_kit_deb_arch ${KIT_DEB_ARCH})
else()
    execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE _kit_deb_arch
                    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME compasskit)
set(CPACK_PACKAGE_VENDOR "compasskit developers")
set(CPACK_PACKAGE_CONTACT "compasskit developers <compasskit@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY ${PROJECT_DESCRIPTION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL client bypassmag directmag dev)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${_kit_deb_arch})
set(KIT_DEB_ARCH_RESOLVED ${_kit_deb_arch})
set(CPACK_DEBIAN_PACKAGE_SECTION embedded)
# Cross builds cannot ask dpkg-shlibdeps about the target's libraries, so the dependencies are
# stated: everything shipped needs the C library only (and libm, which is part of libc6).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= 2.34)")
set(CPACK_DEBIAN_CLIENT_PACKAGE_NAME compasskit-client)
set(CPACK_DEBIAN_BYPASSMAG_PACKAGE_NAME libbypassmag1)
set(CPACK_DEBIAN_DIRECTMAG_PACKAGE_NAME libdirectmag1)
set(CPACK_DEBIAN_DEV_PACKAGE_NAME compasskit-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS
    "libbypassmag1 (= ${PROJECT_VERSION}), libdirectmag1 (= ${PROJECT_VERSION})")
if(COMPASS_BUS STREQUAL "wiringpi")
    foreach(c BYPASSMAG DIRECTMAG)
        set(CPACK_DEBIAN_${c}_PACKAGE_DEPENDS "libc6 (>= 2.34), wiringpi")
    endforeach()
endif()
set(CPACK_COMPONENT_CLIENT_DESCRIPTION "One-shot UDP client that asks the kit's server for an echo")
set(CPACK_COMPONENT_BYPASSMAG_DESCRIPTION "Compass library for a magnetometer behind a motion sensor")
set(CPACK_COMPONENT_DIRECTMAG_DESCRIPTION "Compass library for a stand-alone magnetometer")
set(CPACK_COMPONENT_DEV_DESCRIPTION "Headers, static archives, CMake and pkg-config files, simulated board")
include(CPack)
