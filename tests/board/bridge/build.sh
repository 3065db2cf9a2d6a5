#!/usr/bin/env bash
# Builds bridged, the static armhf daemon serving the simulated board's models to the guest's
# bridge adapter (the module itself is built like the other kernel modules, tests/board/kmod.sh):
#   build.sh OUT CMAKE_CACHE
# Rebuilt only when one of its sources is newer. The board's hard iron sits where the kit's build
# (its CMAKE_CACHE) centres the modules' offsets.
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: $0 OUT CMAKE_CACHE" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../../.." && pwd)
mkdir -p "$1"
out=$(cd "$1" && pwd)
cache=$2
die() { echo "bridge/build.sh: $*" >&2; exit 1; }

sim=$top/simboard
br=$sim/bridge
srcs=("$br/bridged.cpp" "$br/i2c-bridge.h" "$sim"/src/*.cpp "$sim"/src/*.hpp "$sim"/include/sim/*.hpp
    "$top"/i2cbus/include/i2cbus/*.h "$0" "$cache")
if [ -x "$out/bridged" ] && [ -z "$(find "${srcs[@]}" -newer "$out/bridged" 2>/dev/null | head -n 1)" ]; then
    exit 0
fi
offsets=$(sed -n 's/^\(COMPASS_[A-Z]*_OFFSET_[XY]\):STRING=\(-\?[0-9]*\)$/-D\1=(\2)/p' "$cache")
[ "$(echo "$offsets" | wc -w)" -eq 4 ] || die "cannot tell the four hard-iron offsets from $cache"
# shellcheck disable=SC2086 # one word a definition
arm-linux-gnueabihf-g++ -std=c++20 -O2 -static -march=armv7-a -mfpu=vfpv3-d16 -mfloat-abi=hard \
    -ffp-contract=off -Wall -Wextra -Wpedantic -Werror -Wshadow -Wconversion -Wsign-conversion \
    -Wno-psabi $offsets -I "$sim/include" -I "$sim/src" -I "$top/i2cbus/include" -I "$br" \
    "$br/bridged.cpp" "$sim"/src/*.cpp -o "$out/bridged.new"
mv "$out/bridged.new" "$out/bridged"
