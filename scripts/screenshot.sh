#!/usr/bin/env bash
# Takes a picture of the main window as a user first sees it, on a virtual X display
# (Xvfb) with the fonts this machine has; with PATHs, during the batch it runs over them
# (give songs on a slow disk, or many, so that it is still running 3 seconds in).
# With --wine, PROGRAM is a Windows program, run by Wine (scripts/wine-env.sh sets it up).
# Prints the size of the window's own area. KADENZO_SCREEN sets the display's size (800x600).
#   scripts/screenshot.sh [--wine] PROGRAM OUTPUT.png [PATH...]
set -euo pipefail
runner=""
if [ "${1:-}" = "--wine" ]; then
    runner=wine
    . "$(dirname "$0")/wine-env.sh"
    # A Wine session that is still up keeps the display it started with (none, after the
    # tests): stop it, so that the program's window opens on this script's display.
    wineserver -k 2>/dev/null || true
    shift
fi
[ $# -ge 2 ] || { echo "usage: $0 [--wine] PROGRAM OUTPUT.png [PATH...]" >&2; exit 2; }
program=$(realpath "$1")
output=$2
shift 2

# xvfb-run picks a free display and its authority; the inner script runs on it.
xvfb-run --auto-servernum --server-args="-screen 0 ${KADENZO_SCREEN:-800x600}x24 -nolisten tcp" \
    bash -s "$program" "$output" "$runner" "$@" <<'INNER'
set -euo pipefail
program=$1
output=$2
runner=$3
shift 3
# A window manager draws the title bar and frame that a desktop would.
openbox --sm-disable >/dev/null 2>&1 &
wm=$!
# The window manager must be up before the window maps, or the window has no frame.
for _ in $(seq 50); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
    sleep 0.2
done
QT_QPA_PLATFORM=xcb $runner "$program" "$@" &
app=$!
trap 'kill $app $wm 2>/dev/null || true' EXIT
title="Corvane  Kadenzo Ver 1.1"
for _ in $(seq 100); do
    window=$(xwininfo -name "$title" 2>/dev/null | awk '/Window id:/ {print $4}' || true)
    if [ -n "$window" ]; then
        sleep 2 # let the first frame draw (a batch given goes on meanwhile)
        xwininfo -id "$window" | awk '/Width:/ {w = $2} /Height:/ {h = $2} END {print "size " w "x" h}'
        # -frame: the window manager's frame around the window, title bar included
        import -frame -window "$window" "$output"
        exit 0
    fi
    sleep 0.2
done
echo "the window did not appear" >&2
exit 1
INNER
echo "wrote $output"
