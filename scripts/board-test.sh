#!/usr/bin/env bash
# The board test: the kit's own Debian packages, built for armhf with the i2c-dev backend, installed
# on Debian's armhf kernel booted in qemu-system-arm, whose I2C core talks to i2c-stub register files
# at the sensors' addresses. Prints each check with its outcome and ends with
# "board: N passed, M failed"; exits non-zero on any failure.
#
# Kernel, kbuild, headers, source and busybox come from Debian's archive and are kept, keyed by
# version, in ${XDG_CACHE_HOME:-~/.cache}/compasskit/board/, so a warm run downloads nothing.
set -euo pipefail
cd "$(dirname "$0")/.."
me=board-test
die() {
    echo "$me: $*" >&2
    exit 1
}

bash scripts/deps.sh board || die "installing the host's packages failed"

bdir=build/board
mkdir -p "$bdir"
log=$bdir/board-test.log
: >"$log"
quiet() { # quiet WHAT COMMAND... : runs it into the log; on failure shows the log's tail
    local what=$1
    shift
    if ! "$@" >>"$log" 2>&1; then
        tail -n 30 "$log" >&2
        die "$what failed (full log: $log)"
    fi
}

# --- Debian's kernel and busybox, fetched once per version ---------------------------------------
# One look at apt's lists (it is slow without apt's binary cache): which kernel and busybox are current.
policy=$(apt-cache policy linux-image-armmp:armhf busybox-static:armhf 2>/dev/null || true)
candidate() {
    echo "$policy" | awk -v p="$1:" '$1 == p { on = 1; next } /^[^ ]/ { on = 0 }
        on && $1 == "Candidate:" && $2 != "(none)" { print $2; exit }'
}
kver=$(candidate linux-image-armmp:armhf)
if [ -z "$kver" ] && [ "$(id -u)" -eq 0 ]; then
    apt-get update -qq >>"$log" 2>&1 || true
    policy=$(apt-cache policy linux-image-armmp:armhf busybox-static:armhf 2>/dev/null || true)
    kver=$(candidate linux-image-armmp:armhf)
fi
[ -n "$kver" ] || die "linux-image-armmp:armhf: not in apt's lists (needs 'dpkg --add-architecture armhf' and 'apt-get update')"
bbver=$(candidate busybox-static:armhf)
[ -n "$bbver" ] || die "busybox-static:armhf: not in apt's lists"
series=$(echo "$kver" | cut -d. -f1,2)

base=${XDG_CACHE_HOME:-$HOME/.cache}/compasskit/board
mkdir -p "$base"
# The kernel the metapackage stands for, remembered per version.
abi_file=$base/linux-image-armmp_$kver.abi
if [ ! -s "$abi_file" ]; then
    apt-cache show "linux-image-armmp:armhf=$kver" |
        sed -n 's/^Depends:.*linux-image-\([^ ,]*-armmp\) .*/\1/p' | head -n 1 >"$abi_file" || true
fi
abi=$(cat "$abi_file")
[ -n "$abi" ] || { rm -f "$abi_file"; die "linux-image-armmp:armhf $kver: cannot tell which kernel it depends on"; }
kcache=$base/${abi}_$kver
bbcache=$base/busybox-static_${bbver//:/_}
apt_opts=(-q)
# apt's download user cannot write into root's home.
[ "$(id -u)" -eq 0 ] && apt_opts+=(-o APT::Sandbox::User=root)

fetch() { # fetch DIR PKG=VERSION... : downloads the packages into DIR, naming any that is missing
    local dir=$1 p missing=()
    shift
    if ! apt-cache show "$@" >/dev/null 2>&1; then
        for p; do apt-cache show "$p" >/dev/null 2>&1 || missing+=("$p"); done
    fi
    [ ${#missing[@]} -eq 0 ] || die "not in apt's lists (the kernel is $kver; its headers, kbuild and source must match it): ${missing[*]}"
    (cd "$dir" && apt-get download "${apt_opts[@]}" "$@") >>"$log" 2>&1 ||
        die "downloading $* failed (log: $log)"
}

vermagic() { strings "$1" | sed -n 's/^vermagic=//p'; }

build_kernel_cache() {
    echo "=== fetching Debian's armmp kernel $abi ($kver) and building i2c-stub.ko"
    local work root hdr
    mkdir -p "$base"
    work=$(mktemp -d "$base/.partial.XXXXXX")
    trap 'rm -rf "$work"' EXIT
    root=$work/root
    mkdir -p "$work/deb" "$root" "$work/out" "$work/stub"
    fetch "$work/deb" "linux-image-$abi:armhf=$kver" "linux-headers-$abi:armhf=$kver" \
        "linux-headers-${abi%-armmp}-common=$kver" "linux-kbuild-$series=$kver" "linux-source-$series=$kver"
    local d
    for d in "$work"/deb/linux-{image,headers,kbuild}*.deb; do dpkg-deb -x "$d" "$root"; done
    hdr=$root/usr/src/linux-headers-$abi
    grep -qx "#define UTS_RELEASE \"$abi\"" "$hdr/include/generated/utsrelease.h" 2>/dev/null ||
        die "linux-headers-$abi $kver: its UTS_RELEASE is not $abi"
    [ -f "$root/boot/vmlinuz-$abi" ] && [ -f "$root/lib/modules/$abi/kernel/drivers/i2c/i2c-dev.ko" ] ||
        die "linux-image-$abi $kver: no vmlinuz-$abi or i2c-dev.ko in it"
    # The flavour's Makefile includes the common headers by absolute path: point it at our copy.
    sed -i "s#^include /usr/src/#include $root/usr/src/#" "$hdr/Makefile"

    # Only the stub's one source file is needed from the whole tree.
    dpkg-deb --fsys-tarfile "$work"/deb/linux-source-*.deb |
        tar -x -C "$work" --strip-components=3 "./usr/src/linux-source-$series.tar.xz"
    tar -xJf "$work/linux-source-$series.tar.xz" -C "$work/stub" --strip-components=3 --occurrence=1 \
        "linux-source-$series/drivers/i2c/i2c-stub.c" 2>>"$log" || true
    [ -s "$work/stub/i2c-stub.c" ] || die "linux-source-$series $kver: no drivers/i2c/i2c-stub.c in it"
    echo 'obj-m := i2c-stub.o' >"$work/stub/Kbuild"
    quiet "building i2c-stub.ko" make -C "$hdr" M="$work/stub" ARCH=arm CROSS_COMPILE=arm-linux-gnueabihf- modules
    [ "$(vermagic "$work/stub/i2c-stub.ko")" = "$(vermagic "$root/lib/modules/$abi/kernel/drivers/i2c/i2c-dev.ko")" ] ||
        die "i2c-stub.ko built against linux-headers-$abi does not match the kernel's modules (vermagic)"

    cp "$root/boot/vmlinuz-$abi" "$work/out/vmlinuz"
    cp "$root/lib/modules/$abi/kernel/drivers/i2c/i2c-dev.ko" "$work/stub/i2c-stub.ko" "$work/out/"
    echo "$abi" >"$work/out/kernel.release"
    rm -rf "$kcache"
    mv "$work/out" "$kcache"
    rm -rf "$work"
    trap - EXIT
}

build_busybox_cache() {
    echo "=== fetching busybox-static:armhf $bbver"
    local work
    mkdir -p "$base"
    work=$(mktemp -d "$base/.partial.XXXXXX")
    trap 'rm -rf "$work"' EXIT
    fetch "$work" "busybox-static:armhf=$bbver"
    dpkg-deb -x "$work"/busybox-static_*.deb "$work/root"
    mkdir -p "$work/out"
    cp "$work/root/bin/busybox" "$work/out/busybox"
    rm -rf "$bbcache"
    mv "$work/out" "$bbcache"
    rm -rf "$work"
    trap - EXIT
}

[ -f "$kcache/kernel.release" ] || build_kernel_cache
[ -f "$bbcache/busybox" ] || build_busybox_cache

# --- The kit, built for armhf on the i2c-dev backend and packaged as a user gets it ---------------
echo "=== building the kit for armhf (COMPASS_BUS=i2cdev) and its Debian packages"
quiet "configuring the kit" cmake -S . -B "$bdir" --toolchain cmake/armhf.cmake -DCOMPASS_BUS=i2cdev \
    -DKIT_BUILD_TESTS=OFF -DCMAKE_BUILD_TYPE=MinSizeRel
quiet "building the kit" cmake --build "$bdir" -j2
find "$bdir" -maxdepth 1 -name '*.deb' -delete
quiet "packaging the kit" sh -c "cd '$bdir' && cpack -G DEB"
mapfile -t debs < <(find "$bdir" -maxdepth 1 -name '*.deb' | sort)
[ ${#debs[@]} -gt 0 ] || die "cpack made no .deb in $bdir"
kit_bus=$(sed -n 's/^COMPASS_I2C_BUS:[A-Z]*=//p' "$bdir/CMakeCache.txt")
[ -n "$kit_bus" ] || die "no COMPASS_I2C_BUS in $bdir/CMakeCache.txt"

# --- The guest's root: the packages unpacked, the C library, busybox, the test's own programs ------
guest=$bdir/guest
groot=$guest/root
rm -rf "$guest"
mkdir -p "$groot"/{bin,sbin,usr/bin,usr/sbin,dev,proc,sys,tmp,opt/board,lib/arm-linux-gnueabihf}
for d in "${debs[@]}"; do dpkg-deb -x "$d" "$groot"; done

# Test hosts, built against the installed kit through its pkg-config files as shipped: their paths
# follow the file (${pcfiledir}), so they must name the unpacked headers and library.
build_host() { # build_host MODULE
    local m=$1 pc root cflags inc lib
    pc=$(find "$groot" -name "$m.pc" | head -n 1)
    [ -n "$pc" ] || die "no $m.pc in the kit's packages"
    root=$(cd "$groot" && pwd)
    export PKG_CONFIG_LIBDIR=$(cd "$(dirname "$pc")" && pwd) PKG_CONFIG_PATH= PKG_CONFIG_SYSROOT_DIR=
    cflags=$(pkg-config --cflags --libs "$m") || die "pkg-config cannot read ${pc#"$groot"}"
    inc=$(printf '%s\n' $cflags | sed -n 's/^-I//p' | head -n 1)
    lib=$(printf '%s\n' $cflags | sed -n 's/^-L//p' | head -n 1)
    [ -f "$inc/compass/$m.hpp" ] && [ -e "$lib/lib$m.so" ] && case $inc:$lib in "$root"/*:"$root"/*) ;; *) false ;; esac ||
        die "${pc#"$groot"} does not name the unpacked headers and library: $cflags"
    # shellcheck disable=SC2086 # pkg-config's words are flags
    quiet "building the $m test host" arm-linux-gnueabihf-g++ -std=c++20 -O2 -Wall -Wextra -Werror \
        tests/board/compass_host.cpp $cflags -o "$groot/opt/board/board_$m"
}
build_host directmag
build_host bypassmag
cp "$bdir/examples/echo_server/echo_server" "$groot/opt/board/"
cp tests/board/turns.txt "$groot/opt/board/"
echo "KIT_BUS=$kit_bus" >"$groot/opt/board/env"
install -m 755 scripts/board/init "$groot/init"
cp "$bbcache/busybox" "$groot/bin/busybox"
mkdir -p "$groot/lib/modules/$abi/kernel/drivers/i2c" "$groot/lib/modules/$abi/extra"
cp "$kcache/i2c-dev.ko" "$groot/lib/modules/$abi/kernel/drivers/i2c/"
cp "$kcache/i2c-stub.ko" "$groot/lib/modules/$abi/extra/"

# The armhf C library from the cross toolchain: whatever the ELF files need that is not there yet.
cross_lib=/usr/arm-linux-gnueabihf/lib
cp "$cross_lib/ld-linux-armhf.so.3" "$groot/lib/arm-linux-gnueabihf/"
ln -s arm-linux-gnueabihf/ld-linux-armhf.so.3 "$groot/lib/ld-linux-armhf.so.3"
has_lib() {
    local d
    for d in lib/arm-linux-gnueabihf usr/lib/arm-linux-gnueabihf lib usr/lib; do
        [ -e "$groot/$d/$1" ] && return 0
    done
    return 1
}
added=1
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
(cd "$groot" && find . | cpio -o -H newc --quiet) >"$guest/initramfs.cpio"

# --- Boot, run, power off -------------------------------------------------------------------------
echo "=== booting $abi in qemu-system-arm (virt, cortex-a15, no network device)"
console=$guest/console.log
: >"$console"
t0=$(date +%s%N)
set +e
timeout 90 qemu-system-arm -M virt -cpu cortex-a15 -m 256 -nographic -monitor none -no-reboot -nic none \
    -kernel "$kcache/vmlinuz" -initrd "$guest/initramfs.cpio" \
    -append "console=ttyAMA0 quiet loglevel=1 panic=-1" -serial "file:$console" </dev/null >>"$log" 2>&1
qrc=$?
set -e
t1=$(date +%s%N)
case $qrc in
    0) ;;
    124) echo "$me: the board did not power off within 90 s; judging what it printed" >&2 ;;
    *) echo "$me: qemu-system-arm exited with $qrc:" >&2; tail -n 20 "$log" >&2 ;;
esac
tr -d '\r' <"$console" >"$guest/console.txt"
elapsed=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.1f", (b - a) / 1e9 }')

# --- Judging ----------------------------------------------------------------------------------------
out=$guest/console.txt
section() { awk -v n="@@begin $1" '$0 == n { on = 1; next } on && $0 == "@@end" { exit } on' "$out"; }

# The smbus tracepoints, one transfer a line: "start end dir addr reg value result" (value "--"
# for a read that got no reply, result "ok" or "fail").
transfers() {
    section "$1" | awk '{
        for (k = 1; k <= NF && $k !~ /^smbus_[a-z]+:$/; k++) {}
        if (k > NF) next
        t = $(k - 1); sub(/:$/, "", t)
        ev = $k; a = $(k + 2); c = $(k + 4)
        sub(/^a=/, "", a); a = substr(a, length(a) - 1)
        sub(/^c=/, "", c); if (length(c) < 2) c = "0" c
        if (ev == "smbus_write:") { start = t; val = $(k + 7); gsub(/[][]/, "", val) }
        else if (ev == "smbus_read:") { start = t; val = "--" }
        else if (ev == "smbus_reply:") { val = $(k + 7); gsub(/[][]/, "", val) }
        else if (ev == "smbus_result:") {
            res = $NF; sub(/^res=/, "", res)
            print start, t, ($(k + 6) == "wr" ? "w" : "r"), a, c, val, (res + 0 < 0 ? "fail" : "ok")
        }
    }'
}

passed=0
failed=0
check() { # check NAME EXPECTED ACTUAL [NOTE]
    if [ "$2" = "$3" ]; then
        passed=$((passed + 1))
        echo "ok    $1${4:+ ($4)}"
    else
        failed=$((failed + 1))
        echo "FAIL  $1${4:+ ($4)}"
        diff <(echo "$2") <(echo "$3") | sed -n 's/^\([<>]\)/      \1/p' | head -n 40 || true
    fi
}

rows() { grep -v '^#' tests/board/turns.txt | awk -v m="$1" '$1 == m'; }
reads() { # reads ADDR B3..B8 : the six single-register data reads
    local a=$1 r=3 b
    shift
    for b; do
        printf 'r %s 0%s %s ok\n' "$a" "$r" "$b"
        r=$((r + 1))
    done
}

echo
echo "kernel: $(section kernel) (Debian $kver), busybox $bbver"
check "board: guest ran every check and powered off" "@@done" "$(grep -o '^@@done' "$out" || grep -o '^@@watchdog' "$out" || echo "no result (qemu exit $qrc)")"
check "board: runs Debian's $abi" "$abi" "$(section kernel)"

expected_hex=$(printf "\n Enter the message : \n Server's Echo : 2.300000 1.560000\n\n" | od -An -tx1 -v | tr -s ' \n' ' ')
check "client: prompt and reply line against the echo server on the board's loopback" \
    "$expected_hex" "$(section client.hex | tr -s ' \n' ' ')"
check "client: exits 0" "exit 0" "$(section client.status)"

# directmag: set-up, then one reading per row of the table.
exp=$(printf 'setup success.\nFound magneto DIRECTMAG.\nhandle ok\n'; rows directmag | sed "s/.*= //"; echo "exit 0")
check "directmag: set-up lines and headings while the board turns" "$exp" "$(section directmag.out)"
exp=$(printf 'r 1e 0a 48 ok\nw 1e 00 38 ok\nw 1e 02 00 ok\n'
    rows directmag | while read -r _ b3 b4 b5 b6 b7 b8 _; do reads 1e "$b3" "$b4" "$b5" "$b6" "$b7" "$b8"; done)
check "directmag: smbus transfers of set-up and readings" "$exp" "$(transfers directmag.trace | cut -d' ' -f3-)"
check "directmag: registers after the run (i2cget)" "$(printf '1e 00 0x38\n1e 02 0x00\n1e 0a 0x48')" \
    "$(section directmag.regs)"

# bypassmag: set-up, then per row a triggered reading (or an average of several).
exp=$(printf 'setup success.\nFound MPU.\nsetup success.\nFound magneto.\nhandle ok\n'; rows bypassmag | sed "s/.*= //"; echo "exit 0")
check "bypassmag: set-up lines, headings while the board turns, avg_magneto" "$exp" "$(section bypassmag.out)"
exp=$(printf 'r 68 75 68 ok\nw 68 6b 80 ok\nw 68 6b 08 ok\nw 68 37 02 ok\nr 0c 00 48 ok\n'
    rows bypassmag | while read -r _ b3 b4 b5 b6 b7 b8 _; do
        n=1
        if [ "$b3" = avg ]; then n=$b4; else last=("$b3" "$b4" "$b5" "$b6" "$b7" "$b8"); fi
        for ((i = 0; i < n; i++)); do echo 'w 0c 0a 01 ok'; reads 0c "${last[@]}"; done
    done)
check "bypassmag: smbus transfers of set-up and readings" "$exp" "$(transfers bypassmag.trace | cut -d' ' -f3-)"
# Gaps from the end of one transfer to the start of the next, in ms.
gaps=$(transfers bypassmag.trace | awk '
    prev != "" { printf "%s %.3f\n", prev, ($1 - end) * 1000 }
    { prev = $3 " " $4 " " $5 " " $6; end = $2 }')
reset_gap=$(echo "$gaps" | awk '$1$2$3$4 == "w686b80" { print $5; exit }')
check "bypassmag: pause after the reset, before the next write >= 100 ms" yes \
    "$(awk -v g="${reset_gap:-0}" 'BEGIN { print (g >= 100 ? "yes" : "no") }')" "${reset_gap:-no reset seen} ms"
trig=$(echo "$gaps" | awk '$1$2$3$4 == "w0c0a01" { n++; if (min == "" || $5 < min) min = $5 } END { print n + 0, min }')
check "bypassmag: every trigger waits >= 8 ms before the data reads" yes \
    "$(echo "$trig" | awk '{ print ($1 > 0 && $2 >= 8 ? "yes" : "no") }')" \
    "$(echo "$trig" | awk '{ printf "%d triggers, shortest %s ms", $1, $2 }')"
check "bypassmag: registers after the run (i2cget)" \
    "$(printf '68 6b 0x08\n68 37 0x02\n68 75 0x68\n0c 00 0x48\n0c 0a 0x01')" \
    "$(section bypassmag.regs.68; section bypassmag.regs.0c)"

# Absent devices. Every data read fails and counts as 0xFF:
#   directmag: X = Y = -1, x = -5, y = 272: atan2(272, -5) = 91.053 deg;
#   bypassmag: X' = Y' = trunc(-0.3) = 0, x = -30, y = -61: atan2(-61, -30) = 243.812 deg.
check "no bus: directmag reports the failed open and reads 0xFF bytes" \
    "$(printf 'Error while setting up.\nhandle negative\nheading 0.000 ref 91.053\nheading 0.000 ref 91.053\nexit 0')" \
    "$(section nobus.directmag.out)"
check "no bus: no transfer reaches the kernel's I2C core" "" "$(transfers nobus.directmag.trace)"
check "absent 0x1E: directmag's lines and headings" \
    "$(printf 'setup success.\nhandle ok\nheading 0.000 ref 91.053\nheading 0.000 ref 91.053\nexit 0')" \
    "$(section absent.directmag.out)"
exp=$(printf 'r 1e 0a -- fail\nw 1e 00 38 fail\nw 1e 02 00 fail\n'
    for i in 1 2; do for r in 3 4 5 6 7 8; do echo "r 1e 0$r -- fail"; done; done)
check "absent 0x1E: directmag's transfers, each failing" "$exp" "$(transfers absent.directmag.trace | cut -d' ' -f3-)"
check "absent 0x0C: bypassmag's lines and headings" \
    "$(printf 'setup success.\nFound MPU.\nsetup success.\nhandle ok\nheading 360.000 ref 243.812\nheading 360.000 ref 243.812\nexit 0')" \
    "$(section absent.bypassmag.out)"
exp=$(printf 'r 68 75 68 ok\nw 68 6b 80 ok\nw 68 6b 08 ok\nw 68 37 02 ok\nr 0c 00 -- fail\n'
    for i in 1 2; do echo 'w 0c 0a 01 fail'; for r in 3 4 5 6 7 8; do echo "r 0c 0$r -- fail"; done; done)
check "absent 0x0C: bypassmag's transfers, those to the magnetometer failing" "$exp" \
    "$(transfers absent.bypassmag.trace | cut -d' ' -f3-)"

echo "boot to result: $elapsed s from qemu's start to power-off (guest: kernel up to init $(sed -n 's/^@@boot //p' "$out" | head -n 1) s, results at $(sed -n 's/^@@done //p' "$out" | head -n 1) s)"
echo "board: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
