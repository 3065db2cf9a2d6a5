#!/usr/bin/env bash
# Builds the bridge's two halves for the armhf guest:
#   build.sh OUT HEADERS I2C_DEV_KO
# OUT/i2c-bridge.ko against the kernel headers tree HEADERS (checked against I2C_DEV_KO's vermagic,
# a module of the kernel it must load into), and OUT/bridged, the static daemon serving the
# simulated board's models. HEADERS "-" builds the daemon only (the module kept from before).
set -euo pipefail
[ $# -eq 3 ] || { echo "usage: $0 OUT HEADERS I2C_DEV_KO" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../../.." && pwd)
mkdir -p "$1"
out=$(cd "$1" && pwd)
hdr=$2
ref=$3
die() { echo "bridge/build.sh: $*" >&2; exit 1; }

if [ "$hdr" != - ]; then
    # kbuild writes beside the sources: build a copy.
    mod=$out/module
    rm -rf "$mod"
    mkdir -p "$mod"
    cp "$here/i2c-bridge.c" "$here/i2c-bridge.h" "$mod/"
    echo 'obj-m := i2c-bridge.o' >"$mod/Kbuild"
    make -s -C "$hdr" M="$mod" ARCH=arm CROSS_COMPILE=arm-linux-gnueabihf- W=1 modules
    cp "$mod/i2c-bridge.ko" "$out/"
fi
vermagic() { strings "$1" | sed -n 's/^vermagic=//p'; }
[ "$(vermagic "$out/i2c-bridge.ko")" = "$(vermagic "$ref")" ] ||
    die "i2c-bridge.ko's vermagic '$(vermagic "$out/i2c-bridge.ko")' is not the kernel's '$(vermagic "$ref")'"

sim=$top/i2cbus/sim
arm-linux-gnueabihf-g++ -std=c++20 -O2 -static -march=armv7-a -mfpu=vfpv3-d16 -mfloat-abi=hard \
    -ffp-contract=off -Wall -Wextra -Wpedantic -Werror -Wshadow -Wconversion -Wsign-conversion \
    -Wno-psabi -I "$sim/include" -I "$top/i2cbus/include" -I "$here" \
    "$here/bridged.cpp" "$sim"/src/*.cpp -o "$out/bridged"
