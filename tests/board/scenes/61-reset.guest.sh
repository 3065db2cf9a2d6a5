# shellcheck shell=sh
# The motion sensor's reset on the live part, from busybox's i2cset: wake and bypass sent at once
# after DEVICE_RESET are lost and the magnetometer stays off the bus; after a 100 ms pause they
# bring it on. Each try starts from a board just powered.
reset_try() { # reset_try NAME PAUSE_US
    ctl scene default
    echo >"$T"/trace
    trace_on
    begin "$1"
    i2cset -y "$BRIDGE" 0x68 0x6b 0x80
    [ "$2" -eq 0 ] || usleep "$2"
    i2cset -y "$BRIDGE" 0x68 0x6b 0x08 2>/dev/null
    i2cset -y "$BRIDGE" 0x68 0x37 0x02 2>/dev/null
    echo "0c 00 $(i2cget -y "$BRIDGE" 0x0c 0x00 2>/dev/null || echo silent)"
    end
    trace_off
    begin "$1.trace"
    grep 'smbus_' "$T"/trace
    end
}
if use_bridge; then
    reset_try reset.nopause 0
    reset_try reset.pause 100000
fi
