#!/usr/bin/env bash
# Regenerates the README's gallery from real renders: a picture of our own (gradients, edges, fine
# detail, text-like strokes) through vphost with every starter preset, and an emboss masked to one
# material effects id beside its id picture. Writes docs/gallery/*.png.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset native >/dev/null
cmake --build --preset native --target vphost kcftool ZAV_KCF >/dev/null

bin=build/native/bin
library=filters/KCF/presets/ZAV_KCF.SET
work=out/gallery
docs=docs/gallery
rm -rf "$work"
mkdir -p "$work/renders" "$docs"
font=$(fc-match -f '%{file}' 'DejaVu Sans:bold' 2>/dev/null || true)
[ -f "$font" ] || font=$(fc-list : file | head -n 1 | cut -d: -f1)

# The picture: two crossing gradients, a shaded disc with a hard edge, a checkerboard and stripes
# of rising frequency, and lettering. The id picture marks the disc with material effects id 1.
W=480 H=320
convert -size ${W}x${H} gradient:'#2850c8'-'#c8a028' \
  \( -size ${W}x${H} gradient:'#00000000'-'#30c060' -rotate 90 -resize ${W}x${H}! \) -composite \
  -fill radial-gradient:'#fff0a0'-'#a06010' -draw "circle 120,150 120,70" \
  \( -size 150x110 pattern:checkerboard -scale 150x110 \) -geometry +300+24 -composite \
  -fill '#101838' -draw "rectangle 260,190 470,300" \
  -font "$font" -pointsize 56 -fill white -draw "text 272,268 'Kcf 6'" \
  -stroke '#ff3030' -strokewidth 2 -draw "line 10,310 250,230" -stroke none \
  -define png:bit-depth=8 -type TrueColor "PNG24:$work/picture.png"
for i in $(seq 0 11); do
  x=$((20 + i * 18)); w=$((1 + i / 3))
  convert "$work/picture.png" -fill "#f0f0f0" -draw "rectangle $x,250 $((x + w)),300" "PNG24:$work/picture.png"
done
convert -size ${W}x${H} xc:black -fill 'gray(1)' -draw "circle 120,150 120,70" -depth 8 -type Grayscale \
  "PNG8:$work/ids.png"
convert "$work/ids.png" -depth 8 -type Grayscale -define png:color-type=0 "$work/ids.png"

render() {  # render NAME BLOCK [extra vphost options]
  local name=$1 block=$2; shift 2
  "$bin/vphost" render --filter "$bin/ZAV_KCF.so" --plugcfg "$work" --config "$block" \
    --in "$work/picture.png" --out "$work/renders/$name.png" "$@"
}

# Every starter preset, in the order the library keeps them.
mapfile -t names < <(awk 'BEGIN{n=0} NR==1||expect==NR{print; getline size; expect=NR+size+2}' "$library" | tr -d '\r')
tiles=()
for name in "${names[@]}"; do
  file=$(printf '%s' "$name" | tr ' ' '-')
  "$bin/kcftool" block --out "$work/$file.blk" --preset "$name" --library "$library" >/dev/null
  render "$file" "$work/$file.blk"
  tiles+=(-label "$name" "$work/renders/$file.png")
done
montage -font "$font" -pointsize 13 -label "original" "$work/picture.png" "${tiles[@]}" \
  -tile 4x -geometry 240x160+6+6 -background "#f4f4f4" -depth 8 -strip "$docs/presets.png"

# The masked case: emboss only where the material effects id is 1 (the disc).
"$bin/kcftool" block --out "$work/emboss-disc.blk" --preset Emboss --library "$library" --source mtl --mtl-id 1 >/dev/null
render emboss-disc "$work/emboss-disc.blk" --mtl-ids "$work/ids.png"
convert "$work/ids.png" -level 0,1 "$work/ids-shown.png"
montage -font "$font" -pointsize 13 -label "original" "$work/picture.png" \
  -label "material effects id 1 (white)" "$work/ids-shown.png" \
  -label "Emboss on id 1 only" "$work/renders/emboss-disc.png" \
  -tile 3x -geometry 240x160+6+6 -background "#f4f4f4" -depth 8 -strip "$docs/masked.png"
echo "wrote $docs/presets.png and $docs/masked.png"
