#!/usr/bin/env bash
# scripts/wiringpi.sh on bad input: a cached tarball truncated or altered, a registry that refuses,
# never answers or serves an altered tarball. Each must stop within its time with one line naming
# what and where, keep nothing and build nothing. Everything stays in a scratch cache; npm only
# ever talks to loopback here.
#   fetch_test.sh SOURCE_DIR
set -uo pipefail
script=$1/scripts/wiringpi.sh
work=$(mktemp -d)
trap 'kill $nc_pid $registry_pid 2>/dev/null; rm -rf "$work"' EXIT
nc_pid='' registry_pid=''
failed=0
expected_sum=49467cd200772eec1d7c58b45deccf9a8aea80fc3f63b9e5c67f84bc78756897

# run CASE SECONDS PATTERN... : runs the script for native in a fresh cache (prepared by the
# caller in $work/CASE); it must fail within SECONDS, its last line matching every PATTERN.
run() {
    local case=$1 limit=$2 start rc err last p kept=$work/$1/compasskit/wiringpi/wiring-pi-2.2.1.tgz had=false
    shift 2
    [ -e "$kept" ] && had=true
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
    $had || [ ! -e "$kept" ] || why="$why; kept the tarball"
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
    # A registry whose tarball differs from the package's (its own checksums match what it
    # serves, so npm takes it): only the script's checksum can stop it.
    # shellcheck disable=SC2016 # JavaScript's own template strings
    node -e '
        const fs = require("fs"), http = require("http"), crypto = require("crypto");
        const tgz = fs.readFileSync(process.argv[1]);
        const sum = (a, e) => crypto.createHash(a).update(tgz).digest(e);
        const server = http.createServer((req, res) => {
            if (req.url.endsWith(".tgz")) return res.end(tgz);
            const at = `http://127.0.0.1:${server.address().port}`;
            const dist = { tarball: `${at}/wiring-pi/-/wiring-pi-2.2.1.tgz`, shasum: sum("sha1", "hex"),
                           integrity: "sha512-" + sum("sha512", "base64") };
            res.setHeader("content-type", "application/json");
            res.end(JSON.stringify({ name: "wiring-pi", "dist-tags": { latest: "2.2.1" },
                                     versions: { "2.2.1": { name: "wiring-pi", version: "2.2.1", dist } } }));
        });
        server.listen(0, "127.0.0.1", () => console.log(server.address().port));
        setTimeout(() => process.exit(0), 60000);' "$work/made.tgz" >"$work/registry.port" &
    registry_pid=$!
    for _ in $(seq 50); do [ -s "$work/registry.port" ] && break; sleep 0.1; done
    port=$(cat "$work/registry.port")
    npm_config_registry=http://127.0.0.1:$port/ run served_altered 30 \
        "^wiringpi.sh: wiring-pi-2.2.1.tgz from http://127.0.0.1:$port/: sha256 $(sha256sum "$work/made.tgz" | cut -d' ' -f1), expected $expected_sum for wiring-pi 2.2.1 \(not kept\)$"
else
    echo "skip  refused, silent, served_altered: no npm here"
fi
exit $failed
