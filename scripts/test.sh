#!/usr/bin/env bash
# The kit's whole test suite: native, armhf under qemu-arm, the armhf packages on a booted kernel
# (qemu-system-arm), ASan+UBSan, a fuzz smoke run, formatting and static analysis.
# Exits non-zero when anything fails.
set -uo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh test || exit 1

status=0
summary=()
step() {  # step NAME COMMAND... : runs it, remembers the outcome
    local name=$1; shift
    echo "=== $name"
    if "$@"; then summary+=("ok    $name"); else summary+=("FAIL  $name"); status=1; fi
}

build_and_test() {
    local preset=$1
    cmake --preset "$preset" >/dev/null &&
    cmake --build --preset "$preset" &&
    ctest --preset "$preset" 2>&1 | tee "build/$preset-ctest.log" | grep -v '^ *[0-9]*/[0-9]* Test' ;
    local rc=${PIPESTATUS[0]}
    return "$rc"
}

# ctest's totals and the lists it gives of the tests that failed or did not run (a test's name
# may well contain "Failed": only these lists say which ones did).
ctest_summary() {
    awk '/tests passed|tests failed|Total Test time/ { print; next }
         /^The following tests (FAILED|did not run):/ { print; listing = 1; next }
         listing && /^[[:space:]]+[0-9]+ - / { print; next }
         { listing = 0 }' "$1"
}

step "native build and tests" build_and_test native
step "armhf build and tests (qemu-arm)" build_and_test armhf
step "board test (armhf packages on Debian's kernel, qemu-system-arm)" bash scripts/board-test.sh
step "ASan+UBSan build and tests" build_and_test asan
step "fuzz smoke (libFuzzer)" bash scripts/fuzz.sh smoke
step "clang-format" scripts/lint.sh format
step "clang-tidy and cppcheck" scripts/lint.sh analyse

echo
echo "=== ctest summaries"
for p in native armhf asan; do
    [ -f "build/$p-ctest.log" ] && { echo "--- $p"; ctest_summary "build/$p-ctest.log"; }
done
echo
printf '%s\n' "${summary[@]}"
exit $status
