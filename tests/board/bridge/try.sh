#!/usr/bin/env bash
# Scratch harness of the bridge: boots the board test's cached Debian armmp kernel in
# qemu-system-arm (no network device) with an initramfs of busybox, i2c-dev.ko, i2c-bridge.ko,
# bridged and a bypassmag host built for i2c-dev, runs try-init there, and shows what the guest
# saw through the bridge, with the latencies measured on the way.
#   tests/board/bridge/try.sh      (after scripts/board-test.sh has filled its cache once)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cd "$here/../../.."
me=bridge-try
die() { echo "$me: $*" >&2; exit 1; }

bdir=build/bridge
mkdir -p "$bdir"
log=$bdir/try.log
: >"$log"
quiet() { # quiet WHAT COMMAND...
    local what=$1
    shift
    "$@" >>"$log" 2>&1 || { tail -n 30 "$log" >&2; die "$what failed (full log: $log)"; }
}

# --- The board test's cached kernel and busybox ------------------------------------------------
base=${XDG_CACHE_HOME:-$HOME/.cache}/compasskit/board
kcache=$(dirname "$(find "$base" -mindepth 2 -maxdepth 2 -name kernel.release 2>/dev/null | sort | tail -n 1)")
bb=$(find "$base" -mindepth 2 -maxdepth 2 -path '*/busybox-static_*/busybox' 2>/dev/null | sort | tail -n 1)
if [ ! -f "$kcache/kernel.release" ] || [ -z "$bb" ]; then
    die "no cached kernel or busybox in $base: run scripts/board-test.sh once"
fi
abi=$(cat "$kcache/kernel.release")
kver=${kcache##*/"${abi}"_}
series=$(echo "$kver" | cut -d. -f1,2)

# The cache keeps no headers: fetch and unpack them here once.
kroot=$bdir/kroot
hdr=$PWD/$kroot/usr/src/linux-headers-$abi
if ! grep -qx "#define UTS_RELEASE \"$abi\"" "$hdr/include/generated/utsrelease.h" 2>/dev/null; then
    echo "=== fetching the headers of $abi ($kver)"
    rm -rf "$kroot" "$bdir/deb"
    mkdir -p "$kroot" "$bdir/deb"
    opts=(-q)
    [ "$(id -u)" -eq 0 ] && opts+=(-o APT::Sandbox::User=root)
    quiet "downloading the headers" sh -c "cd '$bdir/deb' && apt-get download ${opts[*]} \
        linux-headers-$abi:armhf=$kver linux-headers-${abi%-armmp}-common=$kver linux-kbuild-$series=$kver"
    for d in "$bdir"/deb/*.deb; do dpkg-deb -x "$d" "$kroot"; done
    sed -i "s#^include /usr/src/#include $PWD/$kroot/usr/src/#" "$hdr/Makefile"
fi

echo "=== building i2c-bridge.ko and bridged"
quiet "building the bridge" tests/board/bridge/build.sh "$bdir/out" "$hdr" "$kcache/i2c-dev.ko"

echo "=== building the kit for armhf (i2c-dev on /dev/i2c-0) and a bypassmag host"
kit=$bdir/kit
quiet "configuring the kit" cmake -S . -B "$kit" --toolchain cmake/armhf.cmake -DCOMPASS_BUS=i2cdev \
    -DCOMPASS_I2C_BUS=0 -DKIT_BUILD_TESTS=OFF -DKIT_BUILD_EXAMPLES=OFF -DKIT_BUILD_BENCH=OFF \
    -DKIT_INSTALL=OFF -DCMAKE_BUILD_TYPE=MinSizeRel
quiet "building the kit" cmake --build "$kit" -j2 --target bypassmag_static i2cbus_i2cdev
quiet "building the host" arm-linux-gnueabihf-g++ -std=c++20 -O2 -static -Wall -Wextra -Werror \
    -DCOMPASS_MODULE_BYPASSMAG -I compass/include -I i2cbus/include tests/board/compass_host.cpp \
    "$kit/compass/libbypassmag.a" "$kit/i2cbus/i2cdev/libi2cbus_i2cdev.a" -lm -o "$bdir/out/board_bypassmag"

# --- The guest -------------------------------------------------------------------------------
groot=$bdir/guest/root
rm -rf "$bdir/guest"
mkdir -p "$groot"/{bin,sbin,dev,proc,sys,tmp,run,opt/bridge,lib/modules/"$abi"}
cp "$bb" "$groot/bin/busybox"
cp "$bdir/out/bridged" "$bdir/out/board_bypassmag" "$groot/opt/bridge/"
cp "$kcache/i2c-dev.ko" "$bdir/out/i2c-bridge.ko" "$groot/lib/modules/$abi/"
install -m 755 tests/board/bridge/try-init "$groot/init"
(cd "$groot" && find . | cpio -o -H newc --quiet) >"$bdir/guest/initramfs.cpio"

echo "=== booting $abi in qemu-system-arm (virt, cortex-a15, no network device)"
console=$bdir/guest/console.log
set +e
timeout 120 qemu-system-arm -M virt -cpu cortex-a15 -m 256 -nographic -monitor none -no-reboot -nic none \
    -kernel "$kcache/vmlinuz" -initrd "$bdir/guest/initramfs.cpio" \
    -append "console=ttyAMA0 quiet loglevel=1 panic=-1" -serial "file:$console" </dev/null >>"$log" 2>&1
qrc=$?
set -e
[ $qrc -eq 0 ] || echo "$me: qemu-system-arm exited with $qrc" >&2
out=$bdir/guest/console.txt
tr -d '\r' <"$console" >"$out"

# --- What the guest saw ------------------------------------------------------------------------
section() { awk -v n="@@begin $1" '$0 == n { on = 1; next } on && $0 == "@@end" { exit } on' "$out"; }
# The smbus tracepoints, one transfer a line: "start end dir addr reg value result".
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
# Daemon log lines between "@m FROM" and the next mark.
xfers() { section bridged.log | awk -v m="@m $1" '$0 == m { on = 1; next } /^@m / { on = 0 } on && $1 == "@x"'; }
# min / median / max of a column of numbers
stats() { sort -g | awk '{ v[NR] = $1 } END { if (NR) printf "n=%d min %.3f median %.3f max %.3f", NR, v[1], v[int((NR + 1) / 2)], v[NR]; else print "none" }'; }

passed=0
failed=0
check() { # check NAME EXPECTED ACTUAL
    if [ "$2" = "$3" ]; then
        passed=$((passed + 1))
        echo "ok    $1"
    else
        failed=$((failed + 1))
        echo "FAIL  $1"
        diff <(echo "$2") <(echo "$3") | sed -n 's/^\([<>]\)/      \1/p' | head -n 20 || true
    fi
}

echo
check "guest ran to the end" "@@done" "$(grep -o '^@@done' "$out" || grep -o '^@@watchdog' "$out" || echo "no result (qemu $qrc)")"
check "adapter: the bridge, plain I2C with SMBus byte data emulated, no block read" \
    "$(printf 'bus 0\nI2C yes\nSMBus write byte yes\nSMBus read byte yes\nSMBus block read no')" \
    "$(section adapter | sed 's/  */ /g' | grep -E '^(bus |I2C (yes|no)$|SMBus (write byte|read byte|block read) )')"
check "i2cget: identities through the bridge, absent 0x50 fails" \
    "$(printf '68 75 0x68\n1e 0a 0x48\n50 00 exit 1')" "$(section i2cget)"
check "i2cget: smbus tracepoints fire for the emulated transfers" \
    "$(printf 'r 68 75 68 ok\nr 1e 0a 48 ok\nr 50 00 -- fail')" "$(transfers i2cget.trace | cut -d' ' -f3-)"
check "bypassmag: set-up lines through the bridge" \
    "$(printf 'setup success.\nFound MPU.\nsetup success.\nFound magneto.\nhandle ok')" "$(section bypassmag.out | head -n 5)"
section bypassmag.out | sed -n 's/^yaw/      yaw/p'
# What the host must print for the bytes bridged served (its log): little-endian X (03,04) and
# Y (05,06), each trunc(3c/10) uT, centred at (30, 61); the first reading is the reference, later
# ones 360 minus the turn from it.
exp=$(xfers host | awk 'function hex(h) { return 16 * (index("0123456789abcdef", substr(h, 1, 1)) - 1) + index("0123456789abcdef", substr(h, 2, 1)) - 1 }
    $6 == "0c" && $7 ~ /^w0[3-6],r/ { b[substr($7, 3, 1)] = hex(substr($7, 6, 2)) }
    $6 == "0c" && $7 ~ /^w06,r/ {
        X = b[3] + 256 * b[4]; if (X >= 32768) X -= 65536
        Y = b[5] + 256 * b[6]; if (Y >= 32768) Y -= 65536
        a = atan2(int(3 * Y / 10) - 61, int(3 * X / 10) - 30) * 45 / atan2(1, 1)
        if (a < 0) a += 360
        if (n++ == 0) ref = a
        d = a - ref; if (d < 0) d += 360
        printf "heading %.3f ref %.3f\n", 360 - d, ref
    }')
check "bypassmag: headings are those of the bytes bridged served" "$exp" \
    "$(section bypassmag.out | sed -n 's/^yaw [0-9]*: //p')"
check "bypassmag: host exits 0" "exit 0" "$(section bypassmag.out | tail -n 1)"
check "pause-less reset: bypass refused, magnetometer silent" \
    "$(printf 'one transfer: reset, bypass: exit 1\nseparate: bypass exit 1\n0c 00 exit 1')" "$(section reset.nopause)"
check "reset with a 150 ms pause: magnetometer answers" "$(printf 'bypass exit 0\n0c 00 0x48')" "$(section reset.pause)"
# -ENXIO: the motion sensor does not acknowledge while it resets, nor the magnetometer behind a
# closed bypass.
check "reset: what bridged answered, without the pause and with it" \
    "$(printf '68 w6b80,w3702 -6\n68 w6b80 1\n68 w3702 -6\n0c w00,r1 -6\n68 w6b80 1\n68 w3702 1\n0c w00,r48 2')" \
    "$(xfers reset | awk '{ print $6, $7, $8 }')"
echo "      (separate i2cset runs: reset to bypass write $(xfers reset | awk 'NR == 2 { t = $3 } NR == 3 { printf "%.1f", $3 - t }') ms apart, below the 100 ms)"
check "no daemon: the transfer fails after the 1 s timeout" "exit 1 after 1.0 s" "$(section nodaemon | sed 's/after 1\.[0-2] s/after 1.0 s/')"
check "bridged: nothing on its error output" "" "$(section bridged.err)"

echo
echo "latency per transfer, smbus_read to smbus_result, us (i2cdump, back to back):"
echo "      $(transfers dump.trace | awk '{ printf "%.1f\n", ($2 - $1) * 1e6 }' | stats)"
echo "adapter entry to the daemon's read, us (i2cdump):"
echo "      $(xfers dump | awk '{ print $5 }' | stats)"
echo "bypassmag host: per transfer, us:"
echo "      $(transfers bypassmag.trace | awk '{ printf "%.1f\n", ($2 - $1) * 1e6 }' | stats)"
echo "bypassmag host: trigger write to its first data read (0c 03), ms:"
echo "      $(xfers host | awk '$6 == "0c" && $7 == "w0a01" { prev = $3 } $6 == "0c" && $7 ~ /^w03,r/ && prev != "" { printf "%.3f\n", $3 - prev; prev = "" }' | stats)"
echo "board clock behind the guest's as it runs each transfer, ms (host run):"
echo "      $(xfers host | awk '{ printf "%.3f\n", $3 - $4 }' | stats)"
echo
echo "bridge: $passed passed, $failed failed (console: $out)"
[ "$failed" -eq 0 ]
