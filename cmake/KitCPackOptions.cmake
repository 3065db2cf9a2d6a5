# Read by cpack before it packs: settings that only make sense at packing time.

# dpkg-shlibdeps works out Depends for the architecture in DEB_HOST_ARCH: the target's, so that a
# cross build looks up the armhf C library (Debian's multiarch libc6:armhf) and not the machine's.
set(ENV{DEB_HOST_ARCH} ${CPACK_DEBIAN_PACKAGE_ARCHITECTURE})

# Each package says what it is in its own synopsis, not the kit's one-line summary.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "")
