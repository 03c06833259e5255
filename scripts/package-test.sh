#!/usr/bin/env bash
# package-test.sh DEB HOST_BATCH: installs the .deb on a fresh Debian 12 with apt, as a user
# would, and checks it there: kadenzo-batch repairs copies of the real songs the tests use
# exactly as HOST_BATCH (the build's kadenzo-batch) repairs them here; kadenzo starts under
# Xvfb and keeps running; apt-get purge leaves none of the package's files behind.
#
# The Debian system is made with debootstrap once and kept in
# ~/.cache/kadenzo/debootstrap-bookworm; each run works on a copy of it, which is deleted at
# the end, and keeps the packages it downloaded for the next run. Needs root (or sudo),
# debootstrap, and the songs of openttd-openmsx and simutrans-data.
set -euo pipefail

if [ "$(id -u)" -ne 0 ]; then
    exec sudo -- "$0" "$@"
fi
[ $# -eq 2 ] || { echo "usage: $0 DEB HOST_BATCH" >&2; exit 2; }
deb=$(realpath "$1")
host_batch=$(realpath "$2")
started=$SECONDS

mirror=http://deb.debian.org/debian
cache_root=${KADENZO_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/kadenzo}
system=$cache_root/debootstrap-bookworm
downloads=$cache_root/apt-archives-bookworm

step() { echo "== $*"; }
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

if [ ! -d "$system" ]; then
    step "Making a Debian 12 system with debootstrap (once; kept in $system)"
    mkdir -p "$cache_root"
    rm -rf --one-file-system "$system.partial"
    # Xvfb is the test's own tool, not the package's: it is part of the cached system.
    debootstrap --variant=minbase --include=xvfb,xauth bookworm "$system.partial" "$mirror"
    cat >"$system.partial/etc/apt/sources.list" <<EOF
deb $mirror bookworm main
deb $mirror bookworm-updates main
deb http://deb.debian.org/debian-security bookworm-security main
EOF
    rm -f "$system.partial"/var/cache/apt/archives/*.deb
    mv "$system.partial" "$system"
fi

scratch=$(mktemp -d /var/tmp/kadenzo-package-test.XXXXXX)
root=$scratch/root
mounted=()
cleanup() {
    local i
    for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
        umount "${mounted[i]}" || umount -l "${mounted[i]}" || true
    done
    # --one-file-system: should an unmount have failed, nothing beyond the copy is removed.
    rm -rf --one-file-system "$scratch"
}
trap cleanup EXIT

step "Copying the cached system to $root"
cp -a "$system" "$root"
mkdir -p "$downloads"
cp "$downloads"/*.deb "$root/var/cache/apt/archives/" 2>/dev/null || true
cp /etc/resolv.conf "$root/etc/resolv.conf"
mount -t proc proc "$root/proc" && mounted+=("$root/proc")
mkdir -p "$root/dev/shm" "$root/dev/pts"
mount -t tmpfs tmpfs "$root/dev/shm" && mounted+=("$root/dev/shm")
# A terminal of its own for dpkg's log, apart from the host's.
mount -t devpts -o newinstance,ptmxmode=0666 devpts "$root/dev/pts" && mounted+=("$root/dev/pts")
mkdir -m 0700 -p "$root/run/user/0"
in_root() { chroot "$root" env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 \
    XDG_RUNTIME_DIR=/run/user/0 DEBIAN_FRONTEND=noninteractive "$@"; }

step "Installing $(basename "$deb") with apt"
cp "$deb" "$root/tmp/"
in_root apt-get update
# Without recommended packages: the package's own dependencies must be enough.
in_root apt-get install -y --no-install-recommends "/tmp/$(basename "$deb")"
cp -n "$root"/var/cache/apt/archives/*.deb "$downloads/" 2>/dev/null || true
in_root dpkg -L kadenzo >"$scratch/files"
in_root man -w kadenzo-batch >/dev/null 2>&1 ||
    [ -f "$root/usr/share/man/man1/kadenzo-batch.1.gz" ] || fail "no manual page for kadenzo-batch"
[ -f "$root/usr/share/qt6/translations/qtbase_it.qm" ] ||
    fail "Qt's Italian catalogue is not installed with the package"

step "Repairing copies of the real songs, in Debian 12 and here"
songs=()
for package in openttd-openmsx simutrans-data; do
    while IFS= read -r path; do
        case "${path,,}" in *.mid) songs+=("$path") ;; esac
    done < <(dpkg-query -L "$package" 2>/dev/null || fail "$package is not installed here")
done
[ ${#songs[@]} -gt 0 ] || fail "no songs found"
mkdir -p "$root/root/songs" "$scratch/host-songs"
relative=()
for song in "${songs[@]}"; do
    cp --parents "$song" "$root/root/songs/"
    cp --parents "$song" "$scratch/host-songs/"
    relative+=("${song#/}")
done
in_root sh -c 'cd /root/songs && exec kadenzo-batch "$@"' sh "${relative[@]}" \
    >"$scratch/debian.out" 2>"$scratch/debian.err" || true
(cd "$scratch/host-songs" && "$host_batch" "${relative[@]}") \
    >"$scratch/host.out" 2>"$scratch/host.err" || true
debian_summary=$(tail -n 1 "$scratch/debian.out")
host_summary=$(tail -n 1 "$scratch/host.out")
echo "Debian 12: $debian_summary"
echo "here:      $host_summary"
[ -n "$debian_summary" ] && [ "$debian_summary" = "$host_summary" ] ||
    fail "the installed kadenzo-batch's summary differs from the build's"
diff "$scratch/host.err" "$scratch/debian.err" || fail "the two runs report different errors"
diff -r "$scratch/host-songs" "$root/root/songs" >/dev/null ||
    fail "the installed kadenzo-batch repaired the songs differently from the build"

step "Starting kadenzo under Xvfb"
# It must still be running after a few seconds: no missing library, plugin or font stops it.
in_root xvfb-run -a sh -c 'kadenzo & pid=$!; sleep 5
    if kill -0 $pid 2>/dev/null; then { kill $pid; wait $pid; } 2>/dev/null; echo running; fi' \
    >"$scratch/window.out" 2>"$scratch/window.err" || true
grep -qx running "$scratch/window.out" || {
    cat "$scratch/window.err" >&2
    fail "kadenzo did not keep running"
}
if [ -s "$scratch/window.err" ]; then
    echo "kadenzo's messages:"
    cat "$scratch/window.err"
fi
echo "kadenzo ran for 5 seconds"

step "Purging the package"
in_root apt-get purge -y kadenzo
status=$(in_root dpkg-query -W -f='${Status}' kadenzo 2>/dev/null || true)
case "$status" in
"" | *not-installed) ;;
*) fail "dpkg still has kadenzo: $status" ;;
esac
left=0
while IFS= read -r path; do
    [ -e "$root$path" ] || [ -L "$root$path" ] || continue
    # Shared folders (/usr/bin, /usr/share/man/man1...) stay while other packages own them.
    if [ -d "$root$path" ] && in_root dpkg-query -S "$path" >/dev/null 2>&1; then
        continue
    fi
    echo "left behind: $path" >&2
    left=$((left + 1))
done <"$scratch/files"
[ "$left" -eq 0 ] || fail "$left of the package's paths are left after the purge"
echo "nothing of the package is left ($(wc -l <"$scratch/files") paths checked)"

step "Package test passed in $((SECONDS - started)) s"
