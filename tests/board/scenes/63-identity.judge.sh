# shellcheck shell=bash disable=SC2154 # build, kflav, revision (judge.sh)
# What wiringPi 2.25 makes of each board (its sources: it needs a Hardware line naming BCM2708 or
# BCM2709 and a Revision line; layout 1 only for revisions ending 0002 or 0003), and that the
# wiringPi build's tools say what the library does there, in its words.
if [ "$build" = wiringpi ]; then
    check "wiringPi's own piBoardRev on the Raspberry Pi 2 ($revision): layout 2, exit 0" \
        "layout 2
exit 0" "$(section rev.pi2.out)"
    if [ "$kflav" = arm64 ]; then
        check "Raspberry Pi 4 on a 64-bit kernel as the tools read it: no Hardware line, its revision in /proc/cpuinfo and the device tree" \
            "Revision	: c03111
Model		: Raspberry Pi 4 Model B Rev 1.1
 00 c0 31 11" "$(section pi4.board)"
        check "Raspberry Pi 4: wiringPi's own piBoardRev finds no Hardware line and ends the program, exit 1" \
            'piBoardRev: Unable to determine board revision from /proc/cpuinfo
 -> No "Hardware" line
exit 1' "$(section pi4.rev.out | sed -n '1,2p; /^exit /p')"
        says=$(section pi4.rev.out | head -n 1 | tr '\t' ' ')
        refused="wiringPi (version not told) cannot identify this board: it ends the program (exit status 1) saying \"$says\""
        # The doctor says so, then probes the bus an i2c-dev build would open: the same parts as the
        # i2c-dev build's doctor found on this board.
        check "Raspberry Pi 4: the doctor quotes wiringPi, then its probes of the parts report, exit 1" \
            "fail  bus: $refused
ok    board revision: c03111 (device tree and /proc/cpuinfo)
warn  bus: looking at /dev/i2c-1 instead, the bus a -DCOMPASS_BUS=i2cdev build opens (COMPASS_I2C_BUS)
$(SP= section doctor.sound | sed '/^ok    verdict: /d; /^exit /d')
fail  verdict: neither module can work as built: wiringPi opens no bus on this board; rebuilt with -DCOMPASS_BUS=i2cdev, use bypassmag (AK8975 behind MPU-6050/9150 at 0x68) or directmag (HMC5883L at 0x1E) on /dev/i2c-1
exit 1" "$(section pi4.doctor.out)"
        check "Raspberry Pi 4: the monitors and compass-calibrate refuse in wiringPi's words, exit 1, no transfer" \
            "$(for t in compass-monitor-directmag compass-monitor-bypassmag compass-calibrate; do
                printf '%s: no magnetometer: %s; run compass-doctor to see what the board has\nexit 1\n' "$t" "$refused"
            done)" "$(for t in compass-monitor-directmag compass-monitor-bypassmag compass-calibrate; do
                section "pi4.$t.out"; transfers "pi4.$t.trace"; done)"
    fi
fi
