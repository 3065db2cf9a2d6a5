#!/usr/bin/env bash
# Installs, on Debian 12, what the kit's build, tests and demo need and is not there yet.
#   scripts/deps.sh demo   - native build and the demo
#   scripts/deps.sh test   - everything the test command uses (native, armhf, analysers, peers)
#   scripts/deps.sh board  - the board test (armhf cross build, qemu-system-arm, initramfs tools)
set -euo pipefail

what=${1:-test}
pkgs=(cmake make g++ googletest pkg-config)
board=(g++-arm-linux-gnueabihf binutils-arm-linux-gnueabihf qemu-system-arm cpio xz-utils)
case "$what" in
    demo) ;;
    test)
        pkgs+=(g++-arm-linux-gnueabihf binutils-arm-linux-gnueabihf qemu-user libbenchmark-dev
               socat netcat-openbsd time clang-format clang-tidy cppcheck dpkg-dev file
               libi2c-dev libi2c-dev:armhf "${board[@]}") ;;
    board) pkgs+=("${board[@]}") ;;
    *) echo "deps.sh: unknown set '$what' (demo, test or board)" >&2; exit 2 ;;
esac

missing=()
for p in "${pkgs[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "deps.sh: need root to install: ${missing[*]}" >&2; exit 1; }
    sudo=(sudo)
fi
if printf '%s\n' "${missing[@]}" | grep -q ':armhf$' &&
   ! dpkg --print-foreign-architectures | grep -qx armhf; then
    "${sudo[@]}" dpkg --add-architecture armhf
fi
echo "deps.sh: installing ${missing[*]}"
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
