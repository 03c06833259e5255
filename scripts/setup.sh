#!/usr/bin/env bash
# Installs the Debian packages that Kadenzo's work needs, and only those that are missing:
# nothing is done when all are there. Uses sudo when not root.
#   scripts/setup.sh [build|test|bench|screenshot|windows]...   (default: build)
set -euo pipefail

build=(
    cmake g++ make          # the build
    qt6-base-dev            # Qt 6 Core, Widgets and Test, with moc and uic
    fonts-liberation2       # Liberation Sans: Arial's metrics, which the window's layout needs
)
test=(
    clang-format                # the formatting check
    clang libclang-rt-dev       # the fuzzer: clang with libFuzzer and the sanitizer runtimes
    python3-mido midicsv        # independent MIDI readers that check the real songs
    openttd-openmsx simutrans-data  # real songs that nobody here wrote
    fonts-dejavu-core fonts-urw-base35  # the window's texts are checked with each font set
)
bench=(
    python3-mido            # the mido peer
)
screenshot=(
    xvfb xauth              # a display with no screen
    openbox                 # a window manager: the title bar and frame
    x11-utils               # xwininfo finds the window
    imagemagick             # takes the picture of the window
)
windows=(
    g++-mingw-w64-x86-64-posix  # the Windows cross compilers, with POSIX threads for Qt
    dpkg-dev ninja-build        # unpacks Qt's Debian sources; builds Qt for Windows
    qt6-base-dev                # the host Qt: moc, uic and rcc for the cross build
    qt6-translations-l10n       # Qt's Italian catalogue, carried in the Windows package
    wine wine64 fonts-wine      # runs the Windows programs and tests here; Tahoma
    xvfb xauth openbox x11-utils imagemagick  # the window's picture under Wine
    nsis zip                    # the installer and the zip
)

packages=("${build[@]}")
for group in "$@"; do
    case "$group" in
    build) ;;
    test) packages+=("${test[@]}") ;;
    bench) packages+=("${bench[@]}") ;;
    screenshot) packages+=("${screenshot[@]}") ;;
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

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
