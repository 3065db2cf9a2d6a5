# shellcheck shell=bash
# Absent magnetometers: every data read fails and counts as 0xFF:
#   directmag: X = Y = -1, x = -5, y = 272: atan2(272, -5) = 91.053 deg;
#   bypassmag: X' = Y' = trunc(-0.3) = 0, x = -30, y = -61: atan2(-61, -30) = 243.812 deg.
two_gets() { printf '%s get\n' "$1" "$1"; }
check "absent 0x1E: directmag's lines and headings" \
    "$(printf 'setup success.\nhandle ok\nheading 0.000 ref 91.053\nheading 0.000 ref 91.053\nexit 0')" \
    "$(section absent.directmag.out)"
check "absent 0x1E: directmag's transfers, each failing" \
    "$(expect transfers directmag <(two_gets directmag) 1e)" "$(transfers absent.directmag.trace | cut -d' ' -f3-)"
check "absent 0x0C: bypassmag's lines and headings" \
    "$(printf 'setup success.\nFound MPU.\nsetup success.\nhandle ok\nheading 360.000 ref 243.812\nheading 360.000 ref 243.812\nexit 0')" \
    "$(section absent.bypassmag.out)"
check "absent 0x0C: bypassmag's transfers, those to the magnetometer failing" \
    "$(expect transfers bypassmag <(two_gets bypassmag) 0c)" "$(transfers absent.bypassmag.trace | cut -d' ' -f3-)"
