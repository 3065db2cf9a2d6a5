#!/bin/sh
# The board tools as built, on a bus that cannot be used: each says in the kit's own words what is
# wrong and exits 1, on a wiringPi build too (where wiringPi would end it with its own message).
# Each case runs in a private mount namespace (root only, else skipped) with its own /proc/cpuinfo
# and an empty /dev, or one whose I2C node only root may open, run without CAP_DAC_OVERRIDE.
#   dead_bus.sh wiringpi|i2cdev BUS_NUMBER DOCTOR MONITOR_BYPASSMAG MONITOR_DIRECTMAG CALIBRATE
set -u
backend=$1 bus=$2 doctor=$3 bypass=$4 direct=$5 calibrate=$6
unshare -m true 2>/dev/null || { echo "skipped: a mount namespace needs root"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# run CPUINFO NODE PROGRAM [ARG...]: stderr, stdout and exit status of the program, with
# /proc/cpuinfo reading CPUINFO (printf %b) and /dev empty but for NODE, mode 000 ('-': none).
# shellcheck disable=SC2016 # the inner shell expands its own arguments
run() {
    printf '%b' "$1" >"$work/cpuinfo"
    shift
    unshare -m sh -c '
        mount --bind "$1" /proc/cpuinfo && mount -t tmpfs none /dev || exit 99
        if [ "$2" != - ]; then : >"$2" && chmod 000 "$2" || exit 99; fi
        shift 2
        exec setpriv --bounding-set=-dac_override,-dac_read_search "$@" 2>"$0" >"$0.out"
    ' "$work/err" "$work/cpuinfo" "$@"
    status=$?
    cat "$work/err" "$work/err.out"
    echo "exit status $status"
}

# expect CASE GOT WANT
expect() {
    [ "$2" = "$3" ] || { printf '%s:\n%s\n--- expected:\n%s\n' "$1" "$2" "$3"; failures=$((failures + 1)); }
}

# check CASE CPUINFO NODE REASON DOCTOR_LINES: each tool's one line "no magnetometer: REASON", the
# doctor's DOCTOR_LINES (printf %b); status 1 from all.
check() {
    for cmd in "$bypass" "$direct" "$calibrate bypassmag"; do
        # shellcheck disable=SC2086 # the calibrator's module word goes apart
        expect "$1" "$(run "$2" "$3" $cmd)" "$(basename "${cmd%% *}"): no magnetometer: $4; run compass-doctor to see what the board has
exit status 1"
    done
    expect "$1" "$(run "$2" "$3" "$doctor")" "$(printf '%bexit status 1' "$5")"
}

pi3='Hardware\t: BCM2709\nRevision\t: a02082\n'
enable='enable I2C (on a Raspberry Pi: dtparam=i2c_arm=on, or raspi-config), load i2c-dev (sudo modprobe i2c-dev), or rebuild the kit with'
# shellcheck disable=SC2016 # the doctor's advice names $USER as is
denied='permission denied; add yourself to the i2c group (sudo adduser $USER i2c) and log in again'
if [ "$backend" = wiringpi ]; then
    other="-DCOMPASS_BUS=i2cdev -DCOMPASS_I2C_BUS=N for another bus (wiringPi picks its own from the board's revision)"
    unknown='fail  verdict: neither module can work: wiringPi ends the program before it opens a bus; rebuild the kit with -DCOMPASS_BUS=i2cdev\n'
    why='wiringPi cannot identify this board: no "Hardware" line in /proc/cpuinfo; wiringPi exits with "Unable to determine board revision from /proc/cpuinfo"'
    check pc 'processor\t: 0\nvendor_id\t: GenuineIntel\n' - "$why" "fail  bus: $why\n$unknown"
    why='wiringPi cannot identify this board: Hardware "BCM2835" is neither BCM2708 nor BCM2709; wiringPi exits with "Unable to determine hardware version"'
    check bcm2835 'Hardware\t: BCM2835\nRevision\t: a02082\n' - "$why" "fail  bus: $why\n$unknown"
    # The first Model B (0002, here over-volted) has its header's I2C on bus 0.
    check rev1-no-bus 'Hardware\t: BCM2708\nRevision\t: 1000002\n' - '/dev/i2c-0: No such file or directory' \
        "ok    bus: board revision 1000002: wiringPi opens /dev/i2c-0\nfail  bus: /dev/i2c-0 does not exist (I2C buses here: none); $enable $other\nfail  verdict: neither module can work: /dev/i2c-0 cannot be used\n"
    check pi3-no-permission "$pi3" /dev/i2c-1 '/dev/i2c-1: Permission denied' \
        "ok    bus: board revision a02082: wiringPi opens /dev/i2c-1\nfail  bus: /dev/i2c-1: $denied\nfail  verdict: neither module can work: /dev/i2c-1 cannot be used\n"
else
    check no-bus "$pi3" - "/dev/i2c-$bus: No such file or directory" \
        "fail  bus: /dev/i2c-$bus does not exist (I2C buses here: none); $enable -DCOMPASS_I2C_BUS=N for another bus\nfail  verdict: neither module can work: /dev/i2c-$bus cannot be used\n"
    check no-permission "$pi3" "/dev/i2c-$bus" "/dev/i2c-$bus: Permission denied" \
        "fail  bus: /dev/i2c-$bus: $denied\nfail  verdict: neither module can work: /dev/i2c-$bus cannot be used\n"
fi
echo "$failures failure(s)"
[ "$failures" -eq 0 ]
