# Install rules, the CMake package, pkg-config files and the Debian packages.
#
# A host uses exactly one compass module: find_package(compasskit COMPONENTS bypassmag) or
# pkg-config bypassmag (likewise directmag); asking for both is refused. Both files locate the
# install from where they themselves lie, so a kit copied or installed under any prefix works.
# What depends on the bus backend comes from cmake/KitBus.cmake.
include(CMakePackageConfigHelpers)

set(KIT_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/compasskit)

install(TARGETS i2cbus_headers i2cbus_backend EXPORT kit-targets)
install(FILES ${PROJECT_SOURCE_DIR}/i2cbus/include/i2cbus/bus.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/i2cbus COMPONENT dev)

# The simulated board: its static archive for hosts' tests; its shared library only where the
# compass libraries are built on it, then in a package named after its soname.
install(TARGETS i2cbus_sim EXPORT kit-targets ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/simboard/include/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
        COMPONENT dev)
if(KIT_BUS_SHIPPED)
    install(TARGETS i2cbus_sim_shared EXPORT kit-targets
            LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT sim NAMELINK_COMPONENT dev)
endif()

install(EXPORT kit-targets NAMESPACE compasskit:: FILE compasskit-targets.cmake
        DESTINATION ${KIT_CMAKE_DIR} COMPONENT dev)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/compasskit-config.cmake.in
    ${PROJECT_BINARY_DIR}/compasskit-config.cmake INSTALL_DESTINATION ${KIT_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/compasskit-config-version.cmake
    COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/compasskit-config.cmake
              ${PROJECT_BINARY_DIR}/compasskit-config-version.cmake
        DESTINATION ${KIT_CMAKE_DIR} COMPONENT dev)

# pkg-config: the shared module with what its bus needs of a host's link, and what a static link
# of it needs besides; the simulated board (its shared library where the modules are built on it,
# else its archive). The prefix is found from the file's own directory.
file(RELATIVE_PATH KIT_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" KIT_PC_TO_PREFIX ${KIT_PC_TO_PREFIX})
string(JOIN " " KIT_PC_LIBS_PRIVATE ${KIT_BUS_PC_LIBS_PRIVATE} -lm)
foreach(module bypassmag directmag)
    string(TOUPPER ${module} KIT_PC_MODULE_UPPER)
    set(KIT_PC_MODULE ${module})
    configure_file(${CMAKE_CURRENT_LIST_DIR}/module.pc.in ${PROJECT_BINARY_DIR}/${module}.pc @ONLY)
endforeach()
configure_file(${CMAKE_CURRENT_LIST_DIR}/i2cbus_sim.pc.in ${PROJECT_BINARY_DIR}/i2cbus_sim.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/bypassmag.pc ${PROJECT_BINARY_DIR}/directmag.pc
              ${PROJECT_BINARY_DIR}/i2cbus_sim.pc
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)

# --- Debian packages ---------------------------------------------------------------------------

set(KIT_MAINTAINER "compasskit developers <compasskit@example.org>" CACHE STRING
    "Maintainer of the Debian packages: \"Name <address>\"")
if(NOT KIT_MAINTAINER MATCHES "^[^<>@]*[^<>@ ] <[^<>@ ]+@[^<>@ ]+\\.[^<>@ ]+>$")
    message(FATAL_ERROR "KIT_MAINTAINER must read \"Name <user@host.domain>\" (got '${KIT_MAINTAINER}')")
endif()

if(KIT_DEB_ARCH)
    set(_kit_deb_arch ${KIT_DEB_ARCH})
else()
    execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE _kit_deb_arch
                    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
set(KIT_DEB_ARCH_RESOLVED ${_kit_deb_arch})

# component -> package, and what each package says of itself (synopsis, then the long text).
set(KIT_DEB_COMPONENTS client bypassmag directmag dev)
set(_kit_pkg_client compasskit-client)
set(_kit_pkg_bypassmag libbypassmag${PROJECT_VERSION_MAJOR})
set(_kit_pkg_directmag libdirectmag${PROJECT_VERSION_MAJOR})
set(_kit_pkg_dev compasskit-dev)
set(_kit_pkg_tools compasskit-tools)
set(_kit_pkg_sim libi2cbus-sim${PROJECT_VERSION_MAJOR})
set(_kit_section_client net)
set(_kit_section_bypassmag libs)
set(_kit_section_directmag libs)
set(_kit_section_dev libdevel)
set(_kit_section_tools embedded)
set(_kit_section_sim libs)
set(_kit_desc_client "one-shot UDP client: one request datagram, one reply
client prompts for a word, sends one fixed request datagram to UDP port
5035 of the server it was built for, waits for the one reply and prints it.")
set(_kit_desc_bypassmag "compass heading from a magnetometer behind a motion sensor
The bypassmag library gives the heading of the board relative to its first
reading, from an AK8975-type magnetometer reached through the I2C bypass of
an MPU-6050/9150 motion sensor, and an averaged reading.")
set(_kit_desc_directmag "compass heading from a stand-alone magnetometer
The directmag library gives the heading of the board relative to its first
reading, from an HMC5883L magnetometer on the I2C bus.")
set(_kit_desc_dev "compasskit development files and simulated board
Headers, static archives, CMake package and pkg-config files for programs
that link one of the compass libraries bypassmag or directmag, and the
simulated I2C board with models of the sensors, for testing such programs
without hardware.")
set(_kit_desc_tools "compass heading monitor and calibration helper
compass-monitor-bypassmag and compass-monitor-directmag print the heading a
compass library reads, at a fixed pace; compass-calibrate measures the
hard-iron offsets of the board's magnetometer to rebuild the libraries with.")
set(_kit_desc_sim "simulated I2C board with compass sensor models
The shared library behind compass libraries built for the simulated board:
the bus calls over a simulated I2C bus carrying an MPU-6050/9150 with an
AK8975 behind its bypass and an HMC5883L.")
if(KIT_BUILD_TOOLS)
    list(APPEND KIT_DEB_COMPONENTS tools)
endif()
if(KIT_BUS_SHIPPED)
    list(APPEND KIT_DEB_COMPONENTS sim)
endif()

# Every package carries the licence and the changelog (gzip -n: no time stamp inside).
set(_kit_debian ${PROJECT_BINARY_DIR}/debian)
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/debian/changelog.in _kit_changelog_head LIMIT_COUNT 1)
if(NOT _kit_changelog_head MATCHES "^compasskit \\(${PROJECT_VERSION}\\) ")
    message(FATAL_ERROR "cmake/debian/changelog.in does not start with version ${PROJECT_VERSION}: "
                        "add an entry for it")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/copyright.in ${_kit_debian}/copyright @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/changelog.in ${_kit_debian}/changelog @ONLY)
kit_gzip(${_kit_debian}/changelog ${_kit_debian}/changelog.gz)
foreach(c IN LISTS KIT_DEB_COMPONENTS)
    install(FILES ${_kit_debian}/copyright ${_kit_debian}/changelog.gz
            DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${_kit_pkg_${c}} COMPONENT ${c} EXCLUDE_FROM_ALL)
endforeach()

# Shared libraries announce themselves through shlibs and refresh the linker cache by trigger.
file(WRITE ${_kit_debian}/triggers "activate-noawait ldconfig\n")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME compasskit)
set(CPACK_PACKAGE_VENDOR "compasskit developers")
set(CPACK_PACKAGE_CONTACT ${KIT_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY ${PROJECT_DESCRIPTION})
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/KitCPackOptions.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/KitDebTriggers.cmake)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL ${KIT_DEB_COMPONENTS})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${_kit_deb_arch})
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
# Depends come from what the binaries need, by dpkg-shlibdeps (for the target architecture in a
# cross build: see KitCPackOptions.cmake). The kit's own libraries are not installed where it
# looks, so those are stated below; it finds them in the staged packages next door.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ../sim/usr/${CMAKE_INSTALL_LIBDIR})
if(KIT_BUS_LIBRARY_DIR)
    list(APPEND CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${KIT_BUS_LIBRARY_DIR})
endif()
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
foreach(c IN LISTS KIT_DEB_COMPONENTS)
    string(TOUPPER ${c} C)
    set(CPACK_DEBIAN_${C}_PACKAGE_NAME ${_kit_pkg_${c}})
    set(CPACK_DEBIAN_${C}_PACKAGE_SECTION ${_kit_section_${c}})
    set(CPACK_DEBIAN_${C}_DESCRIPTION ${_kit_desc_${c}})
endforeach()
foreach(c bypassmag directmag sim)
    string(TOUPPER ${c} C)
    set(CPACK_DEBIAN_${C}_PACKAGE_CONTROL_EXTRA ${_kit_debian}/triggers)
endforeach()
# Libraries built on a bus that is not the C library's bring its package along.
set(_kit_bus_depends ${KIT_BUS_DEB_DEPENDS})
if(KIT_BUS_SHIPPED)
    set(_kit_bus_depends "${_kit_pkg_sim} (= ${PROJECT_VERSION})")
endif()
if(_kit_bus_depends)
    foreach(C BYPASSMAG DIRECTMAG TOOLS)
        set(CPACK_DEBIAN_${C}_PACKAGE_DEPENDS ${_kit_bus_depends})
    endforeach()
endif()
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS
    "${_kit_pkg_bypassmag} (= ${PROJECT_VERSION}), ${_kit_pkg_directmag} (= ${PROJECT_VERSION})")
if(KIT_BUS_SHIPPED)
    string(APPEND CPACK_DEBIAN_DEV_PACKAGE_DEPENDS ", ${_kit_pkg_sim} (= ${PROJECT_VERSION})")
endif()
# cpack, wherever it is run from, writes the packages (and its _CPack_Packages work tree) into the
# build tree, not the current directory; -B overrides.
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
include(CPack)
