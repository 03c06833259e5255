#!/usr/bin/env bash
# Tries Kadenzo's Windows build under Wine (after scripts/windows.sh):
#   1. the Qt tests, built as Windows programs;
#   2. kadenzo-batch.exe over copies of Debian's real songs must leave every file as the Linux
#      build leaves it, with the same summary; and over songs with non-ASCII names, given with
#      backslashes and a drive letter;
#   3. kadenzo.exe starts under Xvfb, with the Linux window's title and size; a picture of it
#      goes to docs/window-windows.png; at 125, 150 and 200 per cent its texts fit and its
#      pictures go to docs/window-windows-125.png and the others; kadenzo-batch.exe writes its
#      journal under %LOCALAPPDATA% and --restore gives back every song; both programs'
#      manifests are longPathAware; a song that another program holds (tests/windows/
#      hold_song.c) is named as in use and left alone; a song whose path is over 300
#      characters is repaired and restored; kadenzo.exe repairs a song given on its command
#      line;
#   4. the installer: its pages in order, driven as a user would (tests/windows/
#      installer_probe.c), for the current user without administrator rights, and Kadenzo
#      started by its finish page not elevated; silently for all users; each time the
#      programs, the Start menu entry and the Send To shortcut appear, the installed
#      kadenzo-batch.exe runs, and the uninstaller removes all it installed.
#   scripts/windows-test.sh [WINDOWS_BUILD_DIR] [LINUX_BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
windows_build=${1:-build-windows}
linux_build=${2:-build}
version=$(sed -n 's/^project(Kadenzo VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
. scripts/wine-env.sh
scratch=$(mktemp -d)
# Windows' display scale is its DPI (LogPixels): 96 is 100 per cent. A program started after
# the change sees it; the Wine session that read the old value is stopped.
set_scale() {
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
    wineserver -k 2>/dev/null || true
}
set_scale 96 # a run that stopped halfway may have left another
trap 'set_scale 96; rm -rf "$scratch"' EXIT
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

step "The window at 125, 150 and 200 per cent"
# In the window's own units the texts must fit their widgets and the form keep its layout (the
# Linux tests' measures); on the screen the window then covers so many more pixels. Through a
# scale, Wine's rasterizer draws the glyphs of Windows' own font engine thin and broken, where
# Qt's FreeType engine, in the same program at the same scale, draws them whole: the pictures
# are taken with the latter, to show the window's layout rather than Wine's glyphs.
for scale in 125:120:500x248 150:144:600x297 200:192:800x396; do
    IFS=: read -r percent dpi size <<<"$scale"
    set_scale "$dpi"
    if ! WINEQT_FORCE_STDERR_LOGGING=1 xvfb-run --auto-servernum wine \
        "$windows_build/tst_mainwindow.exe" startsWithTheFormAndTheBarHidden everyTextFitsItsWidget \
        >"$scratch/fit.log" 2>&1; then
        cat "$scratch/fit.log"
        fail "the window's texts or layout at $percent per cent"
    fi
    tr -d '\r' <"$scratch/fit.log" | grep -E "^Totals" | sed "s/^/$percent per cent: /"
    KADENZO_SCREEN=1024x768 scripts/screenshot.sh --wine "$windows_build/kadenzo.exe" \
        "docs/window-windows-$percent.png" -platform windows:fontengine=freetype >"$scratch/shot.log" 2>&1 ||
        { cat "$scratch/shot.log"; fail "kadenzo.exe did not show its window at $percent per cent"; }
    grep -q "size $size" "$scratch/shot.log" ||
        { cat "$scratch/shot.log"; fail "the window at $percent per cent is not $size pixels"; }
done
set_scale 96

windows_path() { winepath -u "$(wine cmd /c "echo $1" | tr -d '\r')"; }
windows_name() { echo "Z:$(echo "$1" | tr / '\\')"; }

step "kadenzo-batch.exe's journal under %LOCALAPPDATA%, and --restore"
journals=$(windows_path %LOCALAPPDATA%)/kadenzo/registro
mkdir -p "$scratch/pristine" "$scratch/restored"
for package in openttd-openmsx simutrans-data; do
    dpkg-query -L "$package" | grep -i '\.mid$' | while read -r song; do
        cp "$song" "$scratch/pristine/$package-$(basename "$song")"
    done
done
cp "$scratch/pristine/"* "$scratch/restored/"
before=$(ls "$journals" 2>/dev/null | wc -l)
wine "$windows_build/kadenzo-batch.exe" "$(windows_name "$scratch/restored")" >/dev/null
journal=$(ls "$journals" 2>/dev/null | tail -n 1)
if [ "$(ls "$journals" 2>/dev/null | wc -l)" -le "$before" ] || [ -z "$journal" ]; then
    fail "kadenzo-batch.exe wrote no journal under %LOCALAPPDATA%\\kadenzo\\registro"
else
    head -n 2 "$journals/$journal" | tr -d '\r'
    output=$(wine "$windows_build/kadenzo-batch.exe" --restore "$(windows_name "$journals/$journal")" |
        tr -d '\r' | tail -n 1)
    echo "$output"
    [ "$output" = "Kit ripristinati: 3, non ripristinati: 0" ] || fail "--restore: $output"
    diff -r "$scratch/pristine" "$scratch/restored" >/dev/null ||
        fail "--restore did not give back every song byte for byte"
fi

step "kadenzo-batch.exe --restore takes two journals newest first, given oldest first"
# A batch; then another program sets kit 10 where the batch's first line made kit 0, and a
# second batch makes it 0 again. Restored oldest first as given, the journals must be taken
# newest first: the kit 10 comes back, the first journal's line there is left alone, and every
# other byte is as it was before the first batch.
rm -rf "$scratch/twice" && cp -r "$scratch/pristine" "$scratch/twice"
wine "$windows_build/kadenzo-batch.exe" "$(windows_name "$scratch/twice")" >/dev/null
first=$(ls "$journals" | tail -n 1)
line=$(sed -n 2p "$journals/$first" | tr -d '\r')
song=$(winepath -u "$(echo "$line" | cut -f1)" 2>/dev/null)
offset=$(echo "$line" | cut -f2)
printf '\012' | dd of="$song" bs=1 seek="$offset" conv=notrunc status=none
sleep 0.01
wine "$windows_build/kadenzo-batch.exe" "$(windows_name "$scratch/twice")" >/dev/null
second=$(ls "$journals" | tail -n 1)
expected=$scratch/twice-expected
rm -rf "$expected" && cp -r "$scratch/pristine" "$expected"
printf '\012' | dd of="$expected/$(basename "$song")" bs=1 seek="$offset" conv=notrunc status=none
# Exit status 1: one line is left alone, as it must be.
output=$( (wine "$windows_build/kadenzo-batch.exe" --restore "$(windows_name "$journals/$first")" \
    "$(windows_name "$journals/$second")" 2>/dev/null || true) | tr -d '\r' | tail -n 1)
echo "$output"
[ "$first" != "$second" ] || fail "the second batch wrote no journal of its own"
[ "$output" = "Kit ripristinati: 3, non ripristinati: 1" ] || fail "--restore of two journals: $output"
diff -r "$expected" "$scratch/twice" >/dev/null ||
    fail "two journals given oldest first were not restored newest first"

step "Both programs' manifests let paths go past 260 characters"
for program in kadenzo kadenzo-batch; do
    grep -qa '<longPathAware xmlns="http://schemas.microsoft.com/SMI/2016/WindowsSettings">true</longPathAware>' \
        "$windows_build/$program.exe" || fail "$program.exe's manifest is not longPathAware"
done

step "A song that another program holds, or is writing, is named as in use and left alone"
x86_64-w64-mingw32-gcc-posix -municode -O2 -Wall -Wextra -Werror \
    -o "$scratch/hold_song.exe" tests/windows/hold_song.c
held=$scratch/held
mkdir -p "$held"
for how in unshared writing; do
    for name in Tenuta.mid Libera.mid; do
        printf 'MThd\0\0\0\6\0\0\0\1\0\140MTrk\0\0\0\7\0\311\021\0\377\057\0' >"$held/$name"
    done
    rm -f "$held/ready"
    wine "$scratch/hold_song.exe" "$how" "$(windows_name "$held/Tenuta.mid")" \
        "$(windows_name "$held/ready")" &
    holder=$!
    for _ in $(seq 100); do [ -e "$held/ready" ] && break; sleep 0.1; done
    [ -e "$held/ready" ] || fail "hold_song.exe did not open the song ($how)"
    for dry_run in --dry-run ""; do
        status=0
        output=$(wine "$windows_build/kadenzo-batch.exe" $dry_run "$(windows_name "$held/Tenuta.mid")" \
            "$(windows_name "$held/Libera.mid")" 2>&1 | tr -d '\r') || status=$?
        echo "$output"
        echo "$output" | grep -qxF "Attenzione! Impossibile aprire $(windows_name "$held/Tenuta.mid"): in uso da un altro programma" ||
            fail "a song held $how ${dry_run:-(real run)} is not named as in use"
        [ "$(echo "$output" | tail -n 1)" = "Files trovati: 1, numero Conversioni: 1" ] ||
            fail "the free song beside one held $how ${dry_run:-(real run)}: $output"
    done
    rm -f "$held/ready" # hold_song.exe lets go of the song
    wait $holder || true
    [ "$(od -An -tx1 -j24 -N1 "$held/Tenuta.mid" | tr -d ' ')" = 11 ] || fail "a song held $how was written"
    [ "$(od -An -tx1 -j24 -N1 "$held/Libera.mid" | tr -d ' ')" = 00 ] || fail "the free song was not repaired"
done
# The exit status, on its own run: 1, as for every song that could not be opened.
printf 'MThd\0\0\0\6\0\0\0\1\0\140MTrk\0\0\0\7\0\311\021\0\377\057\0' >"$held/Tenuta.mid"
rm -f "$held/ready"
wine "$scratch/hold_song.exe" unshared "$(windows_name "$held/Tenuta.mid")" "$(windows_name "$held/ready")" &
holder=$!
for _ in $(seq 100); do [ -e "$held/ready" ] && break; sleep 0.1; done
status=0
wine "$windows_build/kadenzo-batch.exe" "$(windows_name "$held/Tenuta.mid")" >/dev/null 2>&1 || status=$?
rm -f "$held/ready"
wait $holder || true
[ "$status" = 1 ] || fail "kadenzo-batch.exe exits with $status over a song in use, not 1"

step "A song whose path is over 300 characters is repaired, and its journal line restores it"
deep=$scratch
for part in 1 2 3 4 5; do deep="$deep/Raccolta di basi karaoke italiane degli anni ottanta, parte $part"; done
mkdir -p "$deep"
deep_song="$deep/Canzone con un nome lungo, è vero.kar"
printf 'MThd\0\0\0\6\0\0\0\1\0\140MTrk\0\0\0\7\0\311\021\0\377\057\0' >"$deep_song"
echo "$(windows_name "$deep_song" | wc -m) characters"
[ "$(windows_name "$deep_song" | wc -m)" -gt 300 ] || fail "the deep path is not over 300 characters"
output=$(wine "$windows_build/kadenzo-batch.exe" "$(windows_name "$deep_song")" 2>&1 | tr -d '\r' | tail -n 1)
[ "$output" = "Files trovati: 1, numero Conversioni: 1" ] || fail "the deep song: $output"
[ "$(od -An -tx1 -j24 -N1 "$deep_song" | tr -d ' ')" = 00 ] || fail "the deep song was not repaired"
deep_journal=$(ls "$journals" | tail -n 1)
[ "$(sed -n 2p "$journals/$deep_journal" | cut -f1 | tr -d '\r')" = "$(windows_name "$deep_song")" ] ||
    fail "the journal does not name the deep song by its whole path"
output=$(wine "$windows_build/kadenzo-batch.exe" --restore "$(windows_name "$journals/$deep_journal")" |
    tr -d '\r' | tail -n 1)
[ "$output" = "Kit ripristinati: 1, non ripristinati: 0" ] || fail "--restore of the deep song: $output"
[ "$(od -An -tx1 -j24 -N1 "$deep_song" | tr -d ' ')" = 11 ] || fail "the deep song was not restored"

step "kadenzo.exe repairs the songs given on its command line"
mkdir -p "$scratch/given"
printf 'MThd\0\0\0\6\0\0\0\1\0\140MTrk\0\0\0\7\0\311\021\0\377\057\0' >"$scratch/given/Canzone è.mid"
wineserver -k 2>/dev/null || true
xvfb-run --auto-servernum bash -c '
    wine "$1" "$2" &
    for _ in $(seq 60); do
        [ "$(od -An -tx1 -j24 -N1 "$3" | tr -d " ")" = 00 ] && break
        sleep 0.5
    done
    wineserver -k' bash "$windows_build/kadenzo.exe" "$(windows_name "$scratch/given/Canzone è.mid")" \
    "$scratch/given/Canzone è.mid" || true
[ "$(od -An -tx1 -j24 -N1 "$scratch/given/Canzone è.mid" | tr -d ' ')" = 00 ] ||
    fail "kadenzo.exe did not repair the song given on its command line"

installer=dist/kadenzo-$version-setup.exe
appdata=$(windows_path %APPDATA%)
user_installed=$(windows_path %LOCALAPPDATA%)/Programs/Kadenzo
all_installed="$WINEPREFIX/drive_c/Program Files/Kadenzo"
user_menu_entry="$appdata/Microsoft/Windows/Start Menu/Programs/Kadenzo.lnk"
all_menu_entry="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Kadenzo.lnk"
send_to="$appdata/Microsoft/Windows/SendTo/Kadenzo.lnk"
user_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Kadenzo'
all_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Kadenzo'
has_key() { wine reg query "$1" /v DisplayName 2>/dev/null | grep -q Kadenzo; }
# The installed kadenzo-batch.exe repairs a song.
check_installed_batch() {
    cp "$folder/Canzone d'amore è.mid" "$scratch/installed.mid"
    printf '\021' | dd of="$scratch/installed.mid" bs=1 seek=24 conv=notrunc status=none
    output=$(wine "$1/kadenzo-batch.exe" "$scratch/installed.mid" | tr -d '\r' | tail -n 1)
    [ "$output" = "Files trovati: 1, numero Conversioni: 1" ] ||
        fail "the installed kadenzo-batch.exe: $output"
}
# Runs the uninstaller of FOLDER with the options given, and waits for it: it copies itself
# away and goes on in the background.
uninstall() {
    wine "$1/uninstall.exe" "${@:2}"
    wineserver --wait
    for _ in $(seq 30); do [ -e "$1" ] || break; sleep 1; done
    [ ! -e "$1" ] || { ls -R "$1"; fail "the uninstaller left files in $1"; }
    [ ! -e "$send_to" ] || fail "the uninstaller left the Send To shortcut"
}

step "The installer, page by page, for the current user"
# It asks for no administrator rights by itself: its manifest runs it as whoever starts it.
grep -qa 'requestedExecutionLevel level="asInvoker"' "$installer" ||
    fail "the installer's manifest asks for administrator rights"
x86_64-w64-mingw32-gcc-posix -municode -O2 -Wall -Wextra -Werror \
    -o "$scratch/installer_probe.exe" tests/windows/installer_probe.c
wineserver -k 2>/dev/null || true
# The probe presses "Avanti" on every page, as a user who takes every default, and "Fine"
# with "Avvia Kadenzo" ticked; then it looks at how Kadenzo was started.
xvfb-run --auto-servernum bash -c '
    wine "$2" elevation >"$4/probe.txt"
    wine "$2" started kadenzo.exe "Installazione di Kadenzo $3" >"$4/started.txt" &
    watcher=$!
    wine "$1" &
    wine "$2" pages "Installazione di Kadenzo $3" >"$4/pages.txt"
    status=$?
    wait $watcher || status=1
    wineserver -k
    exit $status' bash "$installer" "$scratch/installer_probe.exe" "$version" "$scratch" ||
    fail "the installer's pages did not all come, or Kadenzo did not start"
tr -d '\r' <"$scratch/pages.txt" >"$scratch/pages"
cat "$scratch/pages"
printf '%s\n' "Installazione di Kadenzo $version" Leggimi "Per chi installare" \
    "Selezione cartella installazione" "Installazione di Kadenzo $version completata." \
    >"$scratch/expected-pages"
diff "$scratch/expected-pages" "$scratch/pages" ||
    fail "the installer's pages are not the expected ones (<)"
read -r started_as started_by < <(tr -d '\r' <"$scratch/started.txt") || true
read -r probe_as _ < <(tr -d '\r' <"$scratch/probe.txt") || true
echo "Kadenzo, from the finish page: token ${started_as:-none}, started by ${started_by:-nobody};" \
    "a program that Wine starts: token ${probe_as:-none}"
# Wine starts every program with full rights, the installer too; then it must hand Kadenzo to
# Explorer, which on Windows runs as the logged-in user.
case "${started_as:-}" in
full)
    [ "$probe_as" = full ] || fail "Kadenzo was started elevated"
    [ "$started_by" != installer ] ||
        fail "an installer with administrator rights started Kadenzo itself, not through Explorer"
    ;;
limited | default) ;;
*) fail "the finish page did not start Kadenzo" ;;
esac
[ -f "$user_installed/kadenzo.exe" ] && [ -f "$user_installed/kadenzo-batch.exe" ] ||
    fail "the programs are not in the user's own programs folder"
[ ! -e "$all_installed" ] || fail "an install for the current user wrote to Program Files"
[ -f "$user_installed/translations/qtbase_it.qm" ] || fail "Qt's Italian catalogue is not installed"
# LEGGIMI in UTF-8 with a byte order mark, for Notepad, and with Windows' line ends.
[ "$(head -c 3 "$user_installed/LEGGIMI.txt" | od -An -tx1 | tr -d ' ')" = efbbbf ] ||
    fail "LEGGIMI.txt has no UTF-8 byte order mark"
[ "$(grep -c $'\r$' "$user_installed/LEGGIMI.txt")" = "$(wc -l <"$user_installed/LEGGIMI.txt")" ] ||
    fail "LEGGIMI.txt does not end every line with CR LF"
[ -f "$user_menu_entry" ] || fail "no Start menu entry for the user"
[ -f "$send_to" ] || fail "no Send To shortcut"
has_key "$user_key" || fail "no entry in the user's list of programs"
! has_key "$all_key" || fail "an install for the current user wrote to HKLM"
check_installed_batch "$user_installed"
uninstall "$user_installed" /S
[ ! -e "$user_menu_entry" ] || fail "the uninstaller left the Start menu entry"
! has_key "$user_key" || fail "the uninstaller left its registry entry"

step "The installer, silently, for all users"
wine "$installer" /S /AllUsers
wineserver --wait
[ -f "$all_installed/kadenzo.exe" ] && [ -f "$all_installed/kadenzo-batch.exe" ] ||
    fail "the installer did not install the programs in Program Files"
[ -f "$all_menu_entry" ] || fail "no Start menu entry for all users"
[ -f "$send_to" ] || fail "no Send To shortcut"
has_key "$all_key" || fail "no entry in the list of programs"
check_installed_batch "$all_installed"
uninstall "$all_installed" /S
[ ! -e "$all_menu_entry" ] || fail "the uninstaller left the Start menu entry"
! has_key "$all_key" || fail "the uninstaller left its registry entry"

echo
if [ "$failures" -eq 0 ]; then
    echo "All Windows checks passed."
else
    echo "$failures Windows check(s) failed." >&2
    exit 1
fi
