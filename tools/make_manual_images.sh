#!/usr/bin/env bash
# Regenerates the manual's pictures in docs/images/ from the programs themselves:
# the views from `orbelune --screenshots`, the ring figures from
# `orbelune-cli synth`, `unwarp` and `detect`, put together with ImageMagick.
#   tools/make_manual_images.sh [BIN_DIR] [OUT_DIR]
# BIN_DIR defaults to build/release/bin, OUT_DIR to docs/images.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
bin=${1:-$root/build/release/bin}
out=${2:-$root/docs/images}
cli=$bin/orbelune-cli
gui=$bin/orbelune
for tool in "$cli" "$gui"; do
    [[ -x $tool ]] || { echo "make_manual_images: $tool not found (make build first)" >&2; exit 1; }
done
command -v convert >/dev/null || { echo "make_manual_images: needs ImageMagick (convert)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"
export QT_QPA_PLATFORM=offscreen
# A sanitizer build reports font libraries' leaks; they are not ours to fail on.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}
# Stored settings must not change what is drawn.
export XDG_CONFIG_HOME=$work/config

font=DejaVu-Sans
bold=DejaVu-Sans-Bold
ink='#2b3645'
finish() {  # finish IN OUT: no metadata or dates, so that a rerun gives the same bytes
    local opts=(-strip -define png:exclude-chunks=date,time -define png:compression-level=9)
    convert "$1" "${opts[@]}" "$2"
    # Photographs are kept under 150 KB by a 256-colour palette (dithered).
    if (($(stat -c %s "$2") > 140000)); then
        convert "$1" "${opts[@]}" -colors 256 PNG8:"$2"
    fi
}
label() {  # label IN TEXT OUT: a caption line under a picture
    convert "$1" -background white -fill "$ink" -font "$font" -pointsize 15 \
        label:"$2" -gravity center -append -bordercolor white -border 6 "$3"
}
circle() {  # circle CX CY R: the -draw argument of a circle
    echo "circle $1,$2 $(($1 + $3)),$2"
}

# --- The views, as the program draws them with the sample photo loaded.
"$gui" --screenshots "$work/shots" >/dev/null 2>&1 || {
    echo "make_manual_images: orbelune --screenshots failed" >&2
    exit 1
}
finish "$work/shots/1-start.png" "$out/view-start.png"
finish "$work/shots/2-round.png" "$out/view-round.png"
finish "$work/shots/3-panorama.png" "$out/view-panorama.png"
finish "$work/shots/4-mirror-selection.png" "$out/dialog-mirror.png"
finish "$work/shots/6-movie-properties.png" "$out/dialog-movie.png"

# --- A well and a badly placed ring: the same photo unwarped from the true
# centre and from one 10 px off, with a straight guide along the ground's edge.
"$cli" synth -o "$work/ring.png" --size 800x640 --center 400,320 --outer 300 --inner 100 \
    --mirror concave-standard --scene sample
"$cli" unwarp "$work/ring.png" -o "$work/good.png" --mirror concave-standard \
    --center 400,320 --outer 300 --inner 100 --seam 0
"$cli" unwarp "$work/ring.png" -o "$work/bad.png" --mirror concave-standard \
    --center 410,320 --outer 300 --inner 100 --seam 0
convert "$work/ring.png" -fill none -strokewidth 4 \
    -stroke '#2fd06a' -draw "$(circle 400 320 300)" -draw "$(circle 400 320 100)" \
    -stroke '#ff4a3d' -draw "$(circle 410 320 300)" -draw "$(circle 410 320 100)" \
    -resize 300x "$work/ring-small.png"
for k in good bad; do
    convert "$work/$k.png" -stroke '#ffb000' -strokewidth 3 -draw "line 0,276 1884,276" \
        -resize 620x "$work/$k-small.png"
done
label "$work/ring-small.png" "green: on the centre, red: 10 px off" "$work/a.png"
label "$work/good-small.png" "Centre on the mirror's centre: the ground's edge runs straight" "$work/b.png"
label "$work/bad-small.png" "Centre 10 px off: the horizon and the ground's edge wave" "$work/c.png"
convert "$work/a.png" \( "$work/b.png" "$work/c.png" -append \) -background white -gravity center \
    +append "$work/placement.png"
finish "$work/placement.png" "$out/ring-placement.png"

# --- Finding the ring: a convex mirror's photo whose rim the frame cuts off,
# with the circles the detector found drawn over it.
"$cli" synth -o "$work/detect.png" --size 900x640 --center 450,320 --outer 350 --inner 110 \
    --mirror convex-standard --scene test
found=$("$cli" detect "$work/detect.png")
read -r cx cy outer inner < <(sed -E 's/center=([0-9]+),([0-9]+) outer=([0-9]+) inner=([0-9]+).*/\1 \2 \3 \4/' <<<"$found")
convert "$work/detect.png" -bordercolor '#0b0f14' -border 60 -fill none \
    -stroke '#9aa8b8' -strokewidth 2 -draw "rectangle 59,59 960,700" -strokewidth 4 \
    -stroke '#2fd06a' -draw "$(circle $((cx + 60)) $((cy + 60)) "$outer")" \
    -draw "$(circle $((cx + 60)) $((cy + 60)) "$inner")" \
    -draw "line $((cx + 40)),$((cy + 60)) $((cx + 80)),$((cy + 60))" \
    -draw "line $((cx + 60)),$((cy + 40)) $((cx + 60)),$((cy + 80))" \
    -resize 520x "$work/detect-small.png"
label "$work/detect-small.png" "Found: $found" "$work/detect-label.png"
finish "$work/detect-label.png" "$out/ring-detected.png"

# --- The custom mirror: the elevations at its two circles, the horizon between
# them, and the equirectangular panorama it gives.
"$cli" synth -o "$work/custom.png" --size 700x700 --center 350,350 --outer 320 --inner 80 \
    --mirror custom --elevations 15,-45 --scene sample
"$cli" unwarp "$work/custom.png" -o "$work/custom-pano.png" --mirror custom \
    --center 350,350 --outer 320 --inner 80 --elevations 15,-45 --no-flip --seam 0
horizon=$((80 + (320 - 80) * 45 / 60))  # 0° lies 45 of the 60 degrees out from the inner circle
convert "$work/custom.png" -fill none -strokewidth 4 \
    -stroke '#2fd06a' -draw "$(circle 350 350 320)" -draw "$(circle 350 350 80)" \
    -stroke '#ffb000' -strokewidth 3 -draw "$(circle 350 350 $horizon)" \
    -stroke none -fill white -undercolor '#000000a0' -font "$bold" -pointsize 26 \
    -annotate +560+70 "+15°" -annotate +440+350 "−45°" -annotate +560+190 " 0°" \
    -resize 300x "$work/custom-small.png"
read -r pw ph <<<"$(identify -format "%w %h" "$work/custom-pano.png")"
row=$((ph * 15 / 60))
convert "$work/custom-pano.png" -stroke '#ffb000' -strokewidth 3 -draw "line 0,$row $pw,$row" \
    -resize 620x "$work/custom-pano-small.png"
label "$work/custom-small.png" "outer circle +15°, inner −45°, horizon 0°" "$work/a.png"
label "$work/custom-pano-small.png" "Each row the same angle: the horizon a quarter of the way down" "$work/b.png"
convert "$work/a.png" "$work/b.png" -background white -gravity center +append "$work/custom-fig.png"
finish "$work/custom-fig.png" "$out/custom-mirror.png"

# --- The seam: the marker on the outer circle, and where the panorama starts.
"$cli" synth -o "$work/seam.png" --size 700x640 --center 350,320 --outer 300 --inner 100 \
    --mirror concave-standard --scene sample
"$cli" unwarp "$work/seam.png" -o "$work/seam0.png" --mirror concave-standard \
    --center 350,320 --outer 300 --inner 100 --seam 0
"$cli" unwarp "$work/seam.png" -o "$work/seam90.png" --mirror concave-standard \
    --center 350,320 --outer 300 --inner 100 --seam 90
marks=()
seam_marker() {  # seam_marker ANGLE COLOUR: a line from the centre and a dot on the rim
    local x y
    x=$(awk -v a="$1" 'BEGIN { printf "%d", 350 + 300 * cos(a * atan2(0, -1) / 180) }')
    y=$(awk -v a="$1" 'BEGIN { printf "%d", 320 + 300 * sin(a * atan2(0, -1) / 180) }')
    marks+=(-stroke "$2" -strokewidth 4 -fill none -draw "line 350,320 $x,$y"
        -fill "$2" -draw "$(circle "$x" "$y" 11)")
}
# The concave standard mirror's columns run with the angle (y down), so the
# round view puts seam 90 at 6 o'clock.
seam_marker 0 '#9aa8b8'
seam_marker 90 '#f2a93b'
convert "$work/seam.png" -fill none -stroke '#2fd06a' -strokewidth 3 \
    -draw "$(circle 350 320 300)" "${marks[@]}" -resize 300x "$work/seam-small.png"
convert "$work/seam0.png" -resize 620x "$work/seam0-small.png"
convert "$work/seam90.png" -resize 620x "$work/seam90-small.png"
label "$work/seam-small.png" "grey: seam 0°, orange: seam 90°" "$work/a.png"
label "$work/seam0-small.png" "Seam 0°: the panorama starts at 3 o'clock" "$work/b.png"
label "$work/seam90-small.png" "Seam 90°: it starts a quarter turn further on" "$work/c.png"
convert "$work/a.png" \( "$work/b.png" "$work/c.png" -append \) -background white -gravity center \
    +append "$work/seam-fig.png"
finish "$work/seam-fig.png" "$out/seam.png"

# --- The mirror kinds, as the selection dialog draws them (its first four rows:
# the list sits 10, 11 px into the dialog, rows 107 px high, pictures 4 px in;
# 3 px are left off round each so that no row's highlight shows).
kinds=()
names=("Concave Standard" "Concave Threaded" "Convex Standard" "Convex Threaded")
for i in 0 1 2 3; do
    convert "$work/shots/4-mirror-selection.png" -crop "110x93+18+$((19 + 107 * i))" +repage \
        -resize 200% "$work/kind$i.png"
    label "$work/kind$i.png" "${names[$i]}" "$work/kind$i-label.png"
    kinds+=("$work/kind$i-label.png")
done
convert \( "${kinds[0]}" "${kinds[1]}" +append \) \( "${kinds[2]}" "${kinds[3]}" +append \) \
    -background white -append "$work/kinds.png"
finish "$work/kinds.png" "$out/mirror-kinds.png"

ls -l "$out"
total=$(du -cb "$out"/*.png | tail -1 | cut -f1)
echo "make_manual_images: $(ls "$out"/*.png | wc -l) pictures, $total bytes in $out"
for f in "$out"/*.png; do
    size=$(stat -c %s "$f")
    ((size <= 153600)) || echo "make_manual_images: $f is $size bytes, over 150 KB" >&2
done
