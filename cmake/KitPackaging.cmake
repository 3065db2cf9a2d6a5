# Install rules, the CMake package, pkg-config files and the Debian packages.
