#!/usr/bin/env bash
# The kit's whole test suite: native, armhf under qemu-arm, the armhf packages on a booted kernel
# (qemu-system-arm), ASan+UBSan, a fuzz smoke run, formatting and static analysis.
# Prints the steps, ctest's summaries and the time each took; everything else goes to
# build/logs/<step>.log, and a failing step shows its failures. VERBOSE=1 shows all output as it
# comes. Exits non-zero when anything fails.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1

bash scripts/deps.sh test || exit 1

logs=build/logs
mkdir -p "$logs"
status=0
summary=()

# logged LOG COMMAND... : runs it with its output appended to LOG (and shown, with VERBOSE=1)
logged() {
    local log=$1; shift
    if [ "${VERBOSE:-0}" = 1 ]; then
        "$@" 2>&1 | tee -a "$log"
        return "${PIPESTATUS[0]}"
    fi
    "$@" >>"$log" 2>&1
}

# ctest's totals and the lists it gives of the tests that failed or did not run (a test's name
# may well contain "Failed": only these lists say which ones did).
ctest_summary() {
    awk '/tests passed|tests failed|Total Test time/ { print; next }
         /^The following tests (FAILED|did not run):/ { print; listing = 1; next }
         listing && /^[[:space:]]+[0-9]+ - / { print; next }
         { listing = 0 }' "$1"
}

# The output ctest shows of each failed test: from its result line to the next test's line.
ctest_failures() {
    awk '/^ *([0-9]+\/[0-9]+ Test +#|Start +[0-9]+:)/ { showing = 0 }
         /^ *[0-9]+\/[0-9]+ Test +#.*\*\*\*/ { showing = 1; n = 0 }
         /^The following tests|tests passed, / { showing = 0 }
         showing && n++ < 80 { print }' "$1"
}

# build_and_test PRESET: configure and build into $logs/PRESET-build.log, test into PRESET-ctest.log
build_and_test() {
    local p=$1 build=$logs/$1-build.log tests=$logs/$1-ctest.log
    : >"$build"
    : >"$tests"
    if ! logged "$build" cmake --preset "$p" || ! logged "$build" cmake --build --preset "$p"; then
        # The end of it, without the progress lines that bury the compiler's messages.
        [ "${VERBOSE:-0}" = 1 ] || grep -v '^\[ *[0-9]*%\]' "$build" | tail -n 40
        echo "(build log: $build)"
        return 1
    fi
    logged "$tests" ctest --preset "$p"
    local rc=$?
    if [ "$rc" -ne 0 ] && [ "${VERBOSE:-0}" != 1 ]; then
        ctest_failures "$tests"
    fi
    ctest_summary "$tests"
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

step() {  # step NAME COMMAND... : runs it, remembers the outcome and the time it took
    local name=$1; shift
    local start=$SECONDS
    echo "=== $name"
    if "$@"; then
        summary+=("$(printf 'ok    %4ds  %s' $((SECONDS - start)) "$name")")
    else
        summary+=("$(printf 'FAIL  %4ds  %s' $((SECONDS - start)) "$name")")
        status=1
    fi
}

# The results these steps print themselves, from their logs (VERBOSE=1 has shown them already).
shown() { [ "${VERBOSE:-0}" = 1 ] || "$@"; }
board() { quiet board bash scripts/board-test.sh && shown tail -n 1 "$logs/board.log"; }
fuzz() { quiet fuzz bash scripts/fuzz.sh smoke && shown grep '^fuzz_' "$logs/fuzz.log"; }

# The real wiringPi built for this machine first, so that the native tests build the kit on it too.
native() { quiet wiringpi bash scripts/wiringpi.sh native && build_and_test native; }
step "native build and tests" native
# On an armhf machine the native build is the board's own, tested natively above.
if [ "$(dpkg --print-architecture)" != armhf ]; then
    step "armhf build and tests (qemu-arm)" build_and_test armhf
    step "board test (armhf packages on Debian's kernel, qemu-system-arm)" board
fi
step "ASan+UBSan build and tests" build_and_test asan
step "fuzz smoke (libFuzzer)" fuzz
step "clang-format" quiet clang-format scripts/lint.sh format
step "clang-tidy and cppcheck" quiet analyse scripts/lint.sh analyse

echo
printf '%s\n' "${summary[@]}"
echo "logs: $logs/"
exit $status
