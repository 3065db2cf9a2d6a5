# shellcheck shell=sh
# builds: i2cdev wiringpi
# Only the motion sensor answers: no stand-alone magnetometer, none behind the bypass.
if load_stub 0x68; then
    set_reg 0x68 0x75 0x68
    run_host absent.directmag board_directmag 0x1e -
    run_host absent.bypassmag board_bypassmag 0x0c -
fi
