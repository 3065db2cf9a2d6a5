# shellcheck shell=bash
# The board test's downloads, each piece fetched once per version into $base: for each kernel
# (lib.sh) Debian's image (vmlinuz and i2c-dev.ko), its headers and kbuild for building modules out
# of tree, the few files of its source that modules need (shared by kernels of one version); and
# busybox. Needs ksrc_files (kmod.sh). Fills kabi, kkver, kimgs, khdr and ksrcs per kernel (see
# use_kernel) and sets bbver and bbcache (busybox).

# One look at apt's lists (it is slow without apt's binary cache): which kernels and busybox are current.
metas=()
for k in "${kernels[@]}"; do
    use_kernel "$k"
    metas+=("linux-image-$kflav:$karch")
done
look() { policy=$(apt-cache policy "${metas[@]}" busybox-static:armhf 2>/dev/null || true); }
candidate() {
    echo "$policy" | awk -v p="$1:" '$1 == p { on = 1; next } /^[^ ]/ { on = 0 }
        on && $1 == "Candidate:" && $2 != "(none)" { print $2; exit }'
}
look
for m in "${metas[@]}"; do
    [ -z "$(candidate "$m")" ] || continue
    # A kernel of another architecture than the host's is listed once dpkg knows that architecture.
    [ "$(id -u)" -eq 0 ] || break
    a=${m##*:}
    [ "$a" = "$(dpkg --print-architecture)" ] || dpkg --print-foreign-architectures | grep -qx "$a" ||
        dpkg --add-architecture "$a"
    # A mirror mid-sync fails one index or another for a while: a few tries, as deps.sh makes.
    for try in 1 2 3 4; do
        apt-get update -qq >>"$log" 2>&1 || true
        look
        [ -z "$(candidate "$m")" ] || break
        [ "$try" -eq 4 ] || sleep "${DEPS_UPDATE_WAIT:-20}"
    done
    break
done
bbver=$(candidate busybox-static:armhf)
[ -n "$bbver" ] || die "busybox-static:armhf: not in apt's lists"

mkdir -p "$base"
apt_opts=(-q)
# apt's download user cannot write into root's home.
[ "$(id -u)" -eq 0 ] && apt_opts+=(-o APT::Sandbox::User=root)

fetch() { # fetch DIR PKG=VERSION... : downloads the packages into DIR, naming any that is missing
    local dir=$1 p missing=()
    shift
    if ! apt-cache show "$@" >/dev/null 2>&1; then
        for p; do apt-cache show "$p" >/dev/null 2>&1 || missing+=("$p"); done
    fi
    if [ ${#missing[@]} -gt 0 ]; then
        [ "$who" = busybox-static ] || missing+=("(the kernel is $kver: its headers, kbuild and source must be of that version; is the archive mid-sync?)")
        die "$who: $step: not in apt's lists: ${missing[*]}"
    fi
    (cd "$dir" && apt-get download "${apt_opts[@]}" "$@") >>"$log" 2>&1 ||
        die "$who: $step: downloading $* failed (log: $log)"
}

# piece DEST FUNCTION : FUNCTION fills a scratch folder (its $1) that then becomes DEST whole, so an
# interrupted fetch leaves nothing half-made behind.
piece() {
    local dest=$1 work
    work=$(mktemp -d "$base/.partial.XXXXXX")
    # shellcheck disable=SC2064 # the folder is known now
    trap "rm -rf '$work'" EXIT
    "$2" "$work" "$dest"
    rm -rf "$dest"
    mkdir -p "$(dirname "$dest")"
    mv "$work/out" "$dest"
    rm -rf "$work"
    trap - EXIT
}

kernel_image() { # the kernel and i2c-dev.ko
    local work=$1 ko=lib/modules/$abi/kernel/drivers/i2c/i2c-dev.ko
    step="fetching the image"
    echo "=== fetching Debian's $kflav kernel $abi ($kver)"
    mkdir -p "$work/deb" "$work/root" "$work/out"
    fetch "$work/deb" "linux-image-$abi:$karch=$kver"
    dpkg-deb -x "$work"/deb/linux-image-*.deb "$work/root"
    if [ ! -f "$work/root/boot/vmlinuz-$abi" ] || [ ! -f "$work/root/$ko" ]; then
        kdie "$step: linux-image-$abi $kver has no vmlinuz-$abi or i2c-dev.ko"
    fi
    cp "$work/root/boot/vmlinuz-$abi" "$work/out/vmlinuz"
    cp "$work/root/$ko" "$work/out/"
    echo "$abi" >"$work/out/kernel.release"
}

kernel_headers() { # the flavour's headers, the common ones and kbuild, in one tree
    local work=$1 dest=$2 d
    step="fetching the headers and kbuild"
    echo "=== fetching the headers and kbuild of $abi ($kver)"
    mkdir -p "$work/deb" "$work/out"
    fetch "$work/deb" "linux-headers-$abi:$karch=$kver" "linux-headers-${abi%-"$kflav"}-common=$kver" \
        "linux-kbuild-$series=$kver"
    for d in "$work"/deb/*.deb; do dpkg-deb -x "$d" "$work/out"; done
    local h=$work/out/usr/src/linux-headers-$abi
    grep -qx "#define UTS_RELEASE \"$abi\"" "$h/include/generated/utsrelease.h" 2>/dev/null ||
        kdie "$step: linux-headers-$abi $kver: its UTS_RELEASE is not $abi"
    # The flavour's Makefile includes the common headers by absolute path: point it at where this
    # tree will stay.
    sed -i "s#^include /usr/src/#include $dest/usr/src/#" "$h/Makefile"
}

kernel_source() { # the kernel source's files that modules name, each with its folder
    local work=$1 f dirs
    step="fetching the source"
    echo "=== fetching linux-source-$series ($kver) for: ${ksrc_files[*]}"
    mkdir -p "$work/deb" "$work/out"
    fetch "$work/deb" "linux-source-$series=$kver"
    mapfile -t dirs < <(for f in "${ksrc_files[@]}"; do echo "linux-source-$series/$(dirname "$f")/"; done | sort -u)
    dpkg-deb --fsys-tarfile "$work"/deb/linux-source-*.deb |
        tar -x -C "$work" --strip-components=3 "./usr/src/linux-source-$series.tar.xz"
    tar -xJf "$work/linux-source-$series.tar.xz" -C "$work/out" --strip-components=1 "${dirs[@]}" 2>>"$log" || true
    for f in "${ksrc_files[@]}"; do
        [ -s "$work/out/$f" ] || kdie "$step: linux-source-$series $kver has no $f"
    done
}

fetch_kernel() { # fetch_kernel FLAVOUR
    use_kernel "$1"
    local f missing_src=0 abi_file
    kver=$(candidate "linux-image-$kflav:$karch")
    [ -n "$kver" ] || kdie "looking up the kernel: linux-image-$kflav:$karch is not in apt's lists (needs 'dpkg --add-architecture $karch' and 'apt-get update')"
    series=$(echo "$kver" | cut -d. -f1,2)
    # The kernel the metapackage stands for, remembered per version.
    abi_file=$base/linux-image-${kflav}_$kver.abi
    if [ ! -s "$abi_file" ]; then
        apt-cache show "linux-image-$kflav:$karch=$kver" |
            sed -n "s/^Depends:.*linux-image-\([^ ,]*-$kflav\) .*/\1/p" | head -n 1 >"$abi_file" || true
    fi
    abi=$(cat "$abi_file")
    [ -n "$abi" ] || { rm -f "$abi_file"; kdie "looking up the kernel: linux-image-$kflav:$karch $kver: cannot tell which kernel it depends on"; }
    local kcache=$base/${abi}_$kver
    kimg=$kcache/image
    hdr=$kcache/headers/usr/src/linux-headers-$abi
    ksrc=$base/linux-source-${series}_$kver
    if [ ! -f "$kimg/kernel.release" ]; then piece "$kimg" kernel_image; fi
    if [ ! -f "$hdr/Makefile" ]; then piece "$kcache/headers" kernel_headers; fi
    for f in "${ksrc_files[@]}"; do [ -s "$ksrc/$f" ] || missing_src=1; done
    if [ ! $missing_src -eq 0 ]; then piece "$ksrc" kernel_source; fi
    kabi[$kflav]=$abi kkver[$kflav]=$kver kimgs[$kflav]=$kimg khdr[$kflav]=$hdr ksrcs[$kflav]=$ksrc
}
for k in "${kernels[@]}"; do fetch_kernel "$k"; done

busybox_static() {
    local work=$1
    who=busybox-static step=fetching
    echo "=== fetching busybox-static:armhf $bbver"
    fetch "$work" "busybox-static:armhf=$bbver"
    dpkg-deb -x "$work"/busybox-static_*.deb "$work/root"
    mkdir -p "$work/out"
    cp "$work/root/bin/busybox" "$work/out/busybox"
}
bbcache=$base/busybox-static_${bbver//:/_}
if [ ! -f "$bbcache/busybox" ]; then piece "$bbcache" busybox_static; fi
