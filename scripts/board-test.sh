#!/usr/bin/env bash
# The board test: the kit's own Debian packages, built for armhf with the i2c-dev backend and again
# on the real wiringPi, installed on one armhf guest booted on two of Debian's kernels: the 32-bit
# armmp in qemu-system-arm and the 64-bit arm64 in qemu-system-aarch64 (the kit through its compat
# layer). Each kernel's I2C core talks to i2c-stub register files at the sensors' addresses, then to
# live parts: our bridge adapter, its transfers served by the simulated board's models in the
# guest's time. Prints each check with its outcome, named by kernel and build ("armmp i2cdev: ",
# "arm64 wiringpi: "), and ends with "board: N passed, M failed"; exits non-zero on any failure.
# BOARD_KERNELS="armmp" (or "arm64") boots one kernel only.
#
# Its pieces are in tests/board/: fetch.sh (Debian's kernels, headers, source and busybox, kept,
# keyed by version, in ${XDG_CACHE_HOME:-~/.cache}/compasskit/board/, so a warm run downloads
# nothing), kmod.sh (the kernel modules built out of tree for each kernel), guest.sh (the guest's
# root and bridged), wiringpi.sh (the kit on wiringPi, from scripts/wiringpi.sh), init, hosts.sh and
# scenes/*.guest.sh (what the board runs), boot.sh, judge.sh and scenes/*.judge.sh (the checks).
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source-path=SCRIPTDIR/..
. tests/board/lib.sh
. tests/board/kmod.sh

bash scripts/deps.sh board || die "installing the host's packages failed"
mkdir -p "$bdir"
: >"$log"

. tests/board/fetch.sh
. tests/board/guest.sh
. tests/board/wiringpi.sh
. tests/board/boot.sh
. tests/board/judge.sh
build_kmods
build_kit
build_kit_wiringpi
make_guest
boot_guests
judge
[ "$failed" -eq 0 ]
