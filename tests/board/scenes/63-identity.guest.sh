# shellcheck shell=sh
# builds: wiringpi
# The wiringPi build's board as the library itself sees it (board_rev asks wiringPi's piBoardRev):
# the Raspberry Pi 2 the scenes run on; on the 64-bit kernel also a Raspberry Pi 4 as that kernel
# shows one (no Hardware line in /proc/cpuinfo, a Model line, the revision in the device tree too),
# and the tools there, on the sound live board.
if [ -n "$SP" ]; then
    run_tool rev.pi2 board_rev
    if [ "$(uname -m)" = aarch64 ] && use_bridge; then
        dt=/sys/firmware/devicetree/base # where /proc/device-tree points
        mount --bind /opt/board/wiringpi/cpuinfo-pi4-64 /proc/cpuinfo
        mount -t tmpfs dt $dt
        mkdir $dt/system
        printf '\000\300\061\021' >$dt/system/linux,revision
        begin pi4.board
        grep -E '^(Hardware|Revision|Model)' /proc/cpuinfo
        od -An -tx1 /proc/device-tree/system/linux,revision
        end
        ctl scene sound
        run_tool pi4.rev board_rev
        run_tool pi4.doctor compass-doctor
        run_tool pi4.compass-monitor-directmag compass-monitor-directmag
        run_tool pi4.compass-monitor-bypassmag compass-monitor-bypassmag
        run_tool pi4.compass-calibrate directmag compass-calibrate # compass-calibrate directmag
        umount $dt
        umount /proc/cpuinfo
    fi
fi
