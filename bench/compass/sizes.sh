#!/usr/bin/env bash
# Prints the stripped sizes of the shared compass libraries of an armhf build (target: 6 KiB each).
#   bench/compass/sizes.sh [BUILD_DIR]     (default build/armhf)
set -euo pipefail
dir=${1:-build/armhf}
strip=${STRIP:-arm-linux-gnueabihf-strip}
limit=6144
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
status=0
for lib in bypassmag directmag; do
    so="$dir/compass/lib$lib.so"
    [ -f "$so" ] || { echo "sizes.sh: $so not found (build the armhf tree first)" >&2; exit 1; }
    file -L "$so" | grep -q 'ARM' || { echo "sizes.sh: $so is not an ARM library" >&2; exit 1; }
    "$strip" --strip-all -o "$tmp/lib$lib.so" "$so"
    size=$(stat -c %s "$tmp/lib$lib.so")
    verdict=ok
    [ "$size" -le "$limit" ] || { verdict="over $limit"; status=1; }
    printf '%-16s %6d bytes stripped (%s)\n' "lib$lib.so" "$size" "$verdict"
done
exit $status
