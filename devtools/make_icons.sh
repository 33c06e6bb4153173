#!/usr/bin/env bash
# Draws the program icon (res/icons/Lumendor.ico: 16, 32 and 48 pixels) with
# ImageMagick. The result is committed; run again only to change the art.
set -euo pipefail
cd "$(dirname "$0")/../res/icons"
tmp="$(mktemp -d)"; trap 'rm -rf "$tmp"' EXIT
# A dark tile with a warm lantern glow and a bright crescent "L" stroke.
convert -size 256x256 xc:none \
  -fill '#1b1e27' -draw 'roundrectangle 8,8 247,247 48,48' \
  \( -size 256x256 radial-gradient:'#f7b34a'-none \) -compose over -composite \
  -fill none -stroke '#fff2c8' -strokewidth 26 -draw 'path "M 92,58 L 92,188 L 176,188"' \
  -stroke '#f08a24' -strokewidth 10 -draw 'arc 60,60 236,236 280,80' \
  "$tmp/big.png"
for s in 16 32 48; do convert "$tmp/big.png" -resize ${s}x${s} "$tmp/i$s.png"; done
convert "$tmp/i16.png" "$tmp/i32.png" "$tmp/i48.png" Lumendor.ico
convert "$tmp/big.png" -resize 96x96 "${1:-$tmp/preview.png}"
