# shellcheck shell=bash
# Shared by the board test's pieces (sourced by scripts/board-test.sh from the top of the tree):
# where its files go, and how a step logs and fails.
me=board-test
bdir=build/board
log=$bdir/board-test.log
# Downloads and what is built from them, kept between runs, keyed by version.
base=${XDG_CACHE_HOME:-$HOME/.cache}/compasskit/board

die() {
    echo "$me: $*" >&2
    exit 1
}

quiet() { # quiet WHAT COMMAND... : runs it into the log; on failure shows the log's tail
    local what=$1
    shift
    if ! "$@" >>"$log" 2>&1; then
        tail -n 30 "$log" >&2
        die "$what failed (full log: $log)"
    fi
}
