# shellcheck shell=bash
# Shared by the board test's pieces (sourced by scripts/board-test.sh from the top of the tree):
# where its files go, and how a step logs and fails.
me=board-test
bdir=build/board
log=$bdir/board-test.log
# Downloads and what is built from them, kept between runs, keyed by version.
base=${XDG_CACHE_HOME:-$HOME/.cache}/compasskit/board

die() {
    echo "$me: $*" >&2
    exit 1
}

quiet() { # quiet WHAT COMMAND... : runs it into the log; on failure shows the log's tail
    local what=$1
    shift
    if ! "$@" >>"$log" 2>&1; then
        tail -n 30 "$log" >&2
        die "$what failed (full log: $log)"
    fi
}

# The kernels the board boots, each with the same armhf guest: Debian's 32-bit armmp, as the boards
# of 2015 ran, and its arm64 kernel, as a 32-bit userland runs on a Raspberry Pi 3, 4 or 5 now (every
# system call of the kit through the kernel's compat layer). BOARD_KERNELS may name fewer.
read -r -a kernels <<<"${BOARD_KERNELS:-armmp arm64}"
use_kernel() { # use_kernel FLAVOUR : sets the kernel's Debian architecture, cross compiler, emulator
    kflav=$1 who="$1 kernel"
    case $kflav in
        armmp) karch=armhf kmarch=arm kcross=arm-linux-gnueabihf- qemu=qemu-system-arm qcpu=cortex-a15 ;;
        arm64) karch=arm64 kmarch=arm64 kcross=aarch64-linux-gnu- qemu=qemu-system-aarch64 qcpu=cortex-a72 ;;
        *) die "unknown kernel '$kflav' in BOARD_KERNELS (armmp, arm64)" ;;
    esac
    # What fetch.sh found for it, once it has.
    abi=${kabi[$kflav]:-} kver=${kkver[$kflav]:-}
    kimg=${kimgs[$kflav]:-} hdr=${khdr[$kflav]:-} ksrc=${ksrcs[$kflav]:-}
}
declare -A kabi=() kkver=() kimgs=() khdr=() ksrcs=()
kdie() { die "$who: $*"; } # one line naming the kernel and the step
