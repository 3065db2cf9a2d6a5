# shellcheck shell=bash disable=SC2154 # bdir, groot: lib.sh, guest.sh
# The kit built on the real wiringPi (2.25, which scripts/wiringpi.sh builds for armhf from its
# sources), packaged like the i2c-dev build. In the guest its packages are unpacked under
# /opt/wiringpi beside the i2c-dev build's, libwiringPi.so goes to /usr/lib as wiringPi installs
# it, and its test hosts, linked against its pkg-config files with that library path, wait in
# /opt/board/wiringpi, first on the PATH when init runs the scenes again for this build. The board
# then reads as a Raspberry Pi 2 where wiringPi looks (tests/board/cpuinfo over /proc/cpuinfo), and on
# the 64-bit kernel also as a Raspberry Pi 4 on it (cpuinfo-pi4-64), which wiringPi 2.25 cannot
# identify; board_rev shows what the library itself does there.
wbdir=build/board-wiringpi
wguest=/opt/wiringpi

build_kit_wiringpi() {
    local err=$bdir/wiringpi.err
    echo "=== building wiringPi for armhf, the kit on it (COMPASS_BUS=wiringpi) and its Debian packages"
    wprefix=$(bash scripts/wiringpi.sh armhf 2>"$err") || { cat "$err" >&2; die "scripts/wiringpi.sh armhf failed"; }
    quiet "configuring the kit on wiringPi" cmake -S . -B "$wbdir" --toolchain cmake/armhf.cmake \
        -DCOMPASS_BUS=wiringpi -DKIT_WIRINGPI_ROOT="$wprefix" -DKIT_BUILD_TESTS=OFF -DCMAKE_BUILD_TYPE=MinSizeRel
    quiet "building the kit on wiringPi" cmake --build "$wbdir" -j2
    rm -rf "$wbdir/packages"
    quiet "packaging the kit on wiringPi" cpack -G DEB --config "$wbdir/CPackConfig.cmake"
    mapfile -t wdebs < <(find "$wbdir/packages" -maxdepth 1 -name '*.deb' | sort)
    [ ${#wdebs[@]} -gt 0 ] || die "cpack made no .deb in $wbdir/packages"
}

add_wiringpi_build() { # into the guest's root being made ($groot)
    local d
    mkdir -p "$groot$wguest" "$groot/usr/lib" "$groot/opt/board/wiringpi"
    for d in "${wdebs[@]}"; do dpkg-deb -x "$d" "$groot$wguest"; done
    cp -P "$wprefix"/lib/libwiringPi.so* "$groot/usr/lib/"
    # The modules need libwiringPi.so, which the cross linker finds only where it is told.
    build_host directmag "$groot$wguest" "$groot/opt/board/wiringpi" -Wl,-rpath-link,"$wprefix/lib"
    build_host bypassmag "$groot$wguest" "$groot/opt/board/wiringpi" -Wl,-rpath-link,"$wprefix/lib"
    quiet "building the wiringPi board-revision host" arm-linux-gnueabihf-g++ -std=c++20 -O2 -Wall -Wextra \
        -Werror -I"$wprefix/include" tests/board/board_rev.cpp -L"$wprefix/lib" -lwiringPi \
        -o "$groot/opt/board/wiringpi/board_rev"
    put tests/board/cpuinfo tests/board/cpuinfo-pi4-64 /opt/board/wiringpi
}
