#!/usr/bin/env bash
# Builds Kadenzo for 64-bit Windows on this Debian machine, and its two packages:
#   dist/kadenzo-VERSION-windows-x64.zip    the programs, LEGGIMI.txt, licences, Qt's Italian
#   dist/kadenzo-VERSION-setup.exe          the same, as an NSIS installer
# The static Qt for Windows is built once and cached (scripts/build-qt-windows.sh).
#   scripts/windows.sh [BUILD_DIR]          (default build-windows)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-windows}
qt=$(scripts/build-qt-windows.sh)
version=$(sed -n 's/^project(Kadenzo VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)

# The tests run under Wine (CTest puts the emulator before each test program).
"$qt/bin/qt-cmake" -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DQT_CHAINLOAD_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_CROSSCOMPILING_EMULATOR=wine >/dev/null
cmake --build "$build" --parallel "${JOBS:-2}"
# Qt's Italian catalogue beside the programs and tests, as the packages carry it.
mkdir -p "$build/translations"
cp /usr/share/qt6/translations/qtbase_it.qm "$build/translations/"

# What both packages hold. Text files get Windows' line ends, for Notepad.
name=kadenzo-$version-windows-x64
stage=$build/stage/$name
rm -rf "$build/stage"
mkdir -p "$stage/licenze/qt" "$stage/translations"
cp "$build/kadenzo.exe" "$build/kadenzo-batch.exe" "$stage/"
# LEGGIMI in UTF-8 with a byte order mark, by which every Notepad knows it is UTF-8 (older
# ones would show its accents in the system's 8-bit code page), as does the installer's page.
{ printf '\357\273\277'; sed -e "s/@VERSION@/$version/g" -e 's/$/\r/' packaging/windows/LEGGIMI.txt; } \
    >"$stage/LEGGIMI.txt"
sed -e 's/$/\r/' COPYING >"$stage/licenze/COPYING.txt"
cp -r "$qt/licenses/." "$stage/licenze/qt/"
# The MinGW-w64 runtime linked into the programs (winpthreads among it), and GCC's runtime.
sed -e 's/$/\r/' /usr/share/doc/mingw-w64-x86-64-dev/copyright >"$stage/licenze/mingw-w64.txt"
zcat -f /usr/share/doc/gcc-mingw-w64-base/copyright* 2>/dev/null | sed -e 's/$/\r/' \
    >"$stage/licenze/gcc-runtime.txt"
cp "$build/translations/qtbase_it.qm" "$stage/translations/"

mkdir -p dist
rm -f "dist/$name.zip" "dist/kadenzo-$version-setup.exe"
(cd "$build/stage" && zip -q -r -9 "../../dist/$name.zip" "$name")
# The picture beside the installer's welcome and finish pages, 164 by 314 pixels as they show
# it: Kadenzo's drum, from the program's own icon, on a light blue of the icon's own.
convert -size 164x314 gradient:'#e9eefb'-'#b9c8ee' \( ui/icons/kadenzo.png -resize 120x120 \) \
    -gravity center -geometry +0-30 -composite -alpha off -type TrueColor \
    "BMP3:$build/installer-side.bmp"
makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DSTAGE="$PWD/$stage" \
    -DICON="$PWD/packaging/windows/kadenzo.ico" -DSIDE="$PWD/$build/installer-side.bmp" \
    -DOUTFILE="$PWD/dist/kadenzo-$version-setup.exe" packaging/windows/kadenzo.nsi
ls -l "dist/$name.zip" "dist/kadenzo-$version-setup.exe"
