#!/usr/bin/env bash
# Builds everything, then runs the filter (native build, through vphost) on the built-in sample
# picture: a sharpening kernel over the whole frame, and an emboss only where the material effects id is 1.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh >/dev/null

bin=build/native/bin
res=filters/KCF/res
out=out/demo
mkdir -p "$out"
cp "$res/sample.png" "$out/before.png"

"$bin/vphost" info --filter "$bin/ZAV_KCF.so" --plugcfg "$out/plugcfg"

# The settings on vphost's command line ...
"$bin/vphost" render --filter "$bin/ZAV_KCF.so" --plugcfg "$out/plugcfg" --kernel "0 -1 0; -1 5 -1; 0 -1 0" \
  --in "$out/before.png" --out "$out/after-sharpen.png"

# ... or in a configuration block, as the host stores them with the queue.
"$bin/kcftool" block --out "$out/emboss-disc.blk" --name "Emboss the disc" --kernel "-2 -1 0; -1 1 1; 0 1 2" \
  --offset 16384 --source mtl --mtl-id 1
"$bin/vphost" render --filter "$bin/ZAV_KCF.so" --plugcfg "$out/plugcfg" --config "$out/emboss-disc.blk" \
  --in "$out/before.png" --mtl-ids "$res/sample-mtl.png" --out "$out/after-emboss-disc.png"

echo
echo "before:                          $out/before.png"
echo "after, sharpened:                $out/after-sharpen.png"
echo "after, disc (mtl id 1) embossed: $out/after-emboss-disc.png"
