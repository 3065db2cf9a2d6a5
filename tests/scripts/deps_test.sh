#!/usr/bin/env bash
# scripts/deps.sh against a stand-in apt-get (and dpkg-query, dpkg, id) on PATH: an update that
# fails some times, an install that succeeds or lacks a package. Usage: deps_test.sh DEPS_SH
set -uo pipefail

deps=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
bin=$work/bin
mkdir -p "$bin"

# The stand-ins keep their state in $STATE: installed (one package a line), updates (a line per
# update), installs (each install's arguments). FAIL_UPDATES updates fail first, as a mirror in
# the middle of a sync does: like apt, an update with a failed index exits 0 unless told
# --error-on=any. A package in UNAVAILABLE is not in the archive, one in NO_CANDIDATE is known but
# cannot be had, and then, as with apt, nothing is installed. $STATE/interrupted is a dpkg run cut
# short: apt refuses to install until dpkg --configure -a has finished it.
cat >"$bin/apt-get" <<'SH'
#!/usr/bin/env bash
case $1 in
    update)
        echo x >>"$STATE/updates"
        if [ "$(wc -l <"$STATE/updates")" -le "${FAIL_UPDATES:-0}" ]; then
            level=W status=0
            case " $* " in *" --error-on=any "*) level=E status=100 ;; esac
            echo "$level: Failed to fetch http://deb.debian.org/debian/dists/bookworm/main/binary-amd64/Packages.xz  File has unexpected size (1234 != 5678). Mirror sync in progress?"
            echo "$level: Some index files failed to download. They have been ignored, or old ones used instead."
            exit $status
        fi ;;
    install)
        shift
        echo "$*" >>"$STATE/installs"
        if [ -e "$STATE/interrupted" ]; then
            echo "E: dpkg was interrupted, you must manually run 'dpkg --configure -a' to correct the problem."
            exit 100
        fi
        pkgs=()
        for p in "$@"; do [ "${p#-}" = "$p" ] && pkgs+=("$p"); done
        status=0
        for p in "${pkgs[@]}"; do
            case " ${UNAVAILABLE:-} " in *" $p "*) echo "E: Unable to locate package $p"; status=100 ;; esac
            case " ${NO_CANDIDATE:-} " in
                *" $p "*) echo "Package $p is not available, but is referred to by another package."
                          echo "E: Package '$p' has no installation candidate"; status=100 ;;
            esac
        done
        [ $status -eq 0 ] || exit $status
        echo "0 upgraded, ${#pkgs[@]} newly installed, 0 to remove and 0 not upgraded."
        echo "Need to get 1,234 kB of archives."
        n=0
        for p in "${pkgs[@]}"; do echo "Get:$((n += 1)) http://deb.debian.org/debian bookworm/main amd64 $p amd64 1.0 [1,000 B]"; done
        for p in "${pkgs[@]}"; do echo "Unpacking $p (1.0) ..."; done
        for p in "${pkgs[@]}"; do echo "Setting up $p (1.0) ..."; done
        printf '%s\n' "${pkgs[@]}" >>"$STATE/installed" ;;
esac
SH
cat >"$bin/dpkg-query" <<'SH'
#!/usr/bin/env bash
p=${!#}
grep -qx -- "$p" "$STATE/installed" 2>/dev/null || { echo "dpkg-query: no packages found matching $p" >&2; exit 1; }
printf 'install ok installed'
SH
cat >"$bin/dpkg" <<'SH'
#!/usr/bin/env bash
case $1 in
    --print-architecture) echo amd64 ;;
    --print-foreign-architectures) echo armhf ;;
    --configure) rm -f "$STATE/interrupted" ;;
esac
SH
printf '#!/bin/sh\necho 0\n' >"$bin/id"
chmod +x "$bin"/*

failures=0
# check NAME SET EXPECTED_STATUS PATTERN... : runs deps.sh SET with the stand-ins (the environment
# set by the caller) and checks its status and that each extended regular expression matches its
# output (stderr and stdout together) or, with a leading !, does not.
check() {
    local name=$1 set=$2 want=$3
    shift 3
    export STATE=$work/state-$name
    mkdir -p "$STATE"
    : >"$STATE/installed"
    : >"$STATE/updates"
    : >"$STATE/installs"
    # shellcheck disable=SC2086 # one package a word
    [ -n "${PREINSTALLED:-}" ] && printf '%s\n' $PREINSTALLED >"$STATE/installed"
    [ -n "${INTERRUPTED:-}" ] && : >"$STATE/interrupted"
    local out status
    out=$(PATH="$bin:$PATH" DEPS_UPDATE_WAIT=0 bash "$deps" "$set" 2>&1)
    status=$?
    out+=$'\n'"updates: $(wc -l <"$STATE/updates"), installs: $(wc -l <"$STATE/installs")"
    out+=$'\n'"install: $(head -n 1 "$STATE/installs")"
    local ok=true
    [ "$status" -eq "$want" ] || { echo "$name: exit status $status, expected $want"; ok=false; }
    for pattern in "$@"; do
        if [ "${pattern#!}" != "$pattern" ]; then
            ! grep -Eq -- "${pattern#!}" <<<"$out" || { echo "$name: unexpected: ${pattern#!}"; ok=false; }
        else
            grep -Eq -- "$pattern" <<<"$out" || { echo "$name: missing: $pattern"; ok=false; }
        fi
    done
    $ok || { failures=$((failures + 1)); echo "--- $name's output:"; echo "$out"; }
}

# A mirror mid-sync for two updates: the third works, the board's set goes in, i2c-tools with it,
# and apt's progress is shown as it goes.
FAIL_UPDATES=2 check update_fails_twice native 0 \
    "try 1 of 4" "try 2 of 4" "!try 3 of 4" "Mirror sync in progress" \
    "updates: 3, installs: 1" "install: .* i2c-tools( |$)" \
    "deps.sh: installing [0-9]+ packages and what they need: cmake " \
    "deps.sh: [0-9]+ packages to install, 1,234 kB to download" \
    "deps.sh: downloaded 100% \(([0-9]+) of \\1 packages\)" \
    "deps.sh: installed 50% \(unpacked ([0-9]+), set up 0 of \\1\)" \
    "deps.sh: installed 100% \(unpacked ([0-9]+), set up \\1 of \\1\)"
# An update that never works: after four tries the install goes ahead on the lists apt has.
FAIL_UPDATES=9 check update_never_works demo 0 \
    "try 3 of 4" "apt-get update failed 4 times; installing from the package lists apt has" \
    "updates: 4, installs: 1"
# Packages the archive does not have fail the run, named on deps.sh's last line.
UNAVAILABLE=googletest NO_CANDIDATE=i2c-tools check package_missing native 1 \
    "E: Unable to locate package googletest" \
    "deps.sh: cannot install googletest i2c-tools \(apt's output above\)" "updates: 1, installs: 1"
# A set-up cut short: dpkg finishes it before apt installs.
INTERRUPTED=1 check interrupted demo 0 "updates: 1, installs: 1" "!dpkg was interrupted"
# Nothing missing: apt is not called at all.
PREINSTALLED="cmake make g++ googletest pkg-config iproute2" check all_there demo 0 \
    "updates: 0, installs: 0"

[ "$failures" -eq 0 ] && echo "deps.sh: all cases passed"
exit $((failures > 0))
