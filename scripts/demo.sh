#!/usr/bin/env bash
# The kit at work on this machine: one client exchange with the example echo server on 127.0.0.1,
# then both compass libraries on the simulated board while it turns through a full circle, the
# calibration helper, and the board doctor on a sound and on a faulty simulated board.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh demo
build=build/demo
echo "=== building the client, the echo server and the tools on the simulated board into $build"
cmake -S . -B $build -DKIT_BUILD_TESTS=OFF -DKIT_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Release >/dev/null
# The build's progress by quarters: a first build takes a minute or two.
cmake --build $build -j2 --target client echo_server heading_monitor_bypassmag heading_monitor_directmag calibrate doctor |
    awk '/^\[ *[0-9]+%\] (Building|Linking)/ {
             q = int(substr($0, 2, 3) / 25)
             if (q > shown) { shown = q; printf "demo.sh: built %d%%\n", q * 25; fflush() }
         }'

echo "=== UDP client against the echo server on 127.0.0.1:5035 (typed word: hello)"
# The client must only talk to our server: wait for it to say it listens, and when it cannot bind,
# say who holds the port instead of letting the client reach them.
said=$(mktemp)
$build/examples/echo_server/echo_server -n 1 -t 10 >"$said" 2>&1 &
server=$!
trap 'kill $server 2>/dev/null || true; rm -f "$said"' EXIT
for _ in $(seq 100); do
    grep -q 'echoing on' "$said" && break
    kill -0 $server 2>/dev/null || break
    sleep 0.1
done
if ! grep -q 'echoing on' "$said"; then
    cat "$said" >&2
    echo "demo.sh: the echo server could not listen on UDP 127.0.0.1:5035" >&2
    holders=$(ss -H -lunp 'sport = :5035' 2>/dev/null || true)
    if [ -n "$holders" ]; then
        echo "demo.sh: UDP port 5035 is held by:" >&2
        printf '%s\n' "$holders" >&2
    fi
    exit 1
fi
cat "$said"
echo hello | $build/client/client
wait $server

for module in bypassmag directmag; do
    echo "=== $module on the simulated board, turning through a full circle"
    $build/tools/sim/compass-monitor-$module --simulate-turn --count 13 --pace-ms 100
done

echo "=== calibration helper on the simulated board (it turns the board itself)"
$build/tools/sim/compass-calibrate directmag --simulate-turn

# The doctor's status says whether a module can work; the demo shows both answers.
echo "=== board doctor on the simulated board: a sound one, then a GY-271 that carries a QMC5883L"
$build/tools/sim/compass-doctor --simulate sound
$build/tools/sim/compass-doctor --simulate qmc5883l || echo "(compass-doctor exits $?: no module can work there)"
