# shellcheck shell=bash disable=SC2154 # kit_bus: the bus the kit was built for (guest.sh)
# compass-doctor without a usable bus: what to do, the verdict, exit 1, and no transfer at all. The
# wiringPi build's names the bus wiringPi picks first, and another bus only by leaving wiringPi.
bus=/dev/i2c-$kit_bus
unusable="fail  verdict: neither module can work: $bus cannot be used
exit 1"
other='-DCOMPASS_I2C_BUS=N for another bus'
[ "$build" = wiringpi ] && other="-DCOMPASS_BUS=i2cdev $other (wiringPi picks its own from the board's revision)"
check "doctor, a node only root may open, run as uid 1000: permission denied, exit 1" \
    "$(doctor_bus; echo "fail  bus: $bus: permission denied; add yourself to the i2c group (sudo adduser \$USER i2c) and log in again")
$unusable" "$(section doctor.denied.out)"
check "doctor, no $bus: does not exist, the buses there are, exit 1" \
    "$(doctor_bus; echo "fail  bus: $bus does not exist (I2C buses here: /dev/i2c-3 /dev/i2c-10); enable I2C (on a Raspberry Pi: dtparam=i2c_arm=on, or raspi-config), load i2c-dev (sudo modprobe i2c-dev), or rebuild the kit with $other")
$unusable" "$(section doctor.nobus.out)"
check "doctor, no usable bus: no transfer reaches the I2C core" "" \
    "$(transfers doctor.denied.trace; transfers doctor.nobus.trace)"

# The kernel's own /proc/cpuinfo, which differs by kernel: the 32-bit one booted from a device tree
# names its hardware "Generic DT based system", the 64-bit one has no Hardware line at all; wiringPi
# 2.25 takes either for no Raspberry Pi and exits.
if [ "$build" = wiringpi ]; then
    why='wiringPi cannot identify this board: Hardware "Generic DT based system" is neither BCM2708 nor BCM2709; wiringPi exits with "Unable to determine hardware version"'
    [ "$kflav" = arm64 ] &&
        why='wiringPi cannot identify this board: no "Hardware" line in /proc/cpuinfo; wiringPi exits with "Unable to determine board revision from /proc/cpuinfo"'
    check "doctor and compass-monitor-directmag, the kernel's own cpuinfo: wiringPi cannot identify the board, exit 1" \
        "fail  bus: $why
fail  verdict: neither module can work: wiringPi ends the program before it opens a bus; rebuild the kit with -DCOMPASS_BUS=i2cdev
exit 1
compass-monitor-directmag: no magnetometer: $why; run compass-doctor to see what the board has
exit 1" "$(section unknown.doctor.out; section unknown.monitor.out; transfers unknown.doctor.trace; transfers unknown.monitor.trace)"
fi
