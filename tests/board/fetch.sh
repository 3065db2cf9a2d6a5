# shellcheck shell=bash
# The board test's downloads, each piece fetched once per version into $base: Debian's armmp kernel
# (image and i2c-dev.ko), its headers and kbuild for building modules out of tree, the few files of
# its source that modules need, and busybox. Needs ksrc_files (kmod.sh). Sets abi, kver, bbver,
# kimg (vmlinuz, i2c-dev.ko), hdr (the headers tree to build against), ksrc (the source files)
# and bbcache (busybox).

# One look at apt's lists (it is slow without apt's binary cache): which kernel and busybox are current.
policy=$(apt-cache policy linux-image-armmp:armhf busybox-static:armhf 2>/dev/null || true)
candidate() {
    echo "$policy" | awk -v p="$1:" '$1 == p { on = 1; next } /^[^ ]/ { on = 0 }
        on && $1 == "Candidate:" && $2 != "(none)" { print $2; exit }'
}
kver=$(candidate linux-image-armmp:armhf)
if [ -z "$kver" ] && [ "$(id -u)" -eq 0 ]; then
    apt-get update -qq >>"$log" 2>&1 || true
    policy=$(apt-cache policy linux-image-armmp:armhf busybox-static:armhf 2>/dev/null || true)
    kver=$(candidate linux-image-armmp:armhf)
fi
[ -n "$kver" ] || die "linux-image-armmp:armhf: not in apt's lists (needs 'dpkg --add-architecture armhf' and 'apt-get update')"
bbver=$(candidate busybox-static:armhf)
[ -n "$bbver" ] || die "busybox-static:armhf: not in apt's lists"
series=$(echo "$kver" | cut -d. -f1,2)

mkdir -p "$base"
# The kernel the metapackage stands for, remembered per version.
abi_file=$base/linux-image-armmp_$kver.abi
if [ ! -s "$abi_file" ]; then
    apt-cache show "linux-image-armmp:armhf=$kver" |
        sed -n 's/^Depends:.*linux-image-\([^ ,]*-armmp\) .*/\1/p' | head -n 1 >"$abi_file" || true
fi
abi=$(cat "$abi_file")
[ -n "$abi" ] || { rm -f "$abi_file"; die "linux-image-armmp:armhf $kver: cannot tell which kernel it depends on"; }
kcache=$base/${abi}_$kver
kimg=$kcache/image
hdr=$kcache/headers/usr/src/linux-headers-$abi
ksrc=$kcache/src
bbcache=$base/busybox-static_${bbver//:/_}
apt_opts=(-q)
# apt's download user cannot write into root's home.
[ "$(id -u)" -eq 0 ] && apt_opts+=(-o APT::Sandbox::User=root)

fetch() { # fetch DIR PKG=VERSION... : downloads the packages into DIR, naming any that is missing
    local dir=$1 p missing=()
    shift
    if ! apt-cache show "$@" >/dev/null 2>&1; then
        for p; do apt-cache show "$p" >/dev/null 2>&1 || missing+=("$p"); done
    fi
    [ ${#missing[@]} -eq 0 ] || die "not in apt's lists (the kernel is $kver; its headers, kbuild and source must match it): ${missing[*]}"
    (cd "$dir" && apt-get download "${apt_opts[@]}" "$@") >>"$log" 2>&1 ||
        die "downloading $* failed (log: $log)"
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
    echo "=== fetching Debian's armmp kernel $abi ($kver)"
    mkdir -p "$work/deb" "$work/root" "$work/out"
    fetch "$work/deb" "linux-image-$abi:armhf=$kver"
    dpkg-deb -x "$work"/deb/linux-image-*.deb "$work/root"
    if [ ! -f "$work/root/boot/vmlinuz-$abi" ] || [ ! -f "$work/root/$ko" ]; then
        die "linux-image-$abi $kver: no vmlinuz-$abi or i2c-dev.ko in it"
    fi
    cp "$work/root/boot/vmlinuz-$abi" "$work/out/vmlinuz"
    cp "$work/root/$ko" "$work/out/"
    echo "$abi" >"$work/out/kernel.release"
}

kernel_headers() { # the flavour's headers, the common ones and kbuild, in one tree
    local work=$1 dest=$2 d
    echo "=== fetching the headers and kbuild of $abi ($kver)"
    mkdir -p "$work/deb" "$work/out"
    fetch "$work/deb" "linux-headers-$abi:armhf=$kver" "linux-headers-${abi%-armmp}-common=$kver" \
        "linux-kbuild-$series=$kver"
    for d in "$work"/deb/*.deb; do dpkg-deb -x "$d" "$work/out"; done
    local h=$work/out/usr/src/linux-headers-$abi
    grep -qx "#define UTS_RELEASE \"$abi\"" "$h/include/generated/utsrelease.h" 2>/dev/null ||
        die "linux-headers-$abi $kver: its UTS_RELEASE is not $abi"
    # The flavour's Makefile includes the common headers by absolute path: point it at where this
    # tree will stay.
    sed -i "s#^include /usr/src/#include $dest/usr/src/#" "$h/Makefile"
}

kernel_source() { # the kernel source's files that modules name, each with its folder
    local work=$1 f dirs
    echo "=== fetching linux-source-$series ($kver) for: ${ksrc_files[*]}"
    mkdir -p "$work/deb" "$work/out"
    fetch "$work/deb" "linux-source-$series=$kver"
    mapfile -t dirs < <(for f in "${ksrc_files[@]}"; do echo "linux-source-$series/$(dirname "$f")/"; done | sort -u)
    dpkg-deb --fsys-tarfile "$work"/deb/linux-source-*.deb |
        tar -x -C "$work" --strip-components=3 "./usr/src/linux-source-$series.tar.xz"
    tar -xJf "$work/linux-source-$series.tar.xz" -C "$work/out" --strip-components=1 "${dirs[@]}" 2>>"$log" || true
    for f in "${ksrc_files[@]}"; do
        [ -s "$work/out/$f" ] || die "linux-source-$series $kver: no $f in it"
    done
}

if [ ! -f "$kimg/kernel.release" ]; then piece "$kimg" kernel_image; fi
if [ ! -f "$hdr/Makefile" ]; then piece "$kcache/headers" kernel_headers; fi
missing_src=0
for f in "${ksrc_files[@]}"; do [ -s "$ksrc/$f" ] || missing_src=1; done
if [ ! $missing_src -eq 0 ]; then piece "$ksrc" kernel_source; fi

busybox_static() {
    local work=$1
    echo "=== fetching busybox-static:armhf $bbver"
    fetch "$work" "busybox-static:armhf=$bbver"
    dpkg-deb -x "$work"/busybox-static_*.deb "$work/root"
    mkdir -p "$work/out"
    cp "$work/root/bin/busybox" "$work/out/busybox"
}
if [ ! -f "$bbcache/busybox" ]; then piece "$bbcache" busybox_static; fi
