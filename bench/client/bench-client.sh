#!/usr/bin/env bash
# One whole client exchange against the kit's echo server, next to netcat and socat doing the same
# round trip: median wall time and peak RSS as ratios, then the board build's size and needs.
#   bench-client.sh [native build dir] [armhf build dir]   (defaults build/native, build/armhf)
set -euo pipefail
cd "$(dirname "$0")/../.."

native=${1:-build/native}
armhf=${2:-build/armhf}
runs=${BENCH_RUNS:-25}
port=5035
input='hello'

die() { echo "bench-client: $*" >&2; exit 1; }
find_program() {  # find_program BUILD_DIR FOLDER NAME
    local p
    for p in "$1/$2/$3" "$1/bin/$3"; do
        [ -x "$p" ] && { echo "$p"; return; }
    done
    die "no $3 in $1 (build it first)"
}
client=$(find_program "$native" client client)
server=$(find_program "$native" examples/echo_server echo_server)
for tool in nc socat /usr/bin/time; do
    command -v "$tool" >/dev/null || die "$tool is not installed"
done

tmp=$(mktemp -d)
server_pid=
cleanup() {
    [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
    rm -rf "$tmp"
}
trap cleanup EXIT

# The server stops by itself after a while, whatever happens to this script.
"$server" -p $port -t 300 >"$tmp/server.out" 2>&1 &
server_pid=$!
for _ in $(seq 100); do
    grep -q echoing "$tmp/server.out" 2>/dev/null && break
    kill -0 "$server_pid" 2>/dev/null || die "echo server failed: $(cat "$tmp/server.out")"
    sleep 0.05
done
grep -q echoing "$tmp/server.out" || die "echo server did not start"

printf '%s\n' "$input" >"$tmp/input"

# The three programs take turns, run by run, so that each sees the machine as the others do (a
# phase of load then weighs on all three alike, not on whichever ran during it).
commands=("$client" "nc -u -W1 127.0.0.1 $port" "socat -t0.05 - UDP4:127.0.0.1:$port")
names=(client nc socat)
walls=("" "" "")
peaks=(0 0 0)
for ((i = 0; i < runs; i++)); do
    for k in 0 1 2; do
        # Microseconds from bash 5's clock: no process of its own in the measurement.
        t0=${EPOCHREALTIME/[.,]/}
        ${commands[k]} <"$tmp/input" >"$tmp/out" 2>/dev/null || die "${names[k]} failed (run $i)"
        t1=${EPOCHREALTIME/[.,]/}
        [ -s "$tmp/out" ] || die "${names[k]} got no reply (run $i)"
        walls[k]+="$((10#$t1 - 10#$t0)) "
        # shellcheck disable=SC2086 # the command's words
        /usr/bin/time -f %M -o "$tmp/rss" ${commands[k]} <"$tmp/input" >/dev/null 2>&1 ||
            die "${names[k]} failed under /usr/bin/time (run $i)"
        rss=$(tail -n1 "$tmp/rss")
        ((rss > peaks[k])) && peaks[k]=$rss
    done
done
median() {  # median NUMBERS...
    printf '%s\n' "$@" | sort -n |
        awk '{a[NR] = $1} END {print (NR % 2 ? a[(NR + 1) / 2] : int((a[NR / 2] + a[NR / 2 + 1]) / 2))}'
}
# shellcheck disable=SC2086 # one word a run
c_wall=$(median ${walls[0]}) n_wall=$(median ${walls[1]}) s_wall=$(median ${walls[2]})
c_rss=${peaks[0]} n_rss=${peaks[1]} s_rss=${peaks[2]}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }
verdict() { awk -v r="$1" -v t="$2" 'BEGIN {print (r <= t ? "ok" : "OVER")}'; }
wall_nc=$(ratio "$c_wall" "$n_wall")
rss_nc=$(ratio "$c_rss" "$n_rss")

echo "one exchange, $runs runs each, median wall time and peak RSS"
printf '  %-8s %10s %10s\n' "" "wall (us)" "RSS (KiB)"
printf '  %-8s %10s %10s\n' client "$c_wall" "$c_rss" nc "$n_wall" "$n_rss" socat "$s_wall" "$s_rss"
echo "  client/nc:    wall ${wall_nc}x ($(verdict "$wall_nc" 0.9), target <= 0.9x)," \
     "RSS ${rss_nc}x ($(verdict "$rss_nc" 0.8), target <= 0.8x)"
echo "  client/socat: wall $(ratio "$c_wall" "$s_wall")x, RSS $(ratio "$c_rss" "$s_rss")x"

status=0
[ "$(verdict "$wall_nc" 0.9)" = ok ] && [ "$(verdict "$rss_nc" 0.8)" = ok ] || status=1

if board=$(find_program "$armhf" client client 2>/dev/null); then
    arm-linux-gnueabihf-strip -o "$tmp/client.armhf" "$board"
    size=$(stat -c %s "$tmp/client.armhf")
    needed=$(arm-linux-gnueabihf-readelf -dW "$board" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | paste -sd' ')
    echo "armhf client: $size bytes stripped ($( ((size <= 6144)) && echo ok || echo OVER)," \
         "target <= 6144), NEEDED: $needed ($([ "$needed" = libc.so.6 ] && echo ok || echo NOT libc only))"
    ((size <= 6144)) && [ "$needed" = libc.so.6 ] || status=1
else
    echo "armhf client: not built in $armhf (configure and build the armhf preset for its size)"
fi
exit $status
