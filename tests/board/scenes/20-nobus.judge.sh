# shellcheck shell=bash disable=SC2154 # build (judge.sh), kit_bus (guest.sh)
# The set-up failing, in a host and in the monitor. The i2c-dev build's host says so and reads
# anyway, every data read failing and counting as 0xFF: X = Y = -1, x = -5, y = 272:
# atan2(272, -5) = 91.053 deg; the host exits 0. wiringPi prints its own message (the reason from
# errno) and ends the host with status 1 before it reads.
failed_setup() { # failed_setup open|select REASON : what a directmag host prints
    if [ "$build" = wiringpi ]; then
        printf 'Unable to %s I2C device: %s\nexit 1' "$1" "$2"
    else
        printf 'Error while setting up.\nhandle negative\nheading 0.000 ref 91.053\nheading 0.000 ref 91.053\nexit 0'
    fi
}
libs="libdirectmag.so.1 => /usr/lib/arm-linux-gnueabihf/libdirectmag.so.1"
[ "$build" = wiringpi ] && libs="libdirectmag.so.1 => /opt/wiringpi/usr/lib/arm-linux-gnueabihf/libdirectmag.so.1
libwiringPi.so => /usr/lib/libwiringPi.so"
check "directmag host: loads this build's module$([ "$build" = wiringpi ] && echo ' and wiringPi')" "$libs" \
    "$(section directmag.libs | grep -E 'lib(directmag|wiringPi)' | sed 's/^[[:space:]]*//; s/ (0x[0-9a-f]*)$//')"
check "no bus: directmag's set-up fails opening /dev/i2c-$kit_bus" "$(failed_setup open 'No such file or directory')" \
    "$(section nobus.directmag.out)"
check "no permission (a node only root may open, run as uid 1000): directmag's set-up fails" \
    "$(failed_setup open 'Permission denied')" "$(section denied.directmag.out)"
check "0x1E held by a kernel device (ds3231): directmag's set-up fails taking the address" \
    "$(failed_setup select 'Device or resource busy')" "$(section held.directmag.out)"
# compass-monitor-directmag looks at the bus before the module's set-up and says what is wrong in
# the kit's words, on either build: never wiringPi's message.
tool=/usr/bin/compass-monitor-directmag
[ "$build" = wiringpi ] && tool=/opt/wiringpi$tool
monitor_says() { printf '%s: no magnetometer: %s; run compass-doctor to see what the board has\nexit 1\n' "${tool##*/}" "$1"; }
check "compass-monitor-directmag, this build's: no bus, no permission (uid 1000), 0x1E held: the kit's line, exit 1" \
    "$(echo "$tool"; monitor_says "/dev/i2c-$kit_bus: No such file or directory"
        monitor_says "/dev/i2c-$kit_bus: Permission denied"; monitor_says "0x1E on /dev/i2c-$kit_bus: Device or resource busy")" \
    "$(section monitor.path; section nobus.monitor.out; section denied.monitor.out; section held.monitor.out)"
check "set-up failing: no transfer reaches the kernel's I2C core" "" \
    "$(for s in nobus denied held; do transfers $s.directmag.trace; transfers $s.monitor.trace; done)"
