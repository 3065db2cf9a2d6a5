#!/usr/bin/env bash
# The kit at work on this machine: one client exchange with the example echo server on 127.0.0.1,
# then both compass libraries on the simulated board while it turns through a full circle.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh demo
build=build/demo
cmake -S . -B $build -DKIT_BUILD_TESTS=OFF -DKIT_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build $build -j2 --target client echo_server heading_monitor_bypassmag heading_monitor_directmag calibrate >/dev/null

echo "=== UDP client against the echo server on 127.0.0.1:5035 (typed word: hello)"
$build/examples/echo_server/echo_server -n 1 -t 10 &
server=$!
trap 'kill $server 2>/dev/null || true' EXIT
sleep 0.2
echo hello | $build/client/client
wait $server
trap - EXIT

for module in bypassmag directmag; do
    echo "=== $module on the simulated board, turning through a full circle"
    $build/examples/heading_monitor/heading_monitor_$module --simulate-turn --count 13 --pace-ms 100
done

echo "=== calibration helper on the simulated board (it turns the board itself)"
$build/examples/calibrate/calibrate directmag --simulate-turn
