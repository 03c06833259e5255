#!/usr/bin/env bash
# Builds a static Qt for 64-bit Windows from Debian's own Qt sources, once, and prints its
# prefix. The host Qt (Debian's, the same version) supplies moc, uic and rcc. The result is
# cached outside the work tree, keyed by Qt's version and this script's options, so a second
# run prints the prefix at once.
#   scripts/build-qt-windows.sh            prints the prefix of the Windows Qt, building it if needed
set -euo pipefail

project=$(cd "$(dirname "$0")/.." && pwd)
toolchain=$project/cmake/mingw-w64-x86_64.cmake
cache=${KADENZO_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/kadenzo}
version=$(dpkg-query -W -f='${Version}' qt6-base-dev)   # for example 6.4.2+dfsg-10
qt_version=${version%%+*}

# Only what Kadenzo uses: Core, Gui, Widgets, Test and the Windows platform plugin. FreeType
# stays: the offscreen platform, which the window tests use, draws text with it.
options=(
    -release -static -static-runtime -xplatform win32-g++
    -qt-host-path /usr
    -nomake examples -nomake tests
    -no-dbus -no-opengl -no-icu -no-direct2d -no-libjpeg
    -qt-zlib -qt-pcre -qt-libpng -qt-freetype -qt-harfbuzz -qt-doubleconversion
    -no-feature-sql -no-feature-network -no-feature-printsupport -no-feature-concurrent
    -no-feature-xml -no-feature-vulkan -no-feature-androiddeployqt -no-feature-windeployqt
    -no-feature-tabletevent   # Debian's sources leave out wintab
)
key=$(printf '%s\n' "$version" "${options[@]}" | sha256sum | cut -c1-12)
prefix=$cache/qt-$qt_version-mingw-static-$key
if [ -f "$prefix/bin/qt-cmake" ]; then
    echo "$prefix"
    exit 0
fi

# The licence texts that a program linked with this Qt carries: Qt's own (LGPL 3, which
# builds on the GPL 3) and those of the libraries that Core, Gui and Widgets bundle.
copy_licences() {
    local source=$1 target=$2
    mkdir -p "$target"
    cp "$source"/LICENSES/{LGPL-3.0-only,GPL-3.0-only}.txt "$target/"
    for library in zlib pcre2 double-conversion freetype harfbuzz-ng libpng md4c easing icc \
        pixman sha3 blake2 rfc6234 tinycbor; do
        mkdir -p "$target/$library"
        find "$source/src/3rdparty/$library" -maxdepth 1 -type f \
            \( -iname '*licen[cs]e*' -o -iname 'copying*' \) -exec cp {} "$target/$library/" \;
    done
}

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
work=$cache/qt-build-$key
mkdir -p "$work"
cd "$work"
if ! ls qt6-base_"$version".dsc >/dev/null 2>&1; then
    # Qt's sources come from Debian's source archive: add its deb-src entry once.
    if ! apt-get source --download-only --print-uris qt6-base >/dev/null 2>&1; then
        echo "Adding Debian's source archive (deb-src) for qt6-base" >&2
        codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
        printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: %s %s-updates\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
            "$codename" "$codename" | $sudo tee /etc/apt/sources.list.d/kadenzo-sources.sources >/dev/null
        $sudo apt-get update -qq
    fi
    apt-get source --download-only "qt6-base=$version" >&2
fi
rm -rf src build
dpkg-source -x qt6-base_"$version".dsc src >&2

# With Direct2D off, Qt 6.4's Windows plugin still asks for the DirectWrite font database that
# only Direct2D builds compile; ask for it only when Direct2D is there.
sed -i 's/QT_CONFIG(directwrite3)/(QT_CONFIG(directwrite3) \&\& QT_CONFIG(direct2d))/' \
    src/src/plugins/platforms/windows/qwindowsintegration.cpp

mkdir build
cd build
../src/configure -prefix "$prefix.partial" "${options[@]}" -- -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake >&2
cmake --build . --parallel "${JOBS:-2}" >&2
cmake --install . >&2
copy_licences "$work/src" "$prefix.partial/licenses"
cd "$cache"
rm -rf "$prefix"
mv "$prefix.partial" "$prefix"
rm -rf "$work"   # 2 GB of objects; the installed Qt is all that is needed
echo "$prefix"
