#!/bin/sh
# The board tools as built, on a bus that cannot be used: each says in the kit's own words what is
# wrong and exits 1. On a wiringPi build they run on the wiringPi they were built with (2.25) and
# on a stand-in of a later one (LATER_WIRINGPI_DIR), over the boards wiringPi must tell apart: what
# they say of the bus must be what that library does. Each case runs in a private mount namespace
# with its own /proc (cpuinfo, the device tree's revision) and an empty /dev, or one whose I2C node
# only root may open, run without CAP_DAC_OVERRIDE.
#   dead_bus.sh wiringpi|i2cdev BUS_NUMBER DOCTOR MONITOR_BYPASSMAG MONITOR_DIRECTMAG CALIBRATE
#               [LATER_WIRINGPI_DIR]
set -u
if ! why=$(unshare -m true 2>&1); then
    echo "skipped: no private mount namespace here: ${why:-unshare -m failed}"
    exit 77
fi
backend=$1 bus=$2 doctor=$3 bypass=$4 direct=$5 calibrate=$6 later=${7:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
tree=- lib=''

# run CPUINFO NODE PROGRAM [ARG...]: stderr, stdout and exit status of the program, with
# /proc/cpuinfo reading CPUINFO (printf %b), the device tree's linux,revision the bytes $tree
# (printf %b; '-': no such file), /dev empty but for NODE, mode 000 ('-': none), and the
# libraries of LD_LIBRARY_PATH=$lib first.
# shellcheck disable=SC2016 # the inner shell expands its own arguments
run() {
    printf '%b' "$1" >"$work/cpuinfo"
    [ "$tree" = - ] || printf '%b' "$tree" >"$work/revision"
    node=$2
    shift 2
    unshare -m sh -c '
        err=$0 node=$1 tree=$2 lib=$3
        shift 3
        mount -t tmpfs none /proc && cp "${err%/*}/cpuinfo" /proc/cpuinfo || exit 99
        if [ "$tree" != - ]; then
            mkdir -p /proc/device-tree/system &&
                cp "${err%/*}/revision" /proc/device-tree/system/linux,revision || exit 99
        fi
        mount -t tmpfs none /dev || exit 99
        if [ "$node" != - ]; then : >"$node" && chmod 000 "$node" || exit 99; fi
        LD_LIBRARY_PATH=$lib exec setpriv --bounding-set=-dac_override,-dac_read_search "$@" \
            2>"$err" >"$err.out"
    ' "$work/err" "$node" "$tree" "$lib" "$@" 2>&1
    status=$?
    cat "$work/err" "$work/err.out"
    echo "exit status $status"
}

# expect CASE GOT WANT
expect() {
    [ "$2" = "$3" ] || { printf '%s:\n%s\n--- expected:\n%s\n' "$1" "$2" "$3"; failures=$((failures + 1)); }
}

# monitors CASE CPUINFO NODE REASON: each tool's one line "no magnetometer: REASON", status 1.
monitors() {
    for cmd in "$bypass" "$direct" "$calibrate bypassmag"; do
        # shellcheck disable=SC2086 # the calibrator's module word goes apart
        expect "$1" "$(run "$2" "$3" $cmd)" "$(basename "${cmd%% *}"): no magnetometer: $4; run compass-doctor to see what the board has
exit status 1"
    done
}

# check CASE CPUINFO NODE REASON DOCTOR_LINES: the monitors' REASON, the doctor's DOCTOR_LINES
# (printf %b) and its status 1.
check() {
    monitors "$1" "$2" "$3" "$4"
    expect "$1" "$(run "$2" "$3" "$doctor")" "$(printf '%bexit status 1' "$5")"
}

enable='enable I2C (on a Raspberry Pi: dtparam=i2c_arm=on, or raspi-config), load i2c-dev (sudo modprobe i2c-dev), or rebuild the kit with'
# shellcheck disable=SC2016 # the doctor's advice names $USER as is
denied='permission denied; add yourself to the i2c group (sudo adduser $USER i2c) and log in again'
pi3='Hardware\t: BCM2709\nRevision\t: a02082\n'
if [ "$backend" = i2cdev ]; then
    check no-bus "$pi3" - "/dev/i2c-$bus: No such file or directory" \
        "fail  bus: /dev/i2c-$bus does not exist (I2C buses here: none); $enable -DCOMPASS_I2C_BUS=N for another bus\nfail  verdict: neither module can work: /dev/i2c-$bus cannot be used\n"
    check no-permission "$pi3" "/dev/i2c-$bus" "/dev/i2c-$bus: Permission denied" \
        "fail  bus: /dev/i2c-$bus: $denied\nfail  verdict: neither module can work: /dev/i2c-$bus cannot be used\n"
    echo "$failures failure(s)"
    [ "$failures" -eq 0 ]
    exit
fi

# What each library says where it cannot identify the board (its first line on stderr; 2.25's
# second reason prints the Hardware line it saw, whose tab the tools show as a blank).
old_no_revision='piBoardRev: Unable to determine board revision from /proc/cpuinfo'
old_hardware='Unable to determine hardware version. I see: Hardware : BCM2835'
new_oops='Oops: Unable to determine Raspberry Pi board revision from /proc/device-tree/system/linux,revision and from /proc/cpuinfo'

# board CASE CPUINFO TREE REAL_2.25 LATER REVISION: the tools on both libraries, with /dev empty.
# A library's answer is "BUS LAYOUT" (it opens /dev/i2c-BUS, piBoardRev() returning LAYOUT) or
# "exits:ITS FIRST LINE"; REVISION is the doctor's line on the board's revision.
board() {
    tree=$3
    for library in real later; do
        if [ "$library" = real ]; then
            lib='' name='wiringPi (version not told)' answer=$4
        else
            lib=$later name='wiringPi 3.14' answer=$5
        fi
        case $answer in
            exits:*)
                reason="$name cannot identify this board: it ends the program (exit status 1) saying \"${answer#exits:}\""
                first="fail  bus: $reason" ;;
            *)
                reason="/dev/i2c-${answer% *}: No such file or directory"
                first="ok    bus: $name opens /dev/i2c-${answer% *} (piBoardRev() returns ${answer#* })" ;;
        esac
        monitors "$1 on $library" "$2" - "$reason"
        expect "$1 on $library" "$(run "$2" - "$doctor" | sed -n '1,2p;$p')" "$first
$6
exit status 1"
    done
    tree=- lib=''
}

none='ok    board revision: none in the device tree;'
board pi1-b 'Hardware\t: BCM2708\nRevision\t: 0002\n' - '0 1' '0 1' "$none 0002 in /proc/cpuinfo"
board pi2 'Hardware\t: BCM2709\nRevision\t: a01041\n' - '1 2' '1 2' "$none a01041 in /proc/cpuinfo"
board pi3-b-32bit 'Hardware\t: BCM2835\nRevision\t: a02082\n' - "exits:$old_hardware" '1 2' \
    "$none a02082 in /proc/cpuinfo"
board zero-2-w 'Hardware\t: BCM2835\nRevision\t: 902120\n' - "exits:$old_hardware" '1 2' \
    "$none 902120 in /proc/cpuinfo"
board pi4-b-32bit 'Hardware\t: BCM2835\nRevision\t: c03111\n' - "exits:$old_hardware" '1 2' \
    "$none c03111 in /proc/cpuinfo"
board pi4-b-64bit 'processor\t: 0\nRevision\t: c03111\n' - "exits:$old_no_revision" '1 2' \
    "$none c03111 in /proc/cpuinfo"
board pi5 'processor\t: 0\nRevision\t: d04170\n' - "exits:$old_no_revision" '1 2' \
    "$none d04170 in /proc/cpuinfo"
board pc 'processor\t: 0\nvendor_id\t: GenuineIntel\n' - "exits:$old_no_revision" "exits:$new_oops" \
    'warn  board revision: none in the device tree; no Revision line in /proc/cpuinfo'
# Junk after a revision's digits: both libraries take the board, so the tools do, the doctor
# noting the junk.
board junk-revision 'Hardware\t: BCM2709\nRevision\t: 1234junk\n' - '1 2' '1 2' \
    "warn  board revision: none in the device tree; /proc/cpuinfo's Revision line holds \"1234junk\", no revision code"
# The device tree alone (a Pi 4's), and a device tree that says the first Model B where
# /proc/cpuinfo says a later one: 2.25 reads only /proc/cpuinfo, the later line the tree first.
board tree-only 'processor\t: 0\n' '\0000\0300\0061\0021' "exits:$old_no_revision" '1 2' \
    'ok    board revision: c03111 in the device tree; no Revision line in /proc/cpuinfo'
board disagreeing 'Hardware\t: BCM2708\nRevision\t: 000e\n' '\0000\0000\0000\0002' '1 2' '0 1' \
    'warn  board revision: 0002 in the device tree, 000e in /proc/cpuinfo: they differ'

# The doctor in full: the bus wiringPi picks, also the first Model B's (0002, here over-volted);
# and on a board 2.25 refuses, the parts looked for on the configured bus all the same.
other="-DCOMPASS_BUS=i2cdev -DCOMPASS_I2C_BUS=N for another bus"
check rev1-no-bus 'Hardware\t: BCM2708\nRevision\t: 1000002\n' - '/dev/i2c-0: No such file or directory' \
    "ok    bus: wiringPi (version not told) opens /dev/i2c-0 (piBoardRev() returns 1)\nok    board revision: none in the device tree; 1000002 in /proc/cpuinfo\nfail  bus: /dev/i2c-0 does not exist (I2C buses here: none); $enable $other (wiringPi picks its own from the board's revision)\nfail  verdict: neither module can work: /dev/i2c-0 cannot be used\n"
check pi3-no-permission "$pi3" /dev/i2c-1 '/dev/i2c-1: Permission denied' \
    "ok    bus: wiringPi (version not told) opens /dev/i2c-1 (piBoardRev() returns 2)\nok    board revision: none in the device tree; a02082 in /proc/cpuinfo\nfail  bus: /dev/i2c-1: $denied\nfail  verdict: neither module can work: /dev/i2c-1 cannot be used\n"
refused="wiringPi (version not told) cannot identify this board: it ends the program (exit status 1) saying \"$old_no_revision\""
check pi4-b-64bit-refused 'Revision\t: c03111\n' "/dev/i2c-$bus" "$refused" \
    "fail  bus: $refused\nok    board revision: none in the device tree; c03111 in /proc/cpuinfo\nwarn  bus: looking at /dev/i2c-$bus instead, the bus a -DCOMPASS_BUS=i2cdev build opens (COMPASS_I2C_BUS)\nfail  bus: /dev/i2c-$bus: $denied\nfail  verdict: neither module can work: wiringPi opens no bus on this board, and /dev/i2c-$bus cannot be used\n"
echo "$failures failure(s)"
[ "$failures" -eq 0 ]
