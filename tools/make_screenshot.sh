#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Ocula authors
# SPDX-License-Identifier: MIT
# Makes the README's screenshot: Ocula magnifying a desktop under Xvfb. The desktop is a
# picture drawn here with ImageMagick (an editor window with anti-aliased text, a toolbar,
# colour swatches), shown on the root window; Ocula runs with fresh settings, is zoomed
# in with the keypad, and the whole screen is read back. The X server does not draw the
# pointer into the screen, so an arrow is drawn where it was.
#
# Usage: tools/make_screenshot.sh OCULA_BINARY OUT.png
# Needs: Xvfb, xdotool, ImageMagick, the DejaVu fonts.
# The helpers from tests/support are written for scripts without -e.
set -uo pipefail

die() {
    echo "$0: $*" >&2
    exit 1
}

[[ $# -eq 2 ]] || {
    echo "usage: $0 OCULA_BINARY OUT.png" >&2
    exit 2
}
ocula=$(realpath "$1")
out=$2
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=../tests/support/xvfb.sh
source "$root/tests/support/xvfb.sh"

fonts=/usr/share/fonts/truetype/dejavu
sans=$fonts/DejaVuSans.ttf
bold=$fonts/DejaVuSans-Bold.ttf
mono=$fonts/DejaVuSansMono.ttf
width=1024
height=576
# Where the pointer rests: on "Ocula" at the start of the editor's text.
pointer_x=86
pointer_y=125
factor=8

work=$(mktemp -d "${TMPDIR:-/tmp}/ocula-screenshot.XXXXXX")
app=
cleanup() {
    if [[ -n $app ]]; then
        kill "$app" 2>/dev/null
        wait "$app" 2>/dev/null
    fi
    xvfb_stop
    rm -rf "$work"
}
trap cleanup EXIT

desktop=$work/desktop.png
text_lines=(
    "shows the screen around the pointer, every"
    "pixel a solid block: check the edges of glyphs,"
    "icons and borders one pixel at a time."
)
# The first line starts with the name in bold colour, the rest follows it.
name_width=$(convert -font "$bold" -pointsize 14 label:'Ocula ' -format '%w' info:) ||
    die "could not measure the text"
draw_text=(-font "$bold" -fill '#c2185b' -annotate +64+130 'Ocula' -font "$sans" -fill '#1f2933')
for i in "${!text_lines[@]}"; do
    x=$((i == 0 ? 64 + name_width : 64))
    draw_text+=(-annotate "+$x+$((130 + 22 * i))" "${text_lines[i]}")
done
swatches=()
colours=('#e63946' '#f4a261' '#e9c46a' '#2a9d8f' '#457b9d' '#1d3557' '#8338ec' '#ff006e')
for i in "${!colours[@]}"; do
    x=$((64 + 26 * i))
    swatches+=(-fill "${colours[i]}" -draw "rectangle $x,312 $((x + 19)),331")
done
convert -size "${width}x$height" gradient:'#24506e-#0e1f2e' \
    -fill '#00000055' -draw 'roundrectangle 46,46 566,506 6,6' \
    -fill '#f5f6f8' -draw 'rectangle 40,40 560,500' \
    -fill '#2c3e50' -draw 'rectangle 40,40 560,70' \
    -fill '#ff5f57' -draw 'circle 534,55 539,55' \
    -fill '#febc2e' -draw 'circle 516,55 521,55' \
    -fill '#28c840' -draw 'circle 498,55 503,55' \
    -font "$bold" -pointsize 13 -fill '#ffffff' -annotate +56+60 'notes.txt - Editor' \
    -fill '#e4e7eb' -draw 'rectangle 40,71 560,99' \
    -fill '#3a86ff' -draw 'roundrectangle 52,77 68,93 3,3' \
    -fill '#ffbe0b' -draw 'polygon 80,93 88,77 96,93' \
    -fill '#fb5607' -draw 'circle 116,85 116,77' \
    -stroke '#6c757d' -strokewidth 2 -draw 'line 136,79 148,91' -draw 'line 148,79 136,91' \
    -stroke none -pointsize 14 "${draw_text[@]}" \
    -font "$mono" -pointsize 12 -fill '#6a1b9a' -annotate +64+222 'zoom.Factor = 8;' \
    -fill '#2e7d32' -annotate +64+240 '// grid from 3x upwards' \
    -fill '#0d47a1' -annotate +64+258 'showBars(LeftBar | TopBar);' \
    -font "$sans" -pointsize 13 -fill '#1565c0' -annotate +64+292 'https://example.org/pixels' \
    -stroke '#1565c0' -strokewidth 1 -draw 'line 64,295 232,295' -stroke none \
    "${swatches[@]}" \
    -fill '#2c7be5' -draw 'roundrectangle 440,452 544,484 4,4' \
    -font "$bold" -pointsize 13 -fill '#ffffff' -annotate +474+473 'Save' \
    -fill '#ffffff' -stroke '#c5cad3' -draw 'roundrectangle 324,452 428,484 4,4' -stroke none \
    -font "$sans" -fill '#1f2933' -annotate +353+473 'Cancel' \
    -depth 8 "$desktop" || die "could not draw the desktop"

xvfb_start "$width" "$height" 24 || die "Xvfb did not start"
set_root_pattern "$desktop" || die "could not show the desktop on the root window"

env -i HOME="$work" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work" \
    DISPLAY="$DISPLAY" QT_QPA_PLATFORM=xcb "$ocula" >"$work/ocula.log" 2>&1 &
app=$!
window() {
    win=$(xdotool search --all --onlyvisible --pid "$app" --name '^Ocula' 2>/dev/null | head -n 1)
    [[ -n $win ]]
}
wait_until 10 window || {
    cat "$work/ocula.log" >&2
    die "Ocula showed no window"
}
# No window manager: place the window and give it the keyboard directly.
xdotool windowmove --sync "$win" 600 40 && xdotool windowfocus --sync "$win" ||
    die "could not place the window"
for ((f = 6; f < factor; f++)); do
    xdotool key KP_Add
done
title_is() { [[ $(xdotool getwindowname "$win") == "Ocula ( x $factor )" ]]; }
wait_until 10 title_is || die "Ocula did not zoom to $factor"
xdotool mousemove --sync "$pointer_x" "$pointer_y" || die "could not move the pointer"

# The view shows the magnified pointer surroundings once the pixel under the pointer
# appears, magnified, at the view's centre; a few ticks later it is surely steady.
shot=$work/screen.png
pixels_match() {
    import -silent -window root -depth 8 "$shot" 2>/dev/null || return 1
    local geometry
    geometry=$(xwininfo -id "$win" | awk '/Absolute upper-left X:/ {x = $4}
        /Absolute upper-left Y:/ {y = $4} /^ *Width:/ {w = $2} /^ *Height:/ {h = $2}
        END {print x, y, w, h}')
    read -r wx wy ww wh <<<"$geometry"
    # Anything but the plain background near the window's centre means the view is live.
    local colours
    colours=$(convert "$shot" -crop "$((ww / 2))x$((wh / 2))+$((wx + ww / 4))+$((wy + wh / 4))" \
        +repage -unique-colors -format '%w' info:)
    ((colours > 8))
}
wait_until 10 pixels_match || die "the view stayed empty"
sleep 0.5
import -silent -window root -depth 8 "$shot" || die "could not read the screen"

# The arrow where the pointer is, as the desktop would draw it.
x=$pointer_x
y=$pointer_y
arrow="$x,$y $x,$((y + 17)) $((x + 4)),$((y + 13)) $((x + 7)),$((y + 20)) $((x + 10)),$((y + 19)) \
$((x + 7)),$((y + 12)) $((x + 12)),$((y + 12))"
mkdir -p "$(dirname "$out")"
convert "$shot" -fill white -stroke black -strokewidth 1 -draw "polygon $arrow" \
    -strip -define png:exclude-chunks=date,time "$out" || die "could not write $out"
echo "wrote $out"
