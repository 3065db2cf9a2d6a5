# shellcheck shell=sh
# No adapter yet, so no /dev/i2c-N: the open fails.
run_host nobus.directmag board_directmag 0x1e -
