# What a compass module must do on the board, worked from the modules' table of bus calls
# (tests/compass/sequences.txt, the first file) and a list of readings (the second file, rows as in
# tests/board/turns.txt: MODULE and the six data bytes of 0x03..0x08, "MODULE avg N" for N more
# readings of the same bytes, or "MODULE get" for a reading of whatever is there).
#   -v module=NAME  the module
#   -v absent=ADDR  a device that does not answer (reads get no reply, every transfer fails)
#   -v want=transfers: the transfers, "dir addr reg value result" as tests/board/trace.awk prints
#        them (value "--" for a read with no reply)
#   -v want=regs: "addr reg 0xVALUE" of each register the module identifies or writes, as it must
#        be left after the readings
#   -v want=waits: "phase ms before after" for each wait, before and after being the transfers
#        around it as "dir_addr_reg" ("dir_addr_reg_value" for a write)
FNR == 1 { file++ }
/^#/ || NF == 0 { next }
file == 1 && $1 == module {
    n[$2]++
    op[$2, n[$2]] = $3; addr[$2, n[$2]] = $4; reg[$2, n[$2]] = $5; val[$2, n[$2]] = $6
    next
}
file == 2 && $1 == module { readings[++nr] = $0 }

function key(ph, i) {
    return op[ph, i] == "write" ? "w_" addr[ph, i] "_" reg[ph, i] "_" val[ph, i] : "r_" addr[ph, i] "_" reg[ph, i]
}
function neighbour(ph, i, step,    j) { # the nearest transfer before (step -1) or after (+1) row i
    for (j = i + step; j >= 1 && j <= n[ph]; j += step) if (op[ph, j] == "read" || op[ph, j] == "write") return key(ph, j)
    return "none"
}
function transfer(ph, i,    v, ok) { # one row as a transfer, its data from the global bytes[1..6]
    if (op[ph, i] != "read" && op[ph, i] != "write") return
    ok = addr[ph, i] != absent
    v = val[ph, i]
    if (op[ph, i] == "read" && !ok) v = "--"
    else if (v == "data") {
        v = reg[ph, i] ~ /^0[3-8]$/ ? bytes[reg[ph, i] - 2] : ""
        if (v == "") { print "expect.awk: no data byte for register " reg[ph, i] > "/dev/stderr"; exit 1 }
    }
    print (op[ph, i] == "read" ? "r" : "w"), addr[ph, i], reg[ph, i], v, (ok ? "ok" : "fail")
}
function phase(ph,    i) { for (i = 1; i <= n[ph]; i++) transfer(ph, i) }
END {
    if (n["setup"] == 0) { print "expect.awk: no rows for " module > "/dev/stderr"; exit 1 }
    if (want == "transfers") {
        phase("setup")
        for (r = 1; r <= nr; r++) {
            split(readings[r], f)
            times = 1
            if (f[2] == "avg") times = f[3]
            else if (f[2] == "get") { for (b = 1; b <= 6; b++) bytes[b] = "" }
            else for (b = 1; b <= 6; b++) bytes[b] = f[b + 1]
            for (t = 0; t < times; t++) phase("reading")
        }
    } else if (want == "regs") {
        for (p = 1; p <= 2; p++) {
            ph = p == 1 ? "setup" : "reading"
            if (ph == "reading" && nr == 0) break
            for (i = 1; i <= n[ph]; i++) {
                if (op[ph, i] == "write" || (op[ph, i] == "read" && val[ph, i] != "data")) {
                    k = addr[ph, i] " " reg[ph, i]
                    if (!(k in left)) order[++nk] = k
                    left[k] = val[ph, i]
                }
            }
        }
        for (i = 1; i <= nk; i++) print order[i], "0x" left[order[i]]
    } else if (want == "waits") {
        for (p = 1; p <= 2; p++) {
            ph = p == 1 ? "setup" : "reading"
            for (i = 1; i <= n[ph]; i++)
                if (op[ph, i] == "delay") print ph, val[ph, i], neighbour(ph, i, -1), neighbour(ph, i, 1)
        }
    } else { print "expect.awk: want transfers, regs or waits" > "/dev/stderr"; exit 1 }
}
