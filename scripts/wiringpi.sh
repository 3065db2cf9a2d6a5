#!/usr/bin/env bash
# Builds the real wiringPi for trying the kit on it: wiringPi 2.25's C sources as the npm package
# wiring-pi 2.2.1 carries them (LGPL-3.0-or-later), fetched with npm, checked by checksum, built
# as a shared libwiringPi.so with its headers into a prefix of its own per architecture. Nothing of
# it goes into the kit's tree or packages.
#   scripts/wiringpi.sh [native|armhf]...   builds what is missing; prints each prefix on a line
#   scripts/wiringpi.sh --prefix ARCH        prints the prefix if it is built, else exits 3
# Everything is kept in ${XDG_CACHE_HOME:-~/.cache}/compasskit/wiringpi/: the tarball, and each
# prefix (wiringpi-2.25-ARCH/{include,lib}); npm's own cache and logs go nowhere else. Point the
# kit at one with -DKIT_WIRINGPI_ROOT=PREFIX.
set -euo pipefail

package=wiring-pi
version=2.2.1
sha256=49467cd200772eec1d7c58b45deccf9a8aea80fc3f63b9e5c67f84bc78756897
wiringpi=2.25 # the wiringPi the package carries (its wiringpi/VERSION)
cache=${XDG_CACHE_HOME:-$HOME/.cache}/compasskit/wiringpi
tarball=$cache/$package-$version.tgz
# npm gives up on an unreachable registry after its retries; this catches anything slower.
npm_timeout=${WIRINGPI_NPM_TIMEOUT:-120}

die() {
    echo "wiringpi.sh: $*" >&2
    exit 1
}

native_arch() { dpkg --print-architecture 2>/dev/null || uname -m; }
arch_of() { # arch_of native|armhf : the Debian architecture the prefix is keyed by
    case $1 in
        native) native_arch ;;
        armhf) echo armhf ;;
        *) echo "wiringpi.sh: unknown target '$1' (native or armhf)" >&2; exit 2 ;;
    esac
}
prefix_of() { echo "$cache/wiringpi-$wiringpi-$(arch_of "$1")"; }
compiler_of() { # the C compiler that builds for the target
    if [ "$1" = armhf ] && [ "$(native_arch)" != armhf ]; then echo arm-linux-gnueabihf-gcc; else echo gcc; fi
}

if [ "${1:-}" = --prefix ]; then
    [ $# -eq 2 ] || { echo "usage: $0 --prefix native|armhf" >&2; exit 2; }
    p=$(prefix_of "$2")
    [ -e "$p/lib/libwiringPi.so" ] || exit 3
    echo "$p"
    exit 0
fi
[ $# -gt 0 ] || set -- native

checked() { # checked FILE WHAT HINT : true when FILE has the package's checksum, else says what it has
    local seen
    seen=$(sha256sum "$1" | cut -d' ' -f1)
    [ "$seen" = "$sha256" ] && return 0
    echo "wiringpi.sh: $2: sha256 $seen, expected $sha256 for $package $version ($3)" >&2
    return 1
}

registry() { npm config get registry 2>/dev/null || echo unknown; }

fetch() {
    mkdir -p "$cache"
    if [ -e "$tarball" ]; then
        checked "$tarball" "$tarball" "altered or truncated; delete it to fetch it again" || exit 1
        return 0
    fi
    command -v npm >/dev/null || die "npm: not found, needed to fetch $package@$version into $cache (bash scripts/deps.sh test installs it)"
    local work rc
    work=$(mktemp -d "$cache/.fetch.XXXXXX")
    # shellcheck disable=SC2064 # the folder is known now
    trap "rm -rf '$work'" EXIT
    echo "wiringpi.sh: fetching $package@$version with npm pack into $cache" >&2
    rc=0
    # npm's cache and logs (~/.npm otherwise) are the work folder's, gone with it: the tarball is
    # all that is kept.
    export npm_config_cache=$work/npm-cache
    (cd "$work" && timeout "$npm_timeout" npm pack --fetch-retries=1 --fetch-retry-mintimeout=2000 \
        --fetch-retry-maxtimeout=5000 --fetch-timeout=30000 \
        "$package@$version") >"$work/npm.log" 2>&1 || rc=$?
    if [ "$rc" -ne 0 ]; then
        local why
        # npm's own line naming the request and the reason, else its error code.
        why=$(sed -n 's/^npm \(ERR!\|error\) //p' "$work/npm.log" | grep -m 1 -E 'request to|404' ||
            sed -n 's/^npm \(ERR!\|error\) code //p' "$work/npm.log" | head -n 1)
        [ "$rc" -eq 124 ] && why="no answer within ${npm_timeout} s"
        die "npm pack $package@$version failed (registry $(registry)): ${why:-exit $rc}"
    fi
    [ -s "$work/$package-$version.tgz" ] || die "npm pack $package@$version left no $package-$version.tgz"
    checked "$work/$package-$version.tgz" "$package-$version.tgz from $(registry)" "not kept" || exit 1
    mv "$work/$package-$version.tgz" "$tarball"
    rm -rf "$work"
    trap - EXIT
}

build() { # build native|armhf : libwiringPi.so and the headers into the target's prefix
    local target=$1 prefix cc work src lib
    prefix=$(prefix_of "$target")
    cc=$(compiler_of "$target")
    [ -e "$prefix/lib/libwiringPi.so" ] && { echo "$prefix"; return 0; }
    command -v "$cc" >/dev/null || die "$cc: not found, needed to build wiringPi for $target (bash scripts/deps.sh test installs it)"
    work=$(mktemp -d "$cache/.build.XXXXXX")
    # shellcheck disable=SC2064
    trap "rm -rf '$work'" EXIT
    tar -xzf "$tarball" -C "$work" package/wiringpi/VERSION package/wiringpi/wiringPi ||
        die "$tarball: cannot unpack package/wiringpi/wiringPi from it"
    src=$work/package/wiringpi/wiringPi
    [ "$(cat "$work/package/wiringpi/VERSION")" = "$wiringpi" ] ||
        die "$tarball carries wiringPi $(cat "$work/package/wiringpi/VERSION"), not $wiringpi"
    # The package carries objects built on someone's machine: only the sources are used.
    find "$src" \( -name '*.o' -o -name '*.so*' -o -name '*.a' \) -delete
    echo "wiringpi.sh: building wiringPi $wiringpi for $target ($cc) into $prefix" >&2
    # Its own Makefile, as a board owner runs it, with the target's compiler.
    make -C "$src" -j2 CC="$cc" >"$work/make.log" 2>&1 || { tail -n 20 "$work/make.log" >&2; die "building wiringPi $wiringpi for $target failed"; }
    lib=libwiringPi.so.$wiringpi
    [ -f "$src/$lib" ] || die "building wiringPi $wiringpi for $target made no $lib"
    mkdir -p "$work/out/include" "$work/out/lib"
    cp "$src"/*.h "$work/out/include/"
    cp "$src/$lib" "$work/out/lib/"
    ln -s "$lib" "$work/out/lib/libwiringPi.so"
    rm -rf "$prefix"
    mv "$work/out" "$prefix"
    rm -rf "$work"
    trap - EXIT
    echo "$prefix"
}

for t; do arch_of "$t" >/dev/null; done
fetch
for t; do build "$t"; done
