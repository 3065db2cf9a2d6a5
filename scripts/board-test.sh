#!/usr/bin/env bash
# The board test: the kit's own Debian packages, built for armhf with the i2c-dev backend and again
# on the real wiringPi, installed on Debian's armhf kernel booted in qemu-system-arm, whose I2C core
# talks to i2c-stub register files at the sensors' addresses, then to live parts: our bridge
# adapter, its transfers served by the simulated board's models in the guest's time. Prints each
# check with its outcome, named by build ("i2cdev: ", "wiringpi: "), and ends with
# "board: N passed, M failed"; exits non-zero on any failure.
#
# Its pieces are in tests/board/: fetch.sh (Debian's kernel, headers, source and busybox, kept,
# keyed by version, in ${XDG_CACHE_HOME:-~/.cache}/compasskit/board/, so a warm run downloads
# nothing), kmod.sh (the kernel modules built out of tree), guest.sh (the guest's root and
# bridged), wiringpi.sh (the kit on wiringPi, from scripts/wiringpi.sh), init and scenes/*.guest.sh
# (what the board runs), boot.sh, judge.sh and scenes/*.judge.sh (the checks).
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
boot_guest
judge
[ "$failed" -eq 0 ]
