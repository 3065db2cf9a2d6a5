#!/usr/bin/env bash
# Builds the bridge's two halves for the armhf guest:
#   build.sh OUT HEADERS I2C_DEV_KO [CMAKE_CACHE]
# OUT/i2c-bridge.ko against the kernel headers tree HEADERS (checked against I2C_DEV_KO's vermagic,
# a module of the kernel it must load into), and OUT/bridged, the static daemon serving the
# simulated board's models, rebuilt only when one of its sources is newer. HEADERS "-" builds the
# daemon only (the module is built elsewhere, or kept from before). The board's hard iron sits
# where the kit's build (CMAKE_CACHE, else compass/Offsets.cmake's defaults) centres it.
set -euo pipefail
[ $# -eq 3 ] || [ $# -eq 4 ] || { echo "usage: $0 OUT HEADERS I2C_DEV_KO [CMAKE_CACHE]" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../../.." && pwd)
mkdir -p "$1"
out=$(cd "$1" && pwd)
hdr=$2
ref=$3
cache=${4:-}
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
    vermagic() { strings "$1" | sed -n 's/^vermagic=//p'; }
    [ "$(vermagic "$out/i2c-bridge.ko")" = "$(vermagic "$ref")" ] ||
        die "i2c-bridge.ko's vermagic '$(vermagic "$out/i2c-bridge.ko")' is not the kernel's '$(vermagic "$ref")'"
fi

sim=$top/i2cbus/sim
srcs=("$here/bridged.cpp" "$here/i2c-bridge.h" "$sim"/src/*.cpp "$sim"/src/*.hpp "$sim"/include/sim/*.hpp
    "$top"/i2cbus/include/i2cbus/*.h "$top/compass/Offsets.cmake" "$0" ${cache:+"$cache"})
if [ -x "$out/bridged" ] && [ -z "$(find "${srcs[@]}" -newer "$out/bridged" 2>/dev/null | head -n 1)" ]; then
    exit 0
fi
if [ -n "$cache" ]; then
    offsets=$(sed -n 's/^\(COMPASS_[A-Z]*_OFFSET_[XY]\):STRING=\(-\?[0-9]*\)$/-D\1=\2/p' "$cache")
else
    offsets=$(sed -n 's/.*set(\(COMPASS_[A-Z]*_OFFSET_[XY]\) \(-\?[0-9]*\) CACHE.*/-D\1=\2/p' "$top/compass/Offsets.cmake")
fi
[ "$(echo "$offsets" | wc -w)" -eq 4 ] || die "cannot tell the four hard-iron offsets (${cache:-compass/Offsets.cmake})"
# shellcheck disable=SC2086 # one word a definition
arm-linux-gnueabihf-g++ -std=c++20 -O2 -static -march=armv7-a -mfpu=vfpv3-d16 -mfloat-abi=hard \
    -ffp-contract=off -Wall -Wextra -Wpedantic -Werror -Wshadow -Wconversion -Wsign-conversion \
    -Wno-psabi $offsets -I "$sim/include" -I "$sim/src" -I "$top/i2cbus/include" -I "$here" \
    "$here/bridged.cpp" "$sim"/src/*.cpp -o "$out/bridged.new"
mv "$out/bridged.new" "$out/bridged"
