# shellcheck shell=sh
# builds: i2cdev wiringpi
# The installed compass-doctor on i2c-stub chips: the kit's parts that identify but never measure,
# the look-alikes it must name, and an address the kernel holds.

# Identified, but ST1 DRDY and SR RDY never come: a register file does not measure.
if load_stub 0x0c,0x1e,0x68; then
    set_reg 0x68 0x75 0x68
    set_reg 0x0c 0x00 0x48
    set_reg 0x1e 0x0a 0x48
    set_reg 0x1e 0x0b 0x34
    set_reg 0x1e 0x0c 0x33
    run_tool doctor.parts compass-doctor
fi
# A GY-271 with the QMC5883L alone.
if load_stub 0x0d; then
    set_reg 0x0d 0x0d 0xff
    run_tool doctor.qmc compass-doctor
fi
# An MPU-9250 with nothing behind its bypass.
if load_stub 0x68; then
    set_reg 0x68 0x75 0x71
    run_tool doctor.mpu9250 compass-doctor
fi
# A kernel device declared at 0x68, an RTC the kernel's built-in rtc-ds1307 binds; an AK8975
# answering without a motion sensor.
if load_stub 0x0c,0x68; then
    set_reg 0x68 0x75 0x68
    set_reg 0x0c 0x00 0x48
    held=/sys/bus/i2c/devices/$STUB-0068
    echo ds3231 0x68 >/sys/bus/i2c/devices/i2c-"$STUB"/new_device
    begin doctor.held.kernel
    echo "adapter $STUB: $(cat "$held"/name), driver $(basename "$(readlink "$held"/driver)")"
    end
    run_tool doctor.held compass-doctor
    echo 0x68 >/sys/bus/i2c/devices/i2c-"$STUB"/delete_device
fi
