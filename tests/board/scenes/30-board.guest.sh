# shellcheck shell=sh
# builds: i2cdev wiringpi
# The whole board: both magnetometers and the motion sensor answer. Each host reads while the
# board turns (tests/board/turns.txt); the registers are read back after.
if load_stub 0x0c,0x1e,0x68; then
    # Identities, and power-on values that the set-ups must change.
    set_reg 0x68 0x75 0x68
    set_reg 0x68 0x6b 0x40
    set_reg 0x0c 0x00 0x48
    set_reg 0x1e 0x0a 0x48
    set_reg 0x1e 0x00 0x10
    set_reg 0x1e 0x02 0x03
    run_host directmag board_directmag 0x1e directmag
    dump_regs directmag.regs directmag
    run_host bypassmag board_bypassmag 0x0c bypassmag
    dump_regs bypassmag.regs bypassmag
fi
