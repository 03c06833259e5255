#!/usr/bin/env bash
# Installs the Debian packages that Kadenzo's work needs, and only those that are missing:
# nothing is done when all are there. Before installing it says which packages apt will
# install and how much it will download. Uses sudo when not root; a user who may not use sudo
# gets the command to give to an administrator.
#   scripts/setup.sh [build|test|bench|screenshot|package|package-test|windows]...
# (default: build)
set -euo pipefail

build=(
    cmake g++ make          # the build
    qt6-base-dev            # Qt 6 Core, Widgets and Test, with moc and uic
    fonts-liberation2       # Liberation Sans: Arial's metrics, which the window's layout needs
    qt6-translations-l10n   # Qt's Italian catalogue: the buttons of Qt's dialogs in Italian
)
test=(
    clang-format                # the formatting check
    clang libclang-rt-dev       # the fuzzer: clang with libFuzzer and the sanitizer runtimes
    python3-mido midicsv        # independent MIDI readers that check the real songs
    openttd-openmsx simutrans-data  # real songs that nobody here wrote
    fonts-dejavu-core fonts-urw-base35  # the window's texts are checked with each font set
    desktop-file-utils appstream    # the desktop entry's and the AppStream metadata's validators
    strace                      # shows that a journal line is on the disk before its byte
)
bench=(
    python3-mido            # the mido peer
    openttd-openmsx simutrans-data  # the real songs that kadenzo-batch is timed on
)
screenshot=(
    xvfb xauth              # a display with no screen
    openbox                 # a window manager: the title bar and frame
    x11-utils               # xwininfo finds the window
    imagemagick             # takes the picture of the window
)
package=(
    dpkg-dev file           # CPack: dpkg-shlibdeps finds the libraries the .deb depends on
    lintian                 # checks the .deb
)
package_test=(
    debootstrap             # the fresh Debian 12 that the package test installs the .deb on
    openttd-openmsx simutrans-data  # the real songs that the installed kadenzo-batch repairs
)
windows=(
    g++-mingw-w64-x86-64-posix  # the Windows cross compilers, with POSIX threads for Qt
    dpkg-dev ninja-build        # unpacks Qt's Debian sources; builds Qt for Windows
    qt6-base-dev                # the host Qt: moc, uic and rcc for the cross build
    wine wine64 fonts-wine      # runs the Windows programs and tests here; Tahoma
    xvfb xauth openbox x11-utils imagemagick  # the window's pictures; the installer's side picture
    nsis zip                    # the installer and the zip
)

packages=("${build[@]}")
for group in "$@"; do
    case "$group" in
    build) ;;
    test) packages+=("${test[@]}") ;;
    bench) packages+=("${bench[@]}") ;;
    screenshot) packages+=("${screenshot[@]}") ;;
    package) packages+=("${package[@]}") ;;
    package-test) packages+=("${package[@]}" "${package_test[@]}") ;;
    windows) packages+=("${windows[@]}") ;;
    *) echo "unknown group: $group" >&2; exit 2 ;;
    esac
done

missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    [ "$status" = "install ok installed" ] || missing+=("$package")
done
# Node.js may come from another source than Debian's packages: only its commands matter.
if [[ " $* " == *" bench "* ]]; then
    command -v node >/dev/null || missing+=(nodejs)
    command -v npm >/dev/null || missing+=(npm)
fi
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Missing Debian packages: ${missing[*]}"
install_line="apt-get install --no-install-recommends ${missing[*]}"

sudo=()
if [ "$(id -u)" -ne 0 ]; then
    # sudo's own refusal says nothing of what to do: without the rights (no sudo, or not in a
    # group that sudo admits), say what to ask an administrator for instead.
    if command -v sudo >/dev/null &&
        { sudo -n true 2>/dev/null || [[ " $(id -nG) " =~ \ (sudo|admin|wheel)\  ]]; }; then
        sudo=(sudo)
    else
        echo "Installing them needs root, and $(id -un) may not use sudo here." >&2
        echo "Please ask an administrator to run:" >&2
        echo "    $install_line" >&2
        exit 1
    fi
fi

"${sudo[@]}" apt-get update -q
# What apt will do, before it starts: the packages, those they need, and the download.
planned=$(apt-get install -s --no-install-recommends "${missing[@]}" | awk '/^Inst /{print $2}')
bytes=$(apt-get install --print-uris -qq --no-install-recommends "${missing[@]}" |
    awk '{sum += $3} END {print sum + 0}')
echo "apt will install $(wc -w <<<"$planned") packages (those above and what they need)" \
    "and download about $(((bytes + 999999) / 1000000)) MB:"
echo "$planned" | xargs | fold -s -w 76 | sed "s/^/    /"
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
    "${missing[@]}"
