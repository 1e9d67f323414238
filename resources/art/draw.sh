#!/bin/sh
# Draws the four button pictures and the application icon into resources/.
# Needs ImageMagick 6 (convert) and icoutils (icotool). The results are kept in the
# repository, so a build never needs these tools; run this only to change the artwork.
#
# Everything is drawn on a 512 x 512 canvas in a 32-unit grid (scale 16) and then
# scaled down, which gives smooth edges at every icon size. The tiny sizes use a
# bolder variant so the arrows survive at 16 pixels.
set -eu

# /usr/local/bin may hold something else called convert; take ImageMagick's own.
IM=${IM:-/usr/bin/convert}
ICOTOOL=${ICOTOOL:-icotool}

art=$(cd "$(dirname "$0")" && pwd)
out=$(dirname "$art")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Without the exclusions ImageMagick stamps the time into every PNG and each run
# would change the committed files.
PNGOPT="-strip -define png:exclude-chunks=date,time -define png:compression-level=9"

M=512            # master canvas
S="scale 16,16"  # 32-unit grid onto the master

# --- shapes, in the 32-unit grid ------------------------------------------

HEART="path 'M 14,27.4 C 6,21.4 1.2,16.4 1.2,10.2 C 1.2,5.8 4.4,2.8 8.1,2.8 C 10.8,2.8 12.8,4.4 14,6.8 C 15.2,4.4 17.2,2.8 19.9,2.8 C 23.6,2.8 26.8,5.8 26.8,10.2 C 26.8,16.4 22,21.4 14,27.4 Z'"

# Two arrows on one circle around the centre, each 180 degrees from the other,
# running clockwise so that each chases the other's tail.
# $1 colour, $2 shaft width, $3 half width of the head, $4 radius,
# $5 angle where the head begins, $6 angle the head spans (degrees, clockwise from 3 o'clock).
arrows() {
    awk -v col="$1" -v w="$2" -v hw="$3" -v R="$4" -v hs="$5" -v hl="$6" 'BEGIN {
        pi = atan2(0, -1); cx = 16; cy = 16
        for (i = 0; i < 2; i++) {
            a0 = (200 + 180 * i) * pi / 180    # tail
            ae = (hs + 180 * i) * pi / 180     # where the head begins
            at = ae + hl * pi / 180            # tip, on the circle so the head follows the curve
            ex = cx + R * cos(ae + 0.05); ey = cy + R * sin(ae + 0.05)
            # The repeated moveto keeps ImageMagick 6 from closing the arc with a chord.
            printf "push graphic-context stroke %s stroke-linecap round stroke-width %g fill none ", col, w
            printf "path '\''M %.3f,%.3f A %g,%g 0 0,1 %.3f,%.3f M %.3f,%.3f'\'' pop graphic-context ",
                cx + R * cos(a0), cy + R * sin(a0), R, R, ex, ey, ex, ey
            printf "push graphic-context stroke none fill %s ", col
            printf "polygon %.3f,%.3f %.3f,%.3f %.3f,%.3f pop graphic-context ",
                cx + (R + hw) * cos(ae), cy + (R + hw) * sin(ae),
                cx + R * cos(at), cy + R * sin(at),
                cx + (R - hw) * cos(ae), cy + (R - hw) * sin(ae)
        }
    }'
}

# --- layers on the master canvas ------------------------------------------

# $1 output, $2 shape (MVG in the grid), $3 gradient centre x,y (master pixels),
# $4 gradient radius, $5 light colour, $6 dark colour
shaded() {
    "$IM" -size ${M}x${M} -define gradient:center="$3" -define gradient:radii="$4,$4" \
        radial-gradient:"$5-$6" \
        \( -size ${M}x${M} xc:black -fill white -draw "$S $2" \) \
        -alpha off -compose CopyOpacity -composite "$1"
}

heart() {
    shaded "$work/heart.png" "$HEART" 150,110 400 '#ff6f8a' '#bb0a2a'
    "$IM" "$work/heart.png" \
        \( -size ${M}x${M} xc:none -fill 'rgba(255,255,255,0.6)' \
           -draw "$S ellipse 7.6,8.2 3.1,2.0 0,360" -blur 0x10 \) -compose Over -composite \
        -fill none -stroke '#7a0a1f' -strokewidth 0.9 -draw "$S $HEART" \
        "$work/heart.png"
}

# A round badge at the heart's lower right, set off from it by a white ring.
# $1 output, $2 light colour, $3 dark colour, $4 rim colour, $5 white sign (MVG)
badge() {
    # Light from the upper left, as on the heart (gradient centre in master pixels).
    shaded "$work/badgeball.png" "circle 23.6,23.6 23.6,16.8" 345,345 145 "$2" "$3"
    "$IM" "$work/heart.png" \
        -fill white -stroke none -draw "$S circle 23.6,23.6 23.6,15.6" \
        "$work/badgeball.png" -compose Over -composite \
        -fill none -stroke "$4" -strokewidth 0.6 -draw "$S circle 23.6,23.6 23.6,16.8" \
        -fill white -stroke none -draw "$S $5" \
        "$1"
}

# The orange ball with the chasing arrows. $1 output, $2 shaft width,
# $3 head half width, $4 arrow radius, $5 top edge of the ball (y), $6 rim width,
# $7 shadow strength (0 to 1), $8 angle where each head begins, $9 angle it spans
ball() {
    shaded "$work/ball.png" "circle 16,16 16,$5" 170,150 370 '#ffd27a' '#dc4c00'
    "$IM" "$work/ball.png" \
        -fill none -stroke '#8a3300' -strokewidth "$6" -draw "$S circle 16,16 16,$5" \
        \( -size ${M}x${M} xc:none -draw "translate 8,10 $S $(arrows "'#6e2800'" "$2" "$3" "$4" "$8" "$9")" \
           -channel A -evaluate multiply "$7" +channel -blur 0x6 \) -compose Over -composite \
        -draw "$S $(arrows white "$2" "$3" "$4" "$8" "$9")" \
        "$1"
}

# $1 master, $2 size, $3 output: RGBA, 8 bits a channel, not interlaced
shrink() {
    "$IM" "$1" -filter Lanczos -resize "$2x$2" -unsharp 0x0.6+0.5+0 $PNGOPT -interlace none PNG32:"$3"
}

# $1 RGBA picture, $2 colours, $3 output: palette picture with on/off transparency,
# so that icotool stores it as a 4- or 8-bit image with a mask
palette() {
    "$IM" "$1" -channel A -threshold 50% +channel -background black -alpha background \
        +dither -colors "$2" $PNGOPT PNG8:"$3"
}

# --- button pictures ------------------------------------------------------

heart
badge "$work/add.png" '#9af07f' '#1c8a1c' '#0d5410' \
    "rectangle 19.2,22.35 28.0,24.85 rectangle 22.35,19.2 24.85,28.0"
badge "$work/remove.png" '#ff8a7a' '#c4160c' '#6e0a05' \
    "rectangle 19.2,22.35 28.0,24.85"

# The cross has no badge: a pink X with a white edge, so it reads on the heart.
X="line 20.2,20.2 27.4,27.4 line 27.4,20.2 20.2,27.4"
"$IM" "$work/heart.png" \
    -draw "$S push graphic-context stroke white stroke-width 5.6 stroke-linecap round $X pop graphic-context" \
    -draw "$S push graphic-context stroke '#a3124f' stroke-width 4.2 stroke-linecap round $X pop graphic-context" \
    -draw "$S push graphic-context stroke '#ff69b4' stroke-width 2.8 stroke-linecap round $X pop graphic-context" \
    "$work/clear.png"

ball "$work/convert.png" 3.0 3.5 8.6 1.4 0.8 0.5 318 32
ball "$work/bold.png" 3.6 5.4 8.2 1.2 1.6 0 295 55

shrink "$work/add.png" 32 "$out/add.png"
shrink "$work/remove.png" 32 "$out/remove.png"
shrink "$work/clear.png" 32 "$out/clear.png"
shrink "$work/convert.png" 32 "$out/convert.png"

# --- application icon -----------------------------------------------------

for n in 256 128 64 48 32; do shrink "$work/convert.png" $n "$work/i$n.png"; done
shrink "$work/bold.png" 16 "$work/i16.png"
palette "$work/i32.png" 16 "$work/p4_32.png"
palette "$work/i16.png" 16 "$work/p4_16.png"
palette "$work/i48.png" 256 "$work/p8_48.png"
palette "$work/i32.png" 256 "$work/p8_32.png"
palette "$work/i16.png" 256 "$work/p8_16.png"

# icotool picks the depth from the colours it finds: 16 or fewer give 4 bits,
# 256 or fewer 8 bits, real transparency 32 bits. The 256 one is stored as PNG.
"$ICOTOOL" -c -o "$out/ambrett.ico" \
    "$work/p4_32.png" "$work/p4_16.png" \
    "$work/p8_48.png" "$work/p8_32.png" "$work/p8_16.png" \
    -r "$work/i256.png" \
    "$work/i128.png" "$work/i64.png" "$work/i48.png" "$work/i32.png" "$work/i16.png"

# That choice is icotool's, so make sure it came out as intended.
depths=$("$ICOTOOL" -l "$out/ambrett.ico" | sed 's/.*--bit-depth=\([0-9]*\).*/\1/' | tr '\n' ' ')
if [ "$depths" != "4 4 8 8 8 32 32 32 32 32 32 " ]; then
    echo "draw.sh: unexpected icon bit depths: $depths" >&2
    exit 1
fi
"$ICOTOOL" -l "$out/ambrett.ico"
