# Sourced by the scripts that run Kadenzo's Windows programs under Wine: a private Wine
# prefix, made once and kept with the cached Windows Qt, with the fonts the window needs.
export WINEPREFIX=${KADENZO_WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/kadenzo/wine}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=" # no offer to install Mono or Gecko
export LANG=C.UTF-8                       # non-ASCII paths on Wine's command line
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Making a Wine prefix in $WINEPREFIX" >&2
    wineboot --init >/dev/null 2>&1
    wineserver --wait
fi
# Debian's Wine does not find its own fonts: without Tahoma the window falls back to a serif
# face, and texts are cut.
fonts=$WINEPREFIX/drive_c/windows/Fonts
mkdir -p "$fonts"
[ -f "$fonts/tahoma.ttf" ] || cp /usr/share/wine/fonts/tahoma*.ttf "$fonts/"
