# shellcheck shell=bash
# The live parts: each module's lines and headings as live.txt works them out; its transfers in the
# smbus trace (the core's events fire for the SMBus it emulates over plain I2C) in the modules'
# table's order, and its waits measured there. Guest time runs with the instructions executed
# (boot.sh), so every gap below is the same on a loaded host; each note gives its margin.
live_rows() { grep -v '^#' tests/board/live.txt | awk -v m="$1" '$1 == m'; }
# The module's table of transfers for these rows, without the data bytes (the models' own).
live_transfers() {
    expect transfers "$1" <(live_rows "$1" | awk '{ print $1, ($4 == "avg" ? "avg " $5 : "00 00 00 00 00 00") }') |
        cut -d' ' -f1-3,5
}
# At yaw 30 the power-up measurement holds X 236 + 4, Z -436 (40 uT up), Y 136 - 273 (live.txt).
check "live: burst reads with repeated starts through I2C_RDWR, the register pointer as the HMC5883L moves it" \
    "$(printf '0x48 0x34 0x33\n0x00 0xf0 0xfe 0x4c 0xff 0x77 0x00 0xf0')" "$(section live.burst)"
for m in directmag bypassmag; do
    case $m in
        directmag) head='setup success.\nFound magneto DIRECTMAG.\nhandle ok' ;;
        *) head='setup success.\nFound MPU.\nsetup success.\nFound magneto.\nhandle ok' ;;
    esac
    check "live $m: set-up lines and headings while the board turns$([ $m = bypassmag ] && echo ', avg_magneto after a turn')" \
        "$(printf '%b\n' "$head"; live_rows $m | sed 's/.*= //'; echo "exit 0")" "$(section live.$m.out)"
    check "live $m: smbus transfers of set-up and readings" "$(live_transfers $m)" \
        "$(transfers live.$m.trace | cut -d' ' -f3-5,7)"
    check_waits $m live.$m.trace "live $m"
done

# directmag reads at once after its mode write: the first continuous sample lands 26.7 ms (two
# output periods at 75 Hz) after it, so the first reading is the power-up measurement.
gap=$(transfers live.directmag.trace | awk '$3 $4 $5 $6 == "w1e0200" { t = $2 } $3 $4 $5 == "r1e03" && t { printf "%.3f", ($1 - t) * 1000; exit }')
check "live directmag: first reading real at once, from the power-up measurement" \
    "heading 0.000 ref 29.954, read before the first sample" \
    "$(section live.directmag.out | sed -n 4p), read $(awk -v g="$gap" 'BEGIN { print (g != "" && g < 26.7 ? "before" : "after") }') the first sample" \
    "$gap ms after the mode write, 26.7 ms allowed"

# The last two readings: a 9 ms part, then a 7.3 ms one. X's low byte (0c 03; its high byte is 00
# either way at this yaw) is read right only once the conversion is over: the gap from the
# trigger's end to the end of its read decides.
xread=$(transfers live.bypassmag.trace | awk '
    $3 $4 $5 $6 == "w0c0a01" { t = $2 } $4 $5 == "0c03" { lo = $6; gap = ($2 - t) * 1000 }
    $4 $5 == "0c04" { n++; x[n] = lo " " $6; g[n] = gap }
    END { printf "%s|%s|%.3f|%.3f", x[n - 1], x[n], g[n - 1], g[n] }')
IFS='|' read -r x9 x7 g9 g7 <<<"$xread"
check "live bypassmag: a 9 ms AK8975 reads X 0 after the 8 ms wait, a 7.3 ms one reads it right" \
    "9 ms: 00 00, 7.3 ms: b7 00" "9 ms: $x9, 7.3 ms: $x7" \
    "X read $g9 and $g7 ms after the trigger: below 9 by $(awk -v g="$g9" 'BEGIN { printf "%.3f", 9 - g }'), above 7.3 by $(awk -v g="$g7" 'BEGIN { printf "%.3f", g - 7.3 }') ms"
check "bridged: nothing on its error output" "" "$(section bridged.err)"
