# shellcheck shell=bash
# Kernel modules the guest loads besides the kernel's own, built out of tree against Debian's
# headers of the very kernel it boots. One line a module: its name, then its sources (headers
# are copied beside them); a source "linux:PATH" is PATH in Debian's kernel source (fetched once),
# any other path is in this tree.
kmods=(
    "i2c-stub linux:drivers/i2c/i2c-stub.c"
    "i2c-bridge simboard/bridge/i2c-bridge.c simboard/bridge/i2c-bridge.h"
)

ksrc_files=()
for m in "${kmods[@]}"; do
    for s in ${m#* }; do
        case $s in linux:*) ksrc_files+=("${s#linux:}") ;; esac
    done
done

vermagic() { strings "$1" | sed -n 's/^vermagic=//p'; }

# build_kmods : builds each module for each kernel in $bdir/kmod/FLAVOUR/NAME (sources copied only
# when changed, so make redoes only what changed) and lists the results in kmod_files[FLAVOUR].
declare -A kmod_files=()
build_kmods() {
    local k
    for k in "${kernels[@]}"; do
        use_kernel "$k"
        echo "=== building ${kmods[*]%% *} for $abi"
        build_kmods_for
    done
}
build_kmods_for() {
    local m name s src obj objs ko want
    kmod_files[$kflav]=
    want=$(vermagic "$kimg/i2c-dev.ko")
    for m in "${kmods[@]}"; do
        name=${m%% *}
        local dir=$bdir/kmod/$kflav/$name
        mkdir -p "$dir"
        objs=()
        for s in ${m#* }; do
            case $s in linux:*) src=$ksrc/${s#linux:} ;; *) src=$s ;; esac
            [ -f "$src" ] || kdie "building $name.ko: no source $src"
            cmp -s "$src" "$dir/${src##*/}" || cp "$src" "$dir/"
            obj=${src##*/}
            case $obj in *.c) objs+=("${obj%.c}.o") ;; esac
        done
        # One source named after the module builds it alone; several are linked into it.
        if [ "${objs[*]}" = "$name.o" ]; then
            echo "obj-m := $name.o" >"$dir/Kbuild.new"
        else
            printf 'obj-m := %s.o\n%s-y := %s\n' "$name" "$name" "${objs[*]}" >"$dir/Kbuild.new"
        fi
        if cmp -s "$dir/Kbuild.new" "$dir/Kbuild"; then rm "$dir/Kbuild.new"; else mv "$dir/Kbuild.new" "$dir/Kbuild"; fi
        quiet "$who: building $name.ko" make -C "$hdr" M="$(cd "$dir" && pwd)" ARCH="$kmarch" \
            CROSS_COMPILE="$kcross" modules
        ko=$dir/$name.ko
        [ "$(vermagic "$ko")" = "$want" ] ||
            kdie "building $name.ko: built against linux-headers-$abi, it does not match the kernel's modules (vermagic)"
        kmod_files[$kflav]+=" $ko"
    done
}
