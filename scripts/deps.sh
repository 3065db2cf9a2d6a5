#!/usr/bin/env bash
# Installs, on Debian 12, what the kit's build, tests and demo need and is not there yet.
#   scripts/deps.sh demo   - native build and the demo
#   scripts/deps.sh test   - everything the test command uses (native, armhf, analysers, peers,
#                            fuzzing, the board test)
#   scripts/deps.sh board  - the board test (armhf cross build, qemu-system-arm, initramfs tools)
set -euo pipefail

what=${1:-test}
pkgs=(cmake make g++ googletest pkg-config iproute2)
board=(g++-arm-linux-gnueabihf binutils-arm-linux-gnueabihf qemu-system-arm cpio xz-utils)
case "$what" in
    demo) ;;
    test)
        pkgs+=(g++-arm-linux-gnueabihf binutils-arm-linux-gnueabihf qemu-user libbenchmark-dev
               socat netcat-openbsd time clang-format clang-tidy cppcheck dpkg-dev file
               libi2c-dev libi2c-dev:armhf libc6:armhf libstdc++6:armhf lintian man-db
               clang libclang-rt-14-dev "${board[@]}") ;;
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
# apt's own messages are kept and shown when it fails: an unreachable archive must not surface only
# as "Unable to locate package". A failed fetch fails the update.
log=$(mktemp)
trap 'rm -f "$log"' EXIT
apt() {  # apt WHAT ARGS...
    local what=$1; shift
    if ! DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get "$@" >"$log" 2>&1; then
        cat "$log" >&2
        echo "deps.sh: apt-get $what failed (apt's output above)" >&2
        exit 1
    fi
}
apt update update --error-on=any
apt install install -y --no-install-recommends "${missing[@]}"
