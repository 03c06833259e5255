#!/usr/bin/env bash
# Renders the icon's SVG (ui/icons/kadenzo.svg) into the PNG the window shows and the ICO the
# Windows programs carry. Their results are committed; run this after changing the SVG.
# Needs librsvg2-bin and imagemagick.
set -euo pipefail
cd "$(dirname "$0")/.."
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
for size in 16 24 32 48 64 256; do
    rsvg-convert -w $size -h $size ui/icons/kadenzo.svg -o "$tmp/$size.png"
done
cp "$tmp/256.png" ui/icons/kadenzo.png
convert "$tmp"/{16,24,32,48,64,256}.png packaging/windows/kadenzo.ico
