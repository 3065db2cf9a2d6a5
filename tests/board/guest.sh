# shellcheck shell=bash
# The guest's root: the kit built for armhf on the i2c-dev backend and packaged as a user gets it,
# its packages unpacked, the test's hosts built against their pkg-config files, the bridge's daemon
# (the simulated board's models, static, from the kit's build), the scenes, busybox, every kernel's
# modules and the C library they all need; packed once as $guest/initramfs.cpio, which each kernel
# boots.

build_kit() {
    echo "=== building the kit for armhf (COMPASS_BUS=i2cdev) and its Debian packages"
    kit_bus=1 # the /dev/i2c-N the kit is built for; the guest makes it whichever adapter a scene uses
    quiet "configuring the kit" cmake -S . -B "$bdir" --toolchain cmake/armhf.cmake -DCOMPASS_BUS=i2cdev \
        -DCOMPASS_I2C_BUS=$kit_bus -DKIT_BUILD_TESTS=OFF -DCMAKE_BUILD_TYPE=MinSizeRel
    quiet "building the kit" cmake --build "$bdir" -j2
    rm -rf "$bdir/packages"
    quiet "packaging the kit" cpack -G DEB --config "$bdir/CPackConfig.cmake"
    mapfile -t debs < <(find "$bdir/packages" -maxdepth 1 -name '*.deb' | sort)
    [ ${#debs[@]} -gt 0 ] || die "cpack made no .deb in $bdir/packages"
    # The bridge's module is one of build_kmods'; its daemon, simboard/bridge/bridged, is built with
    # the kit, the board's hard iron where this build's offsets centre it.
}

# Test hosts, built against the installed kit through its pkg-config files as shipped: their paths
# follow the file (${pcfiledir}), so they must name the unpacked headers and library. A kit
# unpacked below the guest's root (ROOT) is found through the path to its libraries in the guest;
# FLAGS go to the link.
build_host() { # build_host MODULE [ROOT OUT FLAGS...]
    local m=$1 from=${2:-$groot} dir=${3:-$groot/opt/board} pc root cflags inc lib rpath=
    pc=$(find "$from" -name "$m.pc" | head -n 1)
    [ -n "$pc" ] || die "no $m.pc in the kit's packages (${from#"$groot"})"
    root=$(cd "$from" && pwd)
    PKG_CONFIG_LIBDIR=$(cd "$(dirname "$pc")" && pwd)
    export PKG_CONFIG_LIBDIR PKG_CONFIG_PATH='' PKG_CONFIG_SYSROOT_DIR=
    cflags=$(pkg-config --cflags --libs "$m") || die "pkg-config cannot read ${pc#"$groot"}"
    # shellcheck disable=SC2086 # pkg-config's words are flags
    inc=$(printf '%s\n' $cflags | sed -n 's/^-I//p' | head -n 1)
    # shellcheck disable=SC2086
    lib=$(printf '%s\n' $cflags | sed -n 's/^-L//p' | head -n 1)
    case $inc:$lib in "$root"/*:"$root"/*) ;; *) inc= ;; esac
    if [ ! -f "$inc/compass/$m.hpp" ] || [ ! -e "$lib/lib$m.so" ]; then
        die "${pc#"$groot"} does not name the unpacked headers and library: $cflags"
    fi
    if [ "$from" != "$groot" ]; then
        rpath=$(cd "$lib" && pwd)
        rpath=-Wl,-rpath,${rpath#"$(cd "$groot" && pwd)"}
    fi
    # shellcheck disable=SC2086
    quiet "building the $m test host" arm-linux-gnueabihf-g++ -std=c++20 -O2 -Wall -Wextra -Werror \
        tests/board/compass_host.cpp $cflags $rpath "${@:4}" -o "$dir/board_$m"
}

put() { # put FILE... DIR : copies the files into the guest's DIR
    local dir=$groot/${*: -1}
    mkdir -p "$dir"
    cp "${@:1:$#-1}" "$dir/"
}

# The armhf C library from the cross toolchain: whatever the ELF files need that is not there yet.
add_c_library() {
    local cross_lib=/usr/arm-linux-gnueabihf/lib added=1 f n
    put "$cross_lib/ld-linux-armhf.so.3" /lib/arm-linux-gnueabihf
    ln -s arm-linux-gnueabihf/ld-linux-armhf.so.3 "$groot/lib/ld-linux-armhf.so.3"
    while [ $added -eq 1 ]; do
        added=0
        while IFS= read -r f; do
            [ "$(head -c 4 "$f" | od -An -tx1 | tr -d ' \n')" = 7f454c46 ] || continue
            for n in $(arm-linux-gnueabihf-readelf -d "$f" 2>/dev/null | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
                has_lib "$n" && continue
                [ -e "$cross_lib/$n" ] || die "${f#"$groot"/} needs $n, which neither the packages nor $cross_lib have"
                cp -L "$cross_lib/$n" "$groot/lib/arm-linux-gnueabihf/"
                added=1
            done
        done < <(find "$groot" -type f \( -path '*/bin/*' -o -name '*.so*' -o -path '*/opt/board/*' \))
    done
}
has_lib() {
    local d
    for d in lib/arm-linux-gnueabihf usr/lib/arm-linux-gnueabihf lib usr/lib; do
        [ -e "$groot/$d/$1" ] && return 0
    done
    return 1
}

make_guest() {
    guest=$bdir/guest
    groot=$guest/root
    rm -rf "$guest"
    mkdir -p "$groot"/{bin,sbin,usr/bin,usr/sbin,dev,proc,sys,tmp,run,opt/board}
    local d
    for d in "${debs[@]}"; do dpkg-deb -x "$d" "$groot"; done
    build_host directmag
    build_host bypassmag
    put "$bdir/examples/echo_server/echo_server" "$bdir/simboard/bridge/bridged" tests/board/turns.txt \
        tests/board/live.txt tests/board/hosts.sh tests/compass/sequences.txt /opt/board
    put tests/board/scenes/*.guest.sh /opt/board/scenes
    echo "KIT_BUS=$kit_bus" >"$groot/opt/board/env"
    install -m 755 tests/board/init "$groot/init"
    put "$bbcache/busybox" /bin
    # One root for every kernel: each finds its own modules under /lib/modules/$(uname -r).
    local k
    for k in "${kernels[@]}"; do
        use_kernel "$k"
        put "$kimg/i2c-dev.ko" "/lib/modules/$abi/kernel/drivers/i2c"
        # shellcheck disable=SC2086 # the list's words are paths
        put ${kmod_files[$k]} "/lib/modules/$abi/extra"
    done
    add_wiringpi_build
    add_c_library
    (cd "$groot" && find . | cpio -o -H newc --quiet) >"$guest/initramfs.cpio"
}
