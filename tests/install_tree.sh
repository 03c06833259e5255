#!/usr/bin/env bash
# install_tree.sh BUILD_DIR: installs the build into a temporary prefix and checks that the
# tree holds exactly the files a Linux system should get, and that the desktop entry and the
# AppStream metadata name what is installed (a menu entry whose command or icon is missing
# shows a broken or blank entry, and no error anywhere).
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null

id=io.github.kadenzo.Kadenzo
expected="bin/kadenzo
bin/kadenzo-batch
share/applications/$id.desktop
share/doc/kadenzo/changelog.gz
share/doc/kadenzo/copyright
share/icons/hicolor/scalable/apps/$id.svg
share/man/man1/kadenzo-batch.1.gz
share/man/man1/kadenzo.1.gz
share/metainfo/$id.metainfo.xml"
actual=$(cd "$prefix" && find . \( -type f -o -type l \) | sed 's|^\./||' | LC_ALL=C sort)
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
if [ "$actual" != "$expected" ]; then
    fail "the installed files differ from the expected ones (< expected, > installed):"
    diff <(echo "$expected") <(echo "$actual") >&2 || true
fi

desktop=$prefix/share/applications/$id.desktop
entry() { sed -n "s/^$1=//p" "$desktop"; }
exec_command=$(entry Exec | cut -d' ' -f1)
[ -x "$prefix/bin/$exec_command" ] || fail "Exec=$(entry Exec) names no installed program"
# Kadenzo changes the files it is given: it must never be what opens a song on a double click.
# It names only a journal's type, for which it asks before it changes anything.
[ "$(entry MimeType)" = "text/tab-separated-values;" ] ||
    fail "the desktop entry names MIME types other than a journal's: $(entry MimeType)"
icon=$(entry Icon)
[ -f "$prefix/share/icons/hicolor/scalable/apps/$icon.svg" ] ||
    fail "Icon=$icon names no installed icon"

metainfo=$prefix/share/metainfo/$id.metainfo.xml
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" ||
    fail "the metadata's launchable is not the installed desktop entry $id.desktop"
grep -q "<id>$id</id>" "$metainfo" || fail "the metadata's id is not $id"

for program in "$prefix"/bin/*; do
    name=$(basename "$program")
    [ -f "$prefix/share/man/man1/$name.1.gz" ] || fail "$name has no manual page"
    gzip -t "$prefix/share/man/man1/$name.1.gz" 2>/dev/null ||
        fail "$name's manual page is not gzip data"
done

[ "$failures" -eq 0 ] || exit 1
echo "install tree: $(echo "$actual" | wc -l) files, as expected"
