# shellcheck shell=sh
# builds: i2cdev wiringpi
# The set-up failing, a directmag host and compass-monitor-directmag each time: no /dev/i2c-N (the
# open fails), a node only root may open run as the user kit, and 0x1E held by a kernel device.
# First the libraries the host loads, and which monitor the PATH finds.
begin directmag.libs
LD_TRACE_LOADED_OBJECTS=1 board_directmag </dev/null
end
begin monitor.path
command -v compass-monitor-directmag
end
rm -f /dev/i2c-"$KIT_BUS"
run_host nobus.directmag board_directmag 0x1e -
run_tool nobus.monitor compass-monitor-directmag
as_kit() { su -s /bin/sh kit -c "$(command -v board_directmag)"; }
if load_stub 0x1e; then
    chmod 0600 /dev/i2c-"$KIT_BUS"
    run_host denied.directmag as_kit 0x1e -
    run_tool denied.monitor "$(command -v compass-monitor-directmag)" su -s /bin/sh kit -c
    chmod 0644 /dev/i2c-"$KIT_BUS"
    # An RTC the kernel's built-in rtc-ds1307 binds: the address is the kernel's.
    echo ds3231 0x1e >/sys/bus/i2c/devices/i2c-"$STUB"/new_device
    run_host held.directmag board_directmag 0x1e -
    run_tool held.monitor compass-monitor-directmag
    echo 0x1e >/sys/bus/i2c/devices/i2c-"$STUB"/delete_device
fi
