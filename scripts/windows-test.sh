#!/usr/bin/env bash
# Tries Kadenzo's Windows build under Wine (after scripts/windows.sh):
#   1. the Qt tests, built as Windows programs;
#   2. kadenzo-batch.exe over copies of Debian's real songs must leave every file as the Linux
#      build leaves it, with the same summary; and over songs with non-ASCII names, given with
#      backslashes and a drive letter;
#   3. kadenzo.exe starts under Xvfb, with the Linux window's title and size; a picture of it
#      goes to docs/window-windows.png;
#   4. the installer installs silently, the installed kadenzo-batch.exe runs, and the
#      uninstaller removes what was installed.
#   scripts/windows-test.sh [WINDOWS_BUILD_DIR] [LINUX_BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
windows_build=${1:-build-windows}
linux_build=${2:-build}
version=$(sed -n 's/^project(Kadenzo VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
. scripts/wine-env.sh
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() { echo "FAILED: $*" >&2; failures=$((failures + 1)); }
step() { echo; echo "== $*"; }

step "Qt tests under Wine"
(cd "$windows_build" && ctest --output-on-failure) || fail "the Qt tests"

step "kadenzo-batch.exe on real songs, against the Linux build"
mkdir -p "$scratch/linux" "$scratch/windows"
for package in openttd-openmsx simutrans-data; do
    dpkg-query -L "$package" | grep -i '\.mid$' | while read -r song; do
        name=$package-$(basename "$song")
        cp "$song" "$scratch/linux/$name"
        cp "$song" "$scratch/windows/$name"
    done
done
songs=$(ls "$scratch/linux" | wc -l)
[ "$songs" -gt 0 ] || fail "no real songs found (scripts/setup.sh test installs them)"
linux_summary=$("$linux_build/kadenzo-batch" "$scratch/linux" | tail -n 1)
windows_summary=$(wine "$windows_build/kadenzo-batch.exe" "$scratch/windows" | tr -d '\r' | tail -n 1)
echo "$songs songs. Linux: $linux_summary; Windows: $windows_summary"
[ "$linux_summary" = "$windows_summary" ] || fail "the summaries differ"
diff -r "$scratch/linux" "$scratch/windows" >/dev/null || fail "the repaired songs differ"

step "kadenzo-batch.exe on songs with non-ASCII names, by drive letter and backslashes"
folder="$scratch/Canzoni di prova"
mkdir -p "$folder"
song=$(ls "$scratch/linux" | head -n 1)
for name in "Canzone d'amore è.mid" "ドラム.kar"; do
    # A song with a kit to repair on channel 10: program 17 becomes 0.
    printf 'MThd\0\0\0\6\0\0\0\1\0\140MTrk\0\0\0\7\0\311\021\0\377\057\0' >"$folder/$name"
done
winpath="Z:$(echo "$folder" | tr / '\\')"
output=$(wine "$windows_build/kadenzo-batch.exe" "$winpath\\Canzone d'amore è.mid" "$winpath\\ドラム.kar" 2>&1 | tr -d '\r')
echo "$output"
[ "$(echo "$output" | tail -n 1)" = "Files trovati: 2, numero Conversioni: 2" ] ||
    fail "the non-ASCII songs were not both repaired"
for name in "Canzone d'amore è.mid" "ドラム.kar"; do
    [ "$(od -An -tx1 -j24 -N1 "$folder/$name" | tr -d ' ')" = "00" ] || fail "$name not repaired"
done
printf 'not a song' >"$folder/Rotta è.mid"
output=$(wine "$windows_build/kadenzo-batch.exe" "$winpath\\Rotta è.mid" 2>&1 | tr -d '\r' || true)
echo "$output" | grep -qF "Attenzione! E' stato trovato un errore nel file $winpath\\Rotta è.mid" ||
    fail "a broken song's message does not name it: $output"
[ "$(cat "$folder/Rotta è.mid")" = "not a song" ] || fail "a broken song was written"

step "The window's texts on Windows' own platform, under Xvfb"
wineserver -k 2>/dev/null || true # a session started without a display keeps none
if ! WINEQT_FORCE_STDERR_LOGGING=1 xvfb-run --auto-servernum wine \
    "$windows_build/tst_mainwindow.exe" startsWithTheFormAndTheBarHidden everyTextFitsItsWidget \
    >"$scratch/fit.log" 2>&1; then
    cat "$scratch/fit.log"
    fail "the window's tests on the windows platform"
fi
tr -d '\r' <"$scratch/fit.log" | grep -E "^(PASS|FAIL|Totals)"
wineserver -k 2>/dev/null || true

step "kadenzo.exe under Xvfb"
scripts/screenshot.sh --wine "$windows_build/kadenzo.exe" docs/window-windows.png >"$scratch/shot.log" 2>&1 ||
    { cat "$scratch/shot.log"; fail "kadenzo.exe did not show its window"; }
grep -q "size 400x198" "$scratch/shot.log" || { cat "$scratch/shot.log"; fail "the window is not 400 by 198"; }

step "The installer, silently"
installer=dist/kadenzo-$version-setup.exe
installed="$WINEPREFIX/drive_c/Program Files/Kadenzo"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Kadenzo'
menu_entry="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Kadenzo.lnk"
wine "$installer" /S
wineserver --wait
[ -f "$installed/kadenzo.exe" ] && [ -f "$installed/kadenzo-batch.exe" ] ||
    fail "the installer did not install the programs in Program Files"
[ -f "$installed/translations/qtbase_it.qm" ] || fail "Qt's Italian catalogue is not installed"
[ -f "$menu_entry" ] || fail "no Start menu entry"
wine reg query "$key" /v DisplayName 2>/dev/null | grep -q Kadenzo || fail "no entry in the list of programs"
cp "$folder/Canzone d'amore è.mid" "$scratch/installed.mid"
printf '\021' | dd of="$scratch/installed.mid" bs=1 seek=24 conv=notrunc status=none
output=$(wine "$installed/kadenzo-batch.exe" "$scratch/installed.mid" | tr -d '\r' | tail -n 1)
[ "$output" = "Files trovati: 1, numero Conversioni: 1" ] || fail "the installed kadenzo-batch.exe: $output"
wine "$installed/uninstall.exe" /S
wineserver --wait
# The uninstaller copies itself away and goes on in the background: wait for it.
for _ in $(seq 30); do [ -e "$installed" ] || break; sleep 1; done
[ ! -e "$installed" ] || { ls -R "$installed"; fail "the uninstaller left files"; }
[ ! -e "$menu_entry" ] || fail "the uninstaller left the Start menu entry"
! wine reg query "$key" >/dev/null 2>&1 || fail "the uninstaller left its registry entry"

echo
if [ "$failures" -eq 0 ]; then
    echo "All Windows checks passed."
else
    echo "$failures Windows check(s) failed." >&2
    exit 1
fi
