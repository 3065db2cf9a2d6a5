#!/usr/bin/env bash
# Fuzzing with libFuzzer: builds tests/fuzz with clang (ASan+UBSan) into build/fuzz and runs each
# target in turn on its corpus in build/fuzz/corpus/<target>.
#   scripts/fuzz.sh [SECONDS]   - SECONDS per target (default 600); each stops at its first finding
#   scripts/fuzz.sh smoke       - 12 seconds per target, as the test command runs it
# A finding leaves its input as build/fuzz/crash-* (replay: build/fuzz/fuzz_<target> <file>).
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-600}
[ "$seconds" = smoke ] && seconds=12
[[ "$seconds" =~ ^[1-9][0-9]*$ ]] || { echo "fuzz.sh: bad time '$seconds' (seconds, or smoke)" >&2; exit 2; }
command -v clang++ >/dev/null || { echo "fuzz.sh: clang++ not found (bash scripts/deps.sh test)" >&2; exit 1; }

out=build/fuzz
CXX=clang++ cmake -S tests/fuzz -B $out >/dev/null
cmake --build $out -j2 >/dev/null

# Seeds for the board: each module's set-up and one reading, so runs start past the bypass switch.
seed() { mkdir -p "$out/corpus/$1"; [ -n "$(ls -A "$out/corpus/$1")" ] || printf "$3" >"$out/corpus/$1/$2"; }
seed board bypassmag '\0\0\2\0\153\0\2\0\67\2\0\1\2\1\12\1\3\0\12\1\1\3\1\1\4\1\1\5\1\1\6'
seed board directmag '\0\2\2\0\0\70\2\0\2\0\3\0\40\1\0\3\1\0\4\1\0\5\1\0\6\1\0\7\1\0\10'
status=0
for target in reply heading board; do
    mkdir -p "$out/corpus/$target"
    log=$out/$target.log
    if (cd $out && ./fuzz_$target -max_total_time="$seconds" -print_final_stats=1 "corpus/$target") >"$log" 2>&1; then
        result="no finding"
    else
        result="FINDING (see $log)"; status=1
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    printf 'fuzz_%-8s %10s runs in %ss: %s\n' "$target" "${runs:-?}" "$seconds" "$result"
done
exit $status
