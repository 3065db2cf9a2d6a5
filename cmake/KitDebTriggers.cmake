# Run by cpack once the packages are built (CPACK_POST_BUILD_SCRIPTS). CPack gives a package with a
# shared library maintainer scripts that only call ldconfig; Debian refreshes the linker cache by
# the ldconfig trigger those packages declare instead, so they are repacked without the scripts.
# Being co-installable across architectures (their files lie in the multiarch directory), they
# say so: Multi-Arch: same, which CPack cannot write.
foreach(deb IN LISTS CPACK_PACKAGE_FILES)
    execute_process(COMMAND dpkg-deb --info ${deb} postinst OUTPUT_VARIABLE postinst ERROR_QUIET)
    if(NOT postinst MATCHES "^#!/bin/sh\n+set -e\n+if \\[ \"\\$1\" = \"configure\" \\]; then\n\tldconfig\nfi\n*$")
        continue()
    endif()
    set(tree ${deb}.tree)
    file(REMOVE_RECURSE ${tree})
    execute_process(COMMAND dpkg-deb --raw-extract ${deb} ${tree} RESULT_VARIABLE rc)
    if(rc EQUAL 0)
        file(REMOVE ${tree}/DEBIAN/postinst ${tree}/DEBIAN/postrm)
        file(READ ${tree}/DEBIAN/control control)
        string(REPLACE "\nDescription:" "\nMulti-Arch: same\nDescription:" control "${control}")
        file(WRITE ${tree}/DEBIAN/control "${control}")
        execute_process(COMMAND dpkg-deb --root-owner-group -Zxz --build ${tree} ${deb}
                        RESULT_VARIABLE rc OUTPUT_QUIET)
    endif()
    file(REMOVE_RECURSE ${tree})
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "repacking ${deb} without its ldconfig scripts failed")
    endif()
endforeach()
