#!/bin/sh
# The board tools built on the real wiringPi (2.25, as scripts/wiringpi.sh builds it for this
# machine) in a kit build of their own, then dead_bus.sh on them; skipped where it is not built.
#   wiringpi_build.sh SOURCE_DIR WORK_DIR GENERATOR C_COMPILER CXX_COMPILER
set -u
src=$1 work=$2
if ! root=$(bash "$src/scripts/wiringpi.sh" --prefix native 2>/dev/null); then
    echo "skipped: no wiringPi built for this machine (bash scripts/wiringpi.sh native)"
    exit 77
fi
tools="compass_doctor compass_monitor_bypassmag compass_monitor_directmag calibrate_board"
# shellcheck disable=SC2086 # one target a word
if ! { cmake -S "$src" -B "$work" -G "$3" -DCMAKE_C_COMPILER="$4" -DCMAKE_CXX_COMPILER="$5" \
    -DCOMPASS_BUS=wiringpi -DKIT_WIRINGPI_ROOT="$root" -DCMAKE_PREFIX_PATH="$root" \
    -DKIT_BUILD_TESTS=OFF -DKIT_BUILD_BENCH=OFF -DKIT_INSTALL=OFF &&
    cmake --build "$work" -j2 --target $tools; } >"$work.log" 2>&1; then
    cat "$work.log"
    exit 1
fi
exec sh "$src/tests/tools/dead_bus/dead_bus.sh" wiringpi 1 "$work/tools/doctor/compass-doctor" \
    "$work/tools/monitor/compass-monitor-bypassmag" "$work/tools/monitor/compass-monitor-directmag" \
    "$work/tools/calibrate/compass-calibrate"
