# shellcheck shell=bash
# Boots the guest in qemu-system-arm, without a network device, and keeps what its console printed
# in $out. Sets qrc (qemu's exit status) and elapsed (seconds from qemu's start to power-off).
# The guest's clock counts executed instructions, 1 ns each (-icount shift=0), and jumps over idle
# time (sleep=off): a sleep lasts exactly what it asked plus the instructions around it, however
# loaded the host is, so the timed checks' margins are the guest's own and do not shrink under
# load. Without it a loaded host stretches the guest's sleeps (a 9 ms part would read right
# after the kit's 8 ms wait).
boot_guest() {
    echo "=== booting $abi in qemu-system-arm (virt, cortex-a15, no network device)"
    local console=$guest/console.log t0 t1
    : >"$console"
    t0=$(date +%s%N)
    set +e
    # The guest's own watchdog (60 s of its time) catches a hang inside it; this limit only catches
    # a hung emulator, and a loaded host runs the guest slower in wall time.
    timeout 300 qemu-system-arm -M virt -cpu cortex-a15 -m 256 -nographic -monitor none -no-reboot -nic none \
        -icount shift=0,sleep=off \
        -kernel "$kimg/vmlinuz" -initrd "$guest/initramfs.cpio" \
        -append "console=ttyAMA0 quiet loglevel=1 panic=-1" -serial "file:$console" </dev/null >>"$log" 2>&1
    qrc=$?
    set -e
    t1=$(date +%s%N)
    case $qrc in
        0) ;;
        124) echo "$me: the board did not power off within 300 s; judging what it printed" >&2 ;;
        *) echo "$me: qemu-system-arm exited with $qrc:" >&2; tail -n 20 "$log" >&2 ;;
    esac
    out=$guest/console.txt
    tr -d '\r' <"$console" >"$out"
    elapsed=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.1f", (b - a) / 1e9 }')
}
