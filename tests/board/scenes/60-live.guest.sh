# shellcheck shell=sh
# builds: i2cdev wiringpi
# The live parts: the bridge adapter (plain I2C, SMBus emulated by the kernel's core) served by
# bridged's models in the board's own time. Each module reads while the board turns (live.txt).
if use_bridge; then
    # One I2C_RDWR of two write-read pairs joined by repeated starts: the HMC5883L's identification
    # and eight data bytes from 03H, its pointer wrapping from 08H back to 03H.
    ctl scene default
    ctl yaw 30
    begin live.burst
    i2ctransfer -y "$BRIDGE" w1@0x1e 0x0a r3 w1@0x1e 0x03 r8 2>&1
    end
    run_live live.directmag board_directmag directmag
    run_live live.bypassmag board_bypassmag bypassmag
fi
