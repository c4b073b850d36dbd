#!/usr/bin/env bash
# Regenerates the workstation's icons and images under resources/ with ImageMagick.
# Every picture is drawn here from plain shapes: run it again after changing a drawing and
# commit the PNG/GIF files it writes. Usage: tools/make-icons.sh [resources-folder]
set -euo pipefail

RES="${1:-$(cd "$(dirname "$0")/.." && pwd)/resources}"
ICONS="$RES/icons"
IMG="$RES/img"
mkdir -p "$ICONS" "$IMG"

ACCENT='#30375e'
ACCENT_LIGHT='#8a90b4'
RED='#d0302b'
GREEN='#2e8b57'
FONT='DejaVu-Sans-Bold'

# Toolbar icons are drawn on a 192 px canvas and reduced to 48 px, which smooths every edge.
# Metadata and time stamps are left out so that a rerun gives byte-identical files.
OUT_OPTS=(-strip -define png:exclude-chunk=date,time,tIME)

icon() { # icon <file> <draw arguments...>
    local out="$1"; shift
    convert -size 192x192 xc:none "$@" -filter Lanczos -resize 48x48 "${OUT_OPTS[@]}" "PNG32:$out"
}

# Back to the main page: a left arrow.
icon "$ICONS/back.png" \
    -fill "$ACCENT" -stroke "$ACCENT" -strokewidth 14 -draw "stroke-linejoin round
        polygon 30,96 94,38 94,74 162,74 162,118 94,118 94,154"

# Start a stream: a play triangle.
icon "$ICONS/play.png" \
    -fill "$ACCENT" -stroke "$ACCENT" -strokewidth 22 -draw "stroke-linejoin round
        polygon 58,38 158,96 58,154"

# Stop a stream: a rounded square.
icon "$ICONS/stop.png" \
    -fill "$ACCENT" -draw "roundrectangle 42,42 150,150 18,18"

# Start recording: the red record dot in a ring.
icon "$ICONS/rec.png" \
    -fill none -stroke "$RED" -strokewidth 12 -draw "circle 96,96 96,20" \
    -fill "$RED" -stroke none -draw "circle 96,96 96,44"

# Snapshot: a camera.
icon "$ICONS/snapshot.png" \
    -fill "$ACCENT" -stroke "$ACCENT" -strokewidth 12 -draw "stroke-linejoin round
        polygon 64,62 78,38 114,38 128,62" \
    -stroke none -draw "roundrectangle 16,56 176,164 20,20" \
    -fill white -draw "circle 96,110 96,70" \
    -fill "$ACCENT" -draw "circle 96,110 96,84" \
    -fill white -draw "roundrectangle 140,72 160,84 4,4"

# Report: a page with a folded corner and lines of text.
icon "$ICONS/report.png" \
    -fill "$ACCENT" -stroke "$ACCENT" -strokewidth 8 -draw "stroke-linejoin round
        polygon 40,16 122,16 156,50 156,176 40,176" \
    -fill "$ACCENT_LIGHT" -stroke "$ACCENT_LIGHT" -draw "stroke-linejoin round
        polygon 122,16 122,50 156,50" \
    -fill white -stroke none \
    -draw "roundrectangle 62,78 134,88 5,5" \
    -draw "roundrectangle 62,102 134,112 5,5" \
    -draw "roundrectangle 62,126 134,136 5,5" \
    -draw "roundrectangle 62,150 110,160 5,5"

# New patient: a person with a green plus badge.
icon "$ICONS/patient.png" \
    -fill "$ACCENT" -draw "circle 82,56 82,24" \
    -draw "path 'M 18,172 C 18,100 146,100 146,172 Z'" \
    -fill "$GREEN" -stroke white -strokewidth 8 -draw "circle 146,142 146,104" \
    -fill white -stroke none \
    -draw "roundrectangle 124,136 168,148 4,4" \
    -draw "roundrectangle 140,120 152,164 4,4"

# Search for devices: a circular arrow.
icon "$ICONS/reload.png" \
    -fill none -stroke "$ACCENT" -strokewidth 24 -draw "stroke-linecap round
        path 'M 156,100 A 60,60 0 1,1 92,36'" \
    -fill "$ACCENT" -stroke "$ACCENT" -strokewidth 8 -draw "stroke-linejoin round
        polygon 92,4 140,36 92,68"

# Breath filters: a funnel.
# Choose a recorder in the device dialog: a plus sign, white so that it reads on the row's green
# or red button.
icon "$IMG/plus.png" \
    -fill white -stroke white -strokewidth 2 -draw "roundrectangle 80,30 112,162 10,10" \
    -draw "roundrectangle 30,80 162,112 10,10"

icon "$IMG/filter.png" \
    -fill "$ACCENT" -stroke "$ACCENT" -strokewidth 14 -draw "stroke-linejoin round
        polygon 26,36 166,36 112,100 112,160 80,178 80,100"

# An ECG complex.
icon "$ICONS/ecg.png" \
    -fill none -stroke "$ACCENT" -strokewidth 12 -draw "stroke-linejoin round stroke-linecap round
        polyline 12,112 44,112 54,98 64,112 78,112 88,128 100,30 114,156 124,112 138,112 152,90 166,112 180,112"

# The workstation's own analysis: an ECG complex under a magnifying glass.
icon "$ICONS/analysis.png" \
    -fill none -stroke "$ACCENT" -strokewidth 10 -draw "stroke-linejoin round stroke-linecap round
        polyline 8,104 34,104 44,92 52,104 62,104 72,118 82,40 94,144 102,104 116,104" \
    -stroke "$RED" -strokewidth 14 -draw "circle 124,100 124,56" \
    -draw "stroke-linecap round line 154,132 182,166"

# Login logo: a heart crossed by an ECG trace, beside the product name.
HEART="M 80,150 C 40,120 8,94 8,56 C 8,28 28,10 52,10 C 66,10 76,18 80,30 C 84,18 94,10 108,10 C 132,10 152,28 152,56 C 152,94 120,120 80,150 Z"
convert -background none \
    \( -size 168x168 xc:none -fill "$ACCENT" -draw "translate 4,4 path '$HEART'" \
       -fill none -stroke white -strokewidth 9 -draw "stroke-linejoin round stroke-linecap round
           polyline 28,84 56,84 68,62 80,110 94,40 106,84 140,84" \) \
    \( -size 18x1 xc:none \) \
    +stroke +size \( \( -font "$FONT" -pointsize 64 -fill "$ACCENT" label:Tavo \( -fill "$RED" label:KRN -gravity west -chop 5x0 \) +append \) \
       -font DejaVu-Sans -pointsize 24 -fill "$ACCENT_LIGHT" label:'cardio-respiratorio' \
       -gravity west -append \) \
    -gravity center +append -trim +repage -bordercolor none -border 4 \
    -filter Lanczos -resize 220x "${OUT_OPTS[@]}" "PNG32:$ICONS/tavo.png"

# Background and texture tiles, kept plain (the style sheet's background rules are off).
convert -size 32x256 gradient:'#f6f7fb-#d9dcea' "${OUT_OPTS[@]}" "PNG24:$ICONS/sfondo.png"
convert -size 16x16 xc:'#eef0f5' -fill '#e2e5ee' \
    -draw "line 0,15 15,0" -draw "line 0,7 7,0" -draw "line 8,15 15,8" \
    "${OUT_OPTS[@]}" "PNG24:$ICONS/texture.png"

# Busy spinner: eight dots round a ring, the newest in the accent colour and the older ones
# fading towards white; the dark dot steps round once a frame at 12.5 frames per second.
frames=()
for step in 0 1 2 3 4 5 6 7; do
    mapfile -t draws < <(awk -v step="$step" 'BEGIN {
        for (dot = 0; dot < 8; dot++) {
            age = (step - dot + 8) % 8; f = age / 9; a = dot * 3.14159265 / 4 - 3.14159265 / 2
            x = 64 + 44 * cos(a); y = 64 + 44 * sin(a)
            printf "fill rgb(%d,%d,%d) circle %.1f,%.1f %.1f,%.1f\n",
                48 + f * 207, 55 + f * 200, 94 + f * 161, x, y, x, y - 11 } }')
    frame="$(mktemp --suffix=.png)"
    convert -size 128x128 xc:none -draw "${draws[*]}" -filter Lanczos -resize 32x32 \
        -channel A -threshold 50% +channel "$frame"
    frames+=("$frame")
done
convert -delay 8 -dispose background -loop 0 "${frames[@]}" -strip "$ICONS/ajax-loader.gif"
rm -f "${frames[@]}"

echo "Icons written under $RES"
