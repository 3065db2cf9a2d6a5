# shellcheck shell=sh
# The live parts: the bridge adapter (plain I2C, SMBus emulated by the kernel's core) served by
# bridged's models in the board's own time. Each module reads while the board turns (live.txt).
if use_bridge; then
    run_live live.directmag board_directmag directmag
    run_live live.bypassmag board_bypassmag bypassmag
fi
