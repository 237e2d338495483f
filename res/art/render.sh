#!/bin/bash
# Re-renders the wizard's artwork from artwork.py into res/art/ and draws a contact sheet,
# build/art/contact.png, for a person to look at. Needs python3 and ImageMagick's convert.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
out="$root/build/art"
mkdir -p "$out"

python3 "$here/artwork.py" "$here" "$out"

bold=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf
plain=/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf
label() { # name text: a caption strip
  convert -size 1200x22 xc:white -font "$plain" -pointsize 12 -fill '#333333' \
    -gravity West -annotate +6+0 "$2" "$out/label_$1.png"
}
label band "Header band, bitmap 106: 500 x 63 stretched to 475 x 63, sample title at (10, 15)"
label area "Animation area: carton (icon 107) and all 20 frames (icons 108-127) at their places, classic and modern dialog face"
label film "Each frame as shown (carton plus frame 1..20), left to right, top to bottom"
label strip "Icons 107..127, 32 x 32, side by side; below: 3x zoom; then the 16 x 16 images"

# The header band as the wizard shows it: stretched to the dialog's width, with a title.
convert "$out/band.png" -font "$bold" -pointsize 11 -fill black -gravity NorthWest \
  -annotate +10+15 "Select Uninstall Method" \
  \( -size 475x1 xc:'#808080' \) \( -size 475x1 xc:white \) -append "$out/band_titled.png"

convert -background white \
  "$out/label_band.png" \
  "$out/band_titled.png" \
  "$out/label_area.png" \
  "$out/area_classic.png" "$out/area_modern.png" \
  "$out/label_film.png" \
  "$out/film.png" \
  "$out/label_strip.png" \
  "$out/strip.png" "$out/strip3.png" "$out/strip16.png" \
  -gravity NorthWest -splice 6x0 -append -bordercolor white -border 6 "$out/contact.png"
python3 "$here/check.py" "$here" | tail -n 1
echo "wrote $here/banner.bmp, $here/anim_00.ico .. anim_20.ico and $out/contact.png"
