#!/bin/sh
# The board tools as this build links them, on a board whose bus cannot be used: each says in the
# kit's own words what is wrong and exits 1, on a wiringPi build too, where wiringPi would end the
# program inside its set-up with its own message. Each case runs in a private mount namespace
# (root only; skipped otherwise) with a /proc/cpuinfo of its own and an empty /dev, or one whose
# I2C node only its owner may open, the program run without the capabilities that pass over file
# permissions.
#   dead_bus.sh wiringpi|i2cdev BUS_NUMBER DOCTOR MONITOR_BYPASSMAG MONITOR_DIRECTMAG CALIBRATE
set -u
backend=$1 bus=$2 doctor=$3
shift 3
if ! unshare -m true 2>/dev/null; then
    echo "skipped: a private mount namespace needs root"
    exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# run CPUINFO NODE PROGRAM [ARG...]: the program's output (stderr, then stdout) and exit status, run
# with /proc/cpuinfo reading CPUINFO (printf %b) and /dev empty but for NODE, mode 000 ('-': none).
run() {
    printf '%b' "$1" >"$work/cpuinfo"
    node=$2
    shift 2
    unshare -m sh -c '
        mount --bind "$1" /proc/cpuinfo && mount -t tmpfs none /dev || exit 99
        if [ "$2" != - ]; then : >"$2" && chmod 000 "$2" || exit 99; fi
        shift 2
        exec setpriv --bounding-set=-dac_override,-dac_read_search "$@" 2>"$0" >"$0.out"
    ' "$work/err" "$work/cpuinfo" "$node" "$@"
    status=$?
    cat "$work/err" "$work/err.out"
    echo "exit status $status"
}

# check CASE CPUINFO NODE REASON DOCTOR_LINES: each tool ends on "no magnetometer: REASON" alone;
# the doctor's output is DOCTOR_LINES (printf %b) exactly, and its status 1.
check() {
    name=$1 cpuinfo=$2 node=$3 reason=$4 lines=$5
    set -- "$tools_bypass" "$tools_direct" "$tools_calibrate bypassmag"
    for cmd in "$@"; do
        # shellcheck disable=SC2086 # the calibrator's module word is split off on purpose
        got=$(run "$cpuinfo" "$node" $cmd)
        tool=$(basename "${cmd%% *}")
        want=$(printf '%s: no magnetometer: %s; run compass-doctor to see what the board has\nexit status 1' \
            "$tool" "$reason")
        if [ "$got" != "$want" ]; then
            printf '%s: %s said:\n%s\n--- expected:\n%s\n' "$name" "$tool" "$got" "$want"
            failures=$((failures + 1))
        fi
    done
    got=$(run "$cpuinfo" "$node" "$doctor")
    want=$(printf '%bexit status 1' "$lines")
    if [ "$got" != "$want" ]; then
        printf '%s: compass-doctor said:\n%s\n--- expected:\n%s\n' "$name" "$got" "$want"
        failures=$((failures + 1))
    fi
}
tools_bypass=$1 tools_direct=$2 tools_calibrate=$3

pi3='Hardware\t: BCM2709\nRevision\t: a02082\n'
enable='enable I2C (on a Raspberry Pi: dtparam=i2c_arm=on, or raspi-config), load i2c-dev (sudo modprobe i2c-dev), or rebuild the kit with'
group='permission denied; add yourself to the i2c group (sudo adduser $USER i2c) and log in again'
if [ "$backend" = wiringpi ]; then
    other='-DCOMPASS_BUS=i2cdev -DCOMPASS_I2C_BUS=N for another bus (wiringPi picks its own from the board'"'"'s revision)'
    unknown="fail  verdict: neither module can work: wiringPi ends the program before it opens a bus; rebuild the kit with -DCOMPASS_BUS=i2cdev\n"
    # A PC, or an arm64 kernel: no Hardware line.
    why='wiringPi cannot identify this board: no "Hardware" line in /proc/cpuinfo; wiringPi exits with "Unable to determine board revision from /proc/cpuinfo"'
    check no-hardware 'processor\t: 0\nvendor_id\t: GenuineIntel\n' - "$why" "fail  bus: $why\n$unknown"
    # Raspberry Pi kernels from 4.9 on name the SoC family BCM2835.
    why='wiringPi cannot identify this board: Hardware "BCM2835" is neither BCM2708 nor BCM2709; wiringPi exits with "Unable to determine hardware version"'
    check bcm2835 'Hardware\t: BCM2835\nRevision\t: a02082\n' - "$why" "fail  bus: $why\n$unknown"
    # The first Model B (revision 0002, over-volted) has its header's I2C on bus 0.
    check rev1-no-bus 'Hardware\t: BCM2708\nRevision\t: 1000002\n' - \
        '/dev/i2c-0: No such file or directory' \
        "ok    bus: board revision 1000002: wiringPi opens /dev/i2c-0\nfail  bus: /dev/i2c-0 does not exist (I2C buses here: none); $enable $other\nfail  verdict: neither module can work: /dev/i2c-0 cannot be used\n"
    check pi3-no-permission "$pi3" /dev/i2c-1 '/dev/i2c-1: Permission denied' \
        "ok    bus: board revision a02082: wiringPi opens /dev/i2c-1\nfail  bus: /dev/i2c-1: $group\nfail  verdict: neither module can work: /dev/i2c-1 cannot be used\n"
else
    other='-DCOMPASS_I2C_BUS=N for another bus'
    check no-bus "$pi3" - "/dev/i2c-$bus: No such file or directory" \
        "fail  bus: /dev/i2c-$bus does not exist (I2C buses here: none); $enable $other\nfail  verdict: neither module can work: /dev/i2c-$bus cannot be used\n"
    check no-permission "$pi3" "/dev/i2c-$bus" "/dev/i2c-$bus: Permission denied" \
        "fail  bus: /dev/i2c-$bus: $group\nfail  verdict: neither module can work: /dev/i2c-$bus cannot be used\n"
fi
echo "$failures failure(s)"
[ "$failures" -eq 0 ]
