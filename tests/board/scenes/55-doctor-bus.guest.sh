# shellcheck shell=sh
# builds: i2cdev wiringpi
# compass-doctor without a usable bus: a node only root may open, run as the user kit (init), then
# no node at all.
if load_stub 0x1e; then
    chmod 0600 /dev/i2c-"$KIT_BUS"
    run_tool doctor.denied "$(command -v compass-doctor)" su -s /bin/sh kit -c
fi
# Other buses exist, numbered so that only a numeric sort lists them in order.
rm -f /dev/i2c-*
mknod /dev/i2c-10 c 89 10
mknod /dev/i2c-3 c 89 3
run_tool doctor.nobus compass-doctor
rm -f /dev/i2c-10 /dev/i2c-3
# The wiringPi build on the kernel's own /proc/cpuinfo, no Raspberry Pi's: what the library does
# there (board_rev), then the tools, still without a node.
if [ -n "$SP" ]; then
    umount /proc/cpuinfo
    run_tool unknown.rev board_rev
    run_tool unknown.doctor compass-doctor
    run_tool unknown.monitor compass-monitor-directmag
    mount --bind "$PI_CPUINFO" /proc/cpuinfo
fi
# The adapters' own nodes back, as devtmpfs made them (the bridge's, once loaded, is used later).
for d in /sys/class/i2c-dev/i2c-*; do
    dev=$(cat "$d/dev")
    mknod /dev/"${d##*/}" c "${dev%:*}" "${dev#*:}"
done
