# shellcheck shell=bash
# The motion sensor's reset on the live part: lost writes and a silent magnetometer without the
# pause, the magnetometer's WIA with it (the part ignores the bus for 100 ms after DEVICE_RESET).
reset_gap() { transfers "$1.trace" | awk 'NR == 1 { t = $2 } NR == 2 { printf "%.3f ms from the reset to the wake write", ($1 - t) * 1000 }'; }
check "live reset: wake and bypass at once after DEVICE_RESET are lost, the magnetometer silent" \
    "$(printf 'w 68 6b 80 ok\nw 68 6b 08 fail\nw 68 37 02 fail\nr 0c 00 -- fail\n0c 00 silent')" \
    "$(transfers reset.nopause.trace | cut -d' ' -f3-; section reset.nopause)" "$(reset_gap reset.nopause)"
check "live reset: after a 100 ms pause the magnetometer answers" \
    "$(printf 'w 68 6b 80 ok\nw 68 6b 08 ok\nw 68 37 02 ok\nr 0c 00 48 ok\n0c 00 0x48')" \
    "$(transfers reset.pause.trace | cut -d' ' -f3-; section reset.pause)" "$(reset_gap reset.pause)"
