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
# names its hardware "Generic DT based system" (Revision 0000), the 64-bit one has neither line;
# wiringPi 2.25 takes either for no Raspberry Pi and ends the program, each with its own words.
# The tools quote the library's first line, then the doctor looks at the bus (no node here).
if [ "$build" = wiringpi ]; then
    case $kflav in
        armmp) lib_says='Unable to determine hardware version. I see: Hardware	: Generic DT based system'
            rev_line='ok    board revision: none in the device tree; 0000 in /proc/cpuinfo' ;;
        *) lib_says='piBoardRev: Unable to determine board revision from /proc/cpuinfo'
            rev_line='warn  board revision: none in the device tree; no Revision line in /proc/cpuinfo' ;;
    esac
    check "wiringPi's own piBoardRev on the kernel's own cpuinfo: ends the program, exit 1" \
        "$lib_says
exit 1" "$(section unknown.rev.out | sed -n '1p; /^exit /p')"
    refused="no magnetometer: wiringPi (version not told) cannot identify this board: it ends the program (exit status 1) saying \"$(section unknown.rev.out | head -n 1 | tr '\t' ' ')\""
    check "doctor and compass-monitor-directmag, the kernel's own cpuinfo: wiringPi's words, the doctor's look at the bus, exit 1" \
        "fail  bus: ${refused#no magnetometer: }
$rev_line
warn  bus: looking at $bus instead, the bus a -DCOMPASS_BUS=i2cdev build opens (COMPASS_I2C_BUS)
fail  bus: $bus does not exist (I2C buses here: none); enable I2C (on a Raspberry Pi: dtparam=i2c_arm=on, or raspi-config), load i2c-dev (sudo modprobe i2c-dev), or rebuild the kit with -DCOMPASS_BUS=i2cdev -DCOMPASS_I2C_BUS=N for another bus
fail  verdict: neither module can work: wiringPi opens no bus on this board, and $bus cannot be used
exit 1
compass-monitor-directmag: $refused; run compass-doctor to see what the board has
exit 1" "$(section unknown.doctor.out; section unknown.monitor.out; transfers unknown.doctor.trace; transfers unknown.monitor.trace)"
fi
