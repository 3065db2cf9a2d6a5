# shellcheck shell=sh disable=SC3045 # busybox sh has read -t
# Guest side of the board test: running a compass host or a board tool and printing, between
# "@@begin" and "@@end" lines, what it said, its exit status and its smbus transfers. Sourced by
# init, which sets T, STUB, WAIT, CTL and begin/end/ctl/trace_on/trace_off.

# host_start NAME PROGRAM : starts PROGRAM, a compass host, on two FIFOs (3: its input, 4: its
# output) and prints its set-up lines up to its handle, in NAME.out.
host_start() {
    rm -f /tmp/in /tmp/out
    mkfifo /tmp/in /tmp/out
    "$2" </tmp/in >/tmp/out 2>&1 &
    pid=$!
    exec 3>/tmp/in 4</tmp/out
    begin "$1.out"
    while read -r -t "$WAIT" line <&4; do
        echo "$line"
        case $line in handle*) break ;; esac
    done
}

# host_ask COMMAND : one command to the running host, and its answer line.
host_ask() {
    echo "$1" >&3
    read -r -t "$WAIT" line <&4 || line="(no answer within ${WAIT} s)"
    echo "$line"
}

# host_end NAME : ends the host's input, prints the rest it says and its exit status, then the
# smbus transfers traced, in NAME.trace.
host_end() {
    exec 3>&-
    while read -r -t "$WAIT" line <&4; do echo "$line"; done
    exec 4<&-
    wait "$pid"
    echo "exit $?"
    end
    trace_off
    print_trace "$1"
}

# print_trace NAME : the smbus transfers traced, in NAME.trace.
print_trace() {
    begin "$1.trace"
    grep 'smbus_' "$T"/trace
    end
}

# run_live NAME PROGRAM MODULE : runs PROGRAM, a compass host, on the bridge while the simulated
# board turns: MODULE's rows of live.txt, each a command to bridged then one to the host. The
# first row's command comes before the host starts; each later one is given 30 ms (two of the
# HMC5883L's output periods at 75 Hz, 26.7 ms) to show in the samples. Traces the whole run.
run_live() {
    name=$1 prog=$2 module=$3
    rows=$(grep "^$module " /opt/board/live.txt)
    ctl scene default
    ctl "$(echo "$rows" | awk 'NR == 1 { print $2, $3 }')"
    echo >"$T"/trace
    trace_on
    host_start "$name" "$prog"
    first=1
    echo "$rows" | while read -r _ c v cmd n _; do
        [ $first = 1 ] || { ctl "$c" "$v" && usleep 30000; }
        first=0
        [ "$cmd" = avg ] && cmd="avg $n"
        host_ask "$cmd"
    done
    host_end "$name"
}

set_reg() { i2cset -y "$STUB" "$1" "$2" "$3"; } # set_reg ADDR REG VALUE

# dump_regs NAME MODULE : the registers that MODULE identifies or writes (its rows in the modules'
# table of bus calls) as i2cget reads them, one "addr reg value" a line.
dump_regs() {
    begin "$1"
    awk -v m="$2" '$1 == m && ($3 == "write" || ($3 == "read" && $6 != "data")) && !seen[$4 " " $5]++ {
        print $4, $5 }' /opt/board/sequences.txt | while read -r a r; do
        echo "$a $r $(i2cget -y "$STUB" "0x$a" "0x$r")"
    done
    end
}

# run_host NAME PROGRAM ADDR MODULE : runs PROGRAM, a compass host; before each of MODULE's rows in
# turns.txt presets the data registers of ADDR (or asks for an average) and passes the answer on.
# MODULE "-" takes two readings of whatever is there. Only the host's own transfers are traced.
run_host() {
    name=$1 prog=$2 addr=$3 module=$4
    echo >"$T"/trace
    trace_on
    host_start "$name" "$prog"
    trace_off
    if [ "$module" = - ]; then
        printf 'x get\nx get\n'
    else
        grep -v '^#' /opt/board/turns.txt | grep "^$module "
    fi | while read -r _ b3 b4 b5 b6 b7 b8 _; do
        if [ "$b3" = avg ]; then
            cmd="avg $b4"
        elif [ "$b3" = get ]; then
            cmd='get'
        else
            # One I2C block write presets all six, from 0x03 on.
            i2cset -y "$STUB" "$addr" 0x03 "0x$b3" "0x$b4" "0x$b5" "0x$b6" "0x$b7" "0x$b8" i
            cmd='get'
        fi
        trace_on
        host_ask "$cmd"
        trace_off
    done
    host_end "$name"
}

# run_tool NAME TOOL [COMMAND...] : runs TOOL, a board tool, without input (through COMMAND, e.g.
# su, when given); prints its lines and exit status, then the smbus transfers of the run alone.
run_tool() {
    name=$1 tool=$2
    shift 2
    echo >"$T"/trace
    trace_on
    timeout "$WAIT" "$@" "$tool" </dev/null >/tmp/tool.out 2>&1
    rc=$?
    trace_off
    begin "$name.out"
    cat /tmp/tool.out
    echo "exit $rc"
    end
    print_trace "$name"
}
