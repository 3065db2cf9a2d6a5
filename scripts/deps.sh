#!/usr/bin/env bash
# Installs, on Debian 12 (or Raspberry Pi OS), what the kit's build, tests and demo need and is not
# there yet.
#   scripts/deps.sh demo    - native build and the demo
#   scripts/deps.sh native  - native build and its tests, packages and benchmarks: a board that
#                             builds the kit itself needs only this
#   scripts/deps.sh test    - everything the test command uses (native, armhf, analysers, fuzzing,
#                             the board test); on an armhf machine the native build is the board's,
#                             so no cross toolchain or emulator
#   scripts/deps.sh board   - the board test (armhf cross build, qemu-system-arm, initramfs tools,
#                             npm for wiringPi's sources)
set -euo pipefail

what=${1:-test}
base=(cmake make g++ googletest pkg-config iproute2)
# i2c-tools: i2cdetect, which the README's board checks use.
native=(dpkg-dev file lintian man-db libbenchmark-dev socat netcat-openbsd time i2c-tools)
analysers=(clang-format clang-tidy cppcheck clang libclang-rt-14-dev)
# An armhf machine's own g++ is the arm-linux-gnueabihf compiler; elsewhere it is a cross one.
on_armhf=false
[ "$(dpkg --print-architecture)" = armhf ] && on_armhf=true
toolchain=()
$on_armhf || toolchain=(g++-arm-linux-gnueabihf binutils-arm-linux-gnueabihf)
# The armhf C and C++ libraries tell dpkg-shlibdeps what the armhf packages depend on.
cross=("${toolchain[@]}" qemu-user libc6:armhf libstdc++6:armhf)
# The board test's emulated boards (qemu-system-arm has -aarch64 too), arm64 modules' compiler, root.
guest=(qemu-system-arm gcc-aarch64-linux-gnu cpio xz-utils)
# npm fetches wiringPi's sources (scripts/wiringpi.sh); any npm on the PATH will do.
npm=()
command -v npm >/dev/null || npm=(npm)
pkgs=("${base[@]}")
case "$what" in
    demo) ;;
    native) pkgs+=("${native[@]}") ;;
    test)
        pkgs+=("${native[@]}" "${analysers[@]}" "${npm[@]}")
        $on_armhf || pkgs+=("${cross[@]}" "${guest[@]}") ;;
    # The board test packages the kit as the test command does (dpkg-shlibdeps against armhf libraries).
    board) pkgs+=(dpkg-dev file "${toolchain[@]}" libc6:armhf libstdc++6:armhf "${guest[@]}" "${npm[@]}") ;;
    *) echo "deps.sh: unknown set '$what' (demo, native, test or board)" >&2; exit 2 ;;
esac

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
missing=()
for p in "${pkgs[@]}"; do
    installed "$p" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "deps.sh: need root to install: ${missing[*]}" >&2; exit 1; }
    sudo=(sudo)
fi
if printf '%s\n' "${missing[@]}" | grep -q ':armhf$' &&
   ! dpkg --print-foreign-architectures | grep -qx armhf; then
    "${sudo[@]}" dpkg --add-architecture armhf
fi
echo "deps.sh: installing ${#missing[@]} packages and what they need: ${missing[*]}"
# apt's own messages are kept and shown when it fails: an unreachable archive must not surface only
# as "Unable to locate package".
log=$(mktemp)
trap 'rm -f "$log"' EXIT
apt() { DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get "$@" >"$log" 2>&1; }

# A mirror in the middle of a sync fails one index or another for a while ("File has unexpected
# size ... Mirror sync in progress?"), while the packages stay installable from the rest. So a
# failed update is tried again a few times (at most (tries - 1) x wait seconds, 60 s by default),
# and then the install goes ahead on the lists apt has: only a package that cannot be had fails.
# apt-get update exits 0 on a failed index unless told otherwise.
tries=${DEPS_UPDATE_TRIES:-4}
wait=${DEPS_UPDATE_WAIT:-20}
echo "deps.sh: apt-get update"
for ((try = 1; ; try++)); do
    apt update --error-on=any && break
    grep -E '^(E|Err):' "$log" >&2 || tail -n 5 "$log" >&2
    if [ "$try" -ge "$tries" ]; then
        echo "deps.sh: apt-get update failed $tries times; installing from the package lists apt has" >&2
        break
    fi
    echo "deps.sh: apt-get update failed (try $try of $tries); trying again in ${wait}s" >&2
    sleep "$wait"
done

# A set-up cut short leaves packages unpacked but not configured: dpkg-query does not count them
# as installed above, and apt refuses to work until dpkg has finished them.
"${sudo[@]}" dpkg --configure -a >"$log" 2>&1 || { cat "$log" >&2; echo "deps.sh: dpkg --configure -a failed (its output above)" >&2; exit 1; }

# apt's progress as a line at each tenth of the downloads and of the unpacking and setting up.
# shellcheck disable=SC2016 # awk's own fields
progress='
function tenth(what, done, of, detail,   t) {
    t = of > 0 ? int(done * 10 / of) : 0
    if (t > 10) t = 10
    if (t <= shown[what]) return
    shown[what] = t
    printf "deps.sh: %s %d%% (%s)\n", what, t * 10, detail
    fflush()
}
/^[0-9]+ upgraded, [0-9]+ newly installed/ { total = $1 + $3 }
/^Need to get / { sub(/ of archives\./, ""); sub(/^Need to get /, "")
                  printf "deps.sh: %d packages to install, %s to download\n", total, $0; fflush() }
/^Get:[0-9]+ / { got++; tenth("downloaded", got, total, got " of " total " packages") }
/^Unpacking / { unpacked++ }
/^Setting up / { set++ }
/^(Unpacking|Setting up) / {
    tenth("installed", unpacked + set, 2 * total, "unpacked " unpacked + 0 ", set up " set + 0 " of " total)
}'
install() {
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}" 2>&1 |
        tee "$log" | awk "$progress"
    return "${PIPESTATUS[0]}"
}
if ! install; then
    cat "$log" >&2
    # apt installs nothing when one package cannot be had: name that one, as apt did.
    mapfile -t lacking < <(sed -nE "s/^E: (Unable to locate package |Package ')([^' ]+).*/\2/p" "$log")
    still=()
    for p in "${missing[@]}"; do installed "$p" || still+=("$p"); done
    echo "deps.sh: cannot install ${lacking[*]:-${still[*]:-${missing[*]}}} (apt's output above)" >&2
    exit 1
fi
