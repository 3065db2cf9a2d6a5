# Reads the kernel's smbus tracepoints (ftrace's text, one event a line) and prints one transfer a
# line: "start end dir addr reg value result", times in seconds, dir r or w, addr and reg as two
# hex digits, value "--" for a read that got no reply, result "ok" or "fail".
{
    for (k = 1; k <= NF && $k !~ /^smbus_[a-z]+:$/; k++) {}
    if (k > NF) next
    t = $(k - 1); sub(/:$/, "", t)
    ev = $k; a = $(k + 2); c = $(k + 4)
    sub(/^a=/, "", a); a = substr(a, length(a) - 1)
    sub(/^c=/, "", c); if (length(c) < 2) c = "0" c
    if (ev == "smbus_write:") { start = t; val = $(k + 7); gsub(/[][]/, "", val) }
    else if (ev == "smbus_read:") { start = t; val = "--" }
    else if (ev == "smbus_reply:") { val = $(k + 7); gsub(/[][]/, "", val) }
    else if (ev == "smbus_result:") {
        res = $NF; sub(/^res=/, "", res)
        print start, t, ($(k + 6) == "wr" ? "w" : "r"), a, c, val, (res + 0 < 0 ? "fail" : "ok")
    }
}
