# shellcheck shell=bash
# Judging from outside: what the guest printed on each kernel ($out), section by section, against
# what each scene's judge (scenes/*.judge.sh, in order) expects. Counts passed and failed over all
# kernels; each check is named by its kernel and build ("armmp i2cdev: ...", "arm64 wiringpi: ...").
table=tests/compass/sequences.txt

# SP and CP: the prefixes of the build being judged in the sections' and in the checks' names.
SP=
CP=
section() { awk -v n="@@begin $SP$1" '$0 == n { on = 1; next } on && $0 == "@@end" { exit } on' "$out"; }
transfers() { section "$1" | awk -f tests/board/trace.awk; } # transfers SECTION
rows() { grep -v '^#' tests/board/turns.txt | awk -v m="$1" '$1 == m'; } # rows MODULE: its turns
expect() { # expect WHAT MODULE READINGS [ABSENT-ADDR] : see tests/board/expect.awk
    awk -v want="$1" -v module="$2" -v absent="${4:-}" -f tests/board/expect.awk "$table" "$3"
}

# The board's revision in tests/board/cpuinfo (a01041: a Pi 2), and the lines with which the
# wiringPi build's compass-doctor begins there: the library's answer (its layout, in layout and
# wiringpi_bus: judge_kernel), the revision (the emulated board's device tree has none).
revision=$(sed -n 's/^Revision\t*: //p' tests/board/cpuinfo)
doctor_bus() {
    [ "$build" != wiringpi ] ||
        printf 'ok    bus: wiringPi (version not told) opens %s (piBoardRev() returns %s)\nok    board revision: none in the device tree; %s in /proc/cpuinfo\n' \
            "$wiringpi_bus" "$layout" "$revision"
}

passed=0
failed=0
check() { # check NAME EXPECTED ACTUAL [NOTE]
    if [ "$2" = "$3" ]; then
        passed=$((passed + 1))
        echo "ok    $CP$1${4:+ ($4)}"
    else
        failed=$((failed + 1))
        echo "FAIL  $CP$1${4:+ ($4)}"
        diff <(echo "$2") <(echo "$3") | sed -n 's/^\([<>]\)/      \1/p' | head -n 40 || true
    fi
}

# check_waits MODULE SECTION [LABEL] : one check per wait in the module's table: every time the transfer
# before it is followed by the one after it, the gap from the end of one to the start of the
# other is at least that long.
check_waits() {
    local phase ms before after seen what
    while read -r phase ms before after; do
        what=set-up
        [ "$phase" = setup ] || what="each $phase"
        seen=$(transfers "$2" | awk -v b="$before" -v a="$after" '
            function key() { return $3 "_" $4 "_" $5 ($3 == "w" ? "_" $6 : "") }
            prev == b && key() == a { gap = ($1 - end) * 1000; n++; if (n == 1 || gap < min) min = gap }
            { prev = key(); end = $2 }
            END { printf "%d %.3f\n", n, min }')
        check "${3:-$1}: $what waits >= $ms ms from ${before//_/ } to ${after//_/ }" yes \
            "$(echo "$seen" | awk -v ms="$ms" '{ print ($1 > 0 && $2 >= ms ? "yes" : "no") }')" \
            "$(echo "$seen" | awk '{ printf "%d seen, shortest %s ms", $1, $2 }')"
    done < <(expect waits "$1" /dev/null)
}

# judge_kernel FLAVOUR : one kernel's run. A guest that never reached its init is one line, not
# every check failing; one that hung or whose module did not load is judged on what it printed.
judge_kernel() {
    use_kernel "$1"
    local qrc elapsed scene p0=$passed f0=$failed
    out=$guest/$kflav.console.txt
    qrc=$(cat "$guest/$kflav.qrc")
    elapsed=$(cat "$guest/$kflav.elapsed")
    KP="$kflav " CP="$kflav board: "
    echo
    echo "kernel: $kflav: $abi (Debian $kver), busybox $bbver"
    case $qrc in
        0) ;;
        124) echo "$me: $who: booting: the board did not power off within 300 s; judging what it printed" ;;
        *) echo "$me: $who: booting: $qemu exited with $qrc:"; tail -n 20 "$guest/$kflav.qemu.log" ;;
    esac
    if ! grep -q '^@@boot' "$out"; then
        failed=$((failed + 1))
        echo "FAIL  $me: $who: booting: the guest never ran its init; the console's last lines:"
        tail -n 20 "$out" | sed 's/^/      /'
        return
    fi
    # The guest's own faults (a module that does not load): one line each, each a failure.
    while IFS= read -r p; do
        failed=$((failed + 1))
        echo "FAIL  $me: $who: $p"
    done < <(sed -n 's/^@@fault //p' "$out")
    check "guest ran every check and powered off" "@@done" \
        "$(grep -o '^@@done' "$out" || grep -o '^@@watchdog' "$out" || echo "no result (qemu exit $qrc)")"
    local machine=armv7l
    [ "$kflav" = arm64 ] && machine=aarch64 # the armhf userland's calls go through the compat layer
    check "runs Debian's $abi, uname -m $machine" "$abi $machine" "$(section kernel | tr '\n' ' ' | sed 's/ $//')"
    # Each build's checks named by it: every scene for the i2c-dev build, then those of the hosts
    # and tools (marked "# builds: ... wiringpi" in their guest side) for the wiringPi build, on the
    # same tables. Both open the node the scenes make: the bus wiringPi picks for the board must be
    # it (wiringPiI2CSetup: /dev/i2c-0 for layout 1, /dev/i2c-1 for any later one).
    build=i2cdev CP="${KP}i2cdev: "
    for scene in tests/board/scenes/*.judge.sh; do
        # shellcheck source=/dev/null
        . "$scene"
    done
    build=wiringpi CP="${KP}wiringpi: " SP=wiringpi.
    layout=$(section rev.pi2.out | sed -n 's/^layout //p')
    case $layout in 1) wiringpi_bus=/dev/i2c-0 ;; '') wiringpi_bus=none ;; *) wiringpi_bus=/dev/i2c-1 ;; esac
    check "wiringPi's bus on revision $revision (piBoardRev() returns ${layout:-nothing}) is the kit's /dev/i2c-$kit_bus" \
        "/dev/i2c-$kit_bus" "$wiringpi_bus"
    for scene in $(grep -l '^# builds: .*wiringpi' tests/board/scenes/*.guest.sh); do
        # shellcheck source=/dev/null
        . "${scene%.guest.sh}.judge.sh"
    done
    build= CP= SP=
    echo "$kflav: $((passed - p0)) passed, $((failed - f0)) failed; boot to result: $elapsed s from qemu's start to power-off (guest: kernel up to init $(sed -n 's/^@@boot //p' "$out" | head -n 1) s, results at $(sed -n 's/^@@done //p' "$out" | head -n 1) s)"
}

judge() {
    local k
    for k in "${kernels[@]}"; do judge_kernel "$k"; done
    echo "board: $passed passed, $failed failed"
}
