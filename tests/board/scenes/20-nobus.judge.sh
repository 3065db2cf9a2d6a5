# shellcheck shell=bash
# No bus: the open fails, every data read counts as 0xFF: X = Y = -1, x = -5, y = 272:
# atan2(272, -5) = 91.053 deg.
check "no bus: directmag reports the failed open and reads 0xFF bytes" \
    "$(printf 'Error while setting up.\nhandle negative\nheading 0.000 ref 91.053\nheading 0.000 ref 91.053\nexit 0')" \
    "$(section nobus.directmag.out)"
check "no bus: no transfer reaches the kernel's I2C core" "" "$(transfers nobus.directmag.trace)"
