# shellcheck shell=bash
# Boots the guest on each kernel (lib.sh), without a network device, side by side (each emulator
# keeps one core busy, and the results do not depend on the other), and keeps what each console
# printed in $guest/FLAVOUR.console.txt, qemu's exit status in FLAVOUR.qrc and the seconds from
# qemu's start to power-off in FLAVOUR.elapsed.
# The guest's clock counts executed instructions, 1 ns each (-icount shift=0), and jumps over idle
# time (sleep=off): a sleep lasts exactly what it asked plus the instructions around it, however
# loaded the host is, so the timed checks' margins are the guest's own and do not shrink under
# load. Without it a loaded host stretches the guest's sleeps (a 9 ms part would read right
# after the kit's 8 ms wait). qemu-system-aarch64 counts the same way.
boot_one() { # boot_one FLAVOUR
    use_kernel "$1"
    local console=$guest/$kflav.console.log t0 t1 qrc
    : >"$console"
    t0=$(date +%s%N)
    set +e
    # The guest's own watchdog (60 s of its time) catches a hang inside it; this limit only catches
    # a hung emulator, and a loaded host runs the guest slower in wall time.
    timeout 300 "$qemu" -M virt -cpu "$qcpu" -m 256 -nographic -monitor none -no-reboot -nic none \
        -icount shift=0,sleep=off \
        -kernel "$kimg/vmlinuz" -initrd "$guest/initramfs.cpio" \
        -append "console=ttyAMA0 quiet loglevel=1 panic=-1" -serial "file:$console" </dev/null >"$guest/$kflav.qemu.log" 2>&1
    qrc=$?
    set -e
    t1=$(date +%s%N)
    tr -d '\r' <"$console" >"$guest/$kflav.console.txt"
    echo "$qrc" >"$guest/$kflav.qrc"
    awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.1f\n", (b - a) / 1e9 }' >"$guest/$kflav.elapsed"
}

boot_guests() {
    local k pids=()
    for k in "${kernels[@]}"; do
        use_kernel "$k"
        echo "=== booting $abi in $qemu (virt, $qcpu, no network device)"
        boot_one "$k" &
        pids+=($!)
    done
    wait "${pids[@]}"
}
