#!/usr/bin/env bash
# The kit's whole test suite: native, native on the real wiringPi, armhf under qemu-arm, the armhf
# packages on a booted kernel (qemu-system-arm), ASan+UBSan, a fuzz smoke run, formatting and
# static analysis.
# Prints the steps, ctest's summaries and the time each took, with the tests skipped and why;
# everything else goes to build/logs/<step>.log, and a failing step shows its failures. VERBOSE=1
# shows all output as it comes. Exits non-zero when anything fails.
# shellcheck disable=SC2317 # the steps' functions are called through step
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1

logs=build/logs
mkdir -p "$logs"
status=0
summary=()

# Set-up: the packages the steps need, then wiringPi 2.25 built from its sources for this machine
# (the native-wiringpi tree) and for armhf (the board test). Both say what they do while they work
# and nothing when all is there; the summary gives the time when there was work.
start=$SECONDS
bash scripts/deps.sh test 2>&1 | tee "$logs/deps.log"
[ "${PIPESTATUS[0]}" -eq 0 ] || exit 1
wiringpi=(native)
[ "$(dpkg --print-architecture)" = armhf ] || wiringpi+=(armhf)
# Its last line says why it failed (an unreachable registry, an altered tarball): nothing to add.
bash scripts/wiringpi.sh "${wiringpi[@]}" 2>&1 >/dev/null | tee "$logs/wiringpi.log"
[ "${PIPESTATUS[0]}" -eq 0 ] || exit 1
if [ -s "$logs/deps.log" ] || [ -s "$logs/wiringpi.log" ]; then
    summary+=("$(printf 'ok    %4ds  %s' $((SECONDS - start)) "set-up (packages, wiringPi)")")
fi

# logged LOG COMMAND... : runs it with its output appended to LOG (and shown, with VERBOSE=1)
logged() {
    local log=$1; shift
    if [ "${VERBOSE:-0}" = 1 ]; then
        "$@" 2>&1 | tee -a "$log"
        return "${PIPESTATUS[0]}"
    fi
    "$@" >>"$log" 2>&1
}

# ctest's totals and the list it gives of the tests that failed or could not run (a test's name
# may well contain "Failed": only these lists say which ones did). Skipped tests are left to the
# step's line (skips).
ctest_summary() {
    awk '/tests passed|tests failed|Total Test time/ { print; next }
         /^The following tests (FAILED|did not run):/ { head = $0; listing = 1; next }
         listing && /^[[:space:]]+[0-9]+ - / && !/\(Skipped\)$/ {
             if (head != "") { print head; head = "" }
             print; next }
         listing && /^[[:space:]]+[0-9]+ - / { next }
         { listing = 0 }' "$1"
}

# skips CTEST_LOG TREE: "N skipped: NAME: REASON; ..." for the tests ctest skipped, each reason
# from the test's output in TREE's LastTest.log: GoogleTest's message after "Skipped", else the
# last line the test printed.
skips() {
    local names
    names=$(sed -nE 's/^ *[0-9]+\/[0-9]+ Test +#[0-9]+: ([^ ]+) .*\*\*\*Skipped.*/\1/p' "$1")
    [ -n "$names" ] || return 0
    awk -v names="$names" '
        BEGIN { n = split(names, list, "\n"); for (i = 1; i <= n; i++) wanted[list[i]] = 1 }
        /^[0-9]+\/[0-9]+ Test: / { name = $3; output = 0; reason = ""; after = 0; next }
        /^Output:$/ { output = 1; getline; next }
        /^<end of output>$/ {
            if (name in wanted && reason != "") { sub(/^(skipped|skip): */, "", reason); why[name] = reason }
            output = 0; next }
        !output || /^[[:space:]]*$/ || /^\[ +(SKIPPED|RUN|OK|PASSED) +\]|^\[=+\]|^\[-+\]/ { next }
        after == 1 { reason = $0; after = 2; next }
        after == 2 { next }
        / Skipped$/ { after = 1; reason = ""; next }
        { reason = $0 }
        END {
            printf "%d skipped: ", n
            for (i = 1; i <= n; i++)
                printf "%s%s: %s", (i > 1 ? "; " : ""), list[i], (list[i] in why ? why[list[i]] : "no reason given")
        }' "$2/Testing/Temporary/LastTest.log"
}

# The output ctest shows of each failed test: from its result line to the next test's line.
ctest_failures() {
    awk '/^ *([0-9]+\/[0-9]+ Test +#|Start +[0-9]+:)/ { showing = 0 }
         /^ *[0-9]+\/[0-9]+ Test +#.*\*\*\*/ { showing = 1; n = 0 }
         /^The following tests|tests passed, / { showing = 0 }
         showing && n++ < 80 { print }' "$1"
}

# building LOG START COMMAND... : logged, with a line once make's progress passes half way in what
# it compiles, so a first build of a minute or more is not silent all along.
building() {
    local log=$1 start=$2
    shift 2
    [ "${VERBOSE:-0}" = 1 ] && { logged "$log" "$@"; return; }
    "$@" 2>&1 | tee -a "$log" | {
        local line half=
        while IFS= read -r line; do
            if [ -z "$half" ] && [[ $line =~ ^\[\ *([0-9]+)%\]\ (Building|Linking) ]] && [ "${BASH_REMATCH[1]}" -ge 50 ]; then
                half=1
                echo "half built in $((SECONDS - start))s"
            fi
        done
    }
    return "${PIPESTATUS[0]}"
}

# build_and_test PRESET [CONFIGURE_OPTION...]: configure and build into $logs/PRESET-build.log,
# test into PRESET-ctest.log; the skips go to the step's line.
build_and_test() {
    local p=$1 build=$logs/$1-build.log tests=$logs/$1-ctest.log
    shift
    : >"$build"
    : >"$tests"
    local start=$SECONDS
    if ! logged "$build" cmake --preset "$p" "$@" || ! building "$build" "$start" cmake --build --preset "$p"; then
        # The end of it, without the progress lines that bury the compiler's messages.
        [ "${VERBOSE:-0}" = 1 ] || grep -v '^\[ *[0-9]*%\]' "$build" | tail -n 40
        echo "(build log: $build)"
        return 1
    fi
    # A build and its tests each take most of a minute: a line between them, so neither is silent
    # for both.
    echo "built in $((SECONDS - start))s; running its tests"
    logged "$tests" ctest --preset "$p"
    local rc=$?
    if [ "$rc" -ne 0 ] && [ "${VERBOSE:-0}" != 1 ]; then
        ctest_failures "$tests"
    fi
    ctest_summary "$tests"
    note=$(skips "$tests" "build/$p")
    [ "$rc" -eq 0 ] || echo "(ctest log: $tests)"
    return "$rc"
}

# quiet LOG COMMAND... : a step whose output goes to build/logs/LOG.log; on failure, its end
quiet() {
    local log=$logs/$1.log; shift
    : >"$log"
    logged "$log" "$@" && return 0
    [ "${VERBOSE:-0}" = 1 ] || tail -n 40 "$log"
    echo "(log: $log)"
    return 1
}

# step NAME COMMAND... : runs it, remembers the outcome, the time it took and what the command
# left in $note (the tests it skipped)
step() {
    local name=$1 outcome=ok; shift
    local start=$SECONDS
    echo "=== $name"
    note=
    "$@" || { outcome=FAIL; status=1; }
    summary+=("$(printf '%-4s  %4ds  %s%s' $outcome $((SECONDS - start)) "$name" "${note:+ ($note)}")")
}

# The results these steps print themselves, from their logs (VERBOSE=1 has shown them already).
shown() { [ "${VERBOSE:-0}" = 1 ] || "$@"; }
# A first run's downloads for the board (kernels, headers, source) take most of a minute before its
# builds and boots: their lines are shown as they come, on fd 3.
board_run() {
    bash scripts/board-test.sh 2>&1 | while IFS= read -r line; do
        printf '%s\n' "$line"
        case $line in "=== fetching "*) shown printf '%s\n' "$line" >&3 ;; esac
    done
    return "${PIPESTATUS[0]}"
}
board() { quiet board board_run 3>&1 && shown tail -n 1 "$logs/board.log"; }
fuzz() { quiet fuzz bash scripts/fuzz.sh smoke && shown grep '^fuzz_' "$logs/fuzz.log"; }

step "native build and tests" build_and_test native
# The kit on wiringPi: the tests whose outcome depends on the bus, and what they need built.
step "native build on wiringPi 2.25 and its bus tests" build_and_test native-wiringpi \
    -DKIT_WIRINGPI_ROOT="$(bash scripts/wiringpi.sh --prefix native)"
# On an armhf machine the native build is the board's own, tested natively above.
if [ "$(dpkg --print-architecture)" != armhf ]; then
    step "armhf build and tests (qemu-arm)" build_and_test armhf
    step "board test (armhf packages on Debian's armmp and arm64 kernels, qemu-system-arm and -aarch64)" board
fi
step "ASan+UBSan build and tests" build_and_test asan
step "fuzz smoke (libFuzzer)" fuzz
step "clang-format" quiet clang-format scripts/lint.sh format
step "clang-tidy and cppcheck" quiet analyse scripts/lint.sh analyse

echo
printf '%s\n' "${summary[@]}"
echo "logs: $logs/"
exit $status
