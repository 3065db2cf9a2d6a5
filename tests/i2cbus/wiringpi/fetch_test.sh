#!/usr/bin/env bash
# scripts/wiringpi.sh on bad input: a cached tarball truncated or altered, a registry that refuses
# or never answers. Each must stop within its time with one line naming what and where, and build
# nothing. Everything stays in a scratch cache; npm only ever talks to loopback here.
#   fetch_test.sh SOURCE_DIR
set -uo pipefail
script=$1/scripts/wiringpi.sh
work=$(mktemp -d)
trap 'kill $nc_pid 2>/dev/null; rm -rf "$work"' EXIT
nc_pid=
failed=0
expected_sum=49467cd200772eec1d7c58b45deccf9a8aea80fc3f63b9e5c67f84bc78756897

# run CASE SECONDS PATTERN... : runs the script for native in a fresh cache (prepared by the
# caller in $work/CASE); it must fail within SECONDS, its last line matching every PATTERN.
run() {
    local case=$1 limit=$2 start rc err last p
    shift 2
    start=$SECONDS
    err=$(XDG_CACHE_HOME=$work/$case npm_config_cache=$work/$case/npm timeout $((limit + 5)) \
        bash "$script" native 2>&1 >/dev/null)
    rc=$?
    last=$(echo "$err" | tail -n 1)
    local why=
    [ "$rc" -eq 1 ] || why="exit status $rc"
    [ $((SECONDS - start)) -le "$limit" ] || why="$why; took $((SECONDS - start)) s"
    for p; do echo "$last" | grep -qE -- "$p" || why="$why; no '$p'"; done
    [ -z "$(find "$work/$case" -name 'libwiringPi.so*')" ] || why="$why; built a library"
    if [ -n "$why" ]; then
        failed=1
        echo "FAIL  $case: ${why#; }"
        # shellcheck disable=SC2001 # every line indented
        echo "$err" | sed 's/^/      /'
    else
        echo "ok    $case: $last"
    fi
}

# A tarball shaped like the package (what the build unpacks), whose Makefile would leave a library.
mkdir -p "$work/pkg/package/wiringpi/wiringPi"
echo 2.25 >"$work/pkg/package/wiringpi/VERSION"
printf 'all:\n\ttouch libwiringPi.so.2.25\n' >"$work/pkg/package/wiringpi/wiringPi/Makefile"
tar -czf "$work/made.tgz" -C "$work/pkg" package
for case in truncated altered; do mkdir -p "$work/$case/compasskit/wiringpi"; done
head -c 100 "$work/made.tgz" >"$work/truncated/compasskit/wiringpi/wiring-pi-2.2.1.tgz"
cp "$work/made.tgz" "$work/altered/compasskit/wiringpi/wiring-pi-2.2.1.tgz"
for case in truncated altered; do
    f=$work/$case/compasskit/wiringpi/wiring-pi-2.2.1.tgz
    run "$case" 10 "^wiringpi.sh: $f: sha256 $(sha256sum "$f" | cut -d' ' -f1), expected $expected_sum"
done

if command -v npm >/dev/null; then
    # Nothing listens on the discard port: refused at once.
    npm_config_registry=http://127.0.0.1:9/ run refused 60 \
        "^wiringpi.sh: npm pack wiring-pi@2.2.1 failed \(registry http://127.0.0.1:9/\)" ECONNREFUSED
    # A listener that accepts and never answers: the script's own limit ends it.
    port=$((20000 + $$ % 20000))
    nc -l 127.0.0.1 "$port" >/dev/null </dev/null &
    nc_pid=$!
    sleep 0.5
    npm_config_registry=http://127.0.0.1:$port/ WIRINGPI_NPM_TIMEOUT=3 run silent 10 \
        "^wiringpi.sh: npm pack wiring-pi@2.2.1 failed \(registry http://127.0.0.1:$port/\): no answer within 3 s"
else
    echo "skip  refused, silent: no npm here"
fi
exit $failed
