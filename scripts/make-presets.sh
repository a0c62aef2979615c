#!/usr/bin/env bash
# Regenerates the starter preset library filters/KCF/presets/ZAV_KCF.SET from the table in
# filters/KCF/presets/StarterPresets.cpp, written by the filter's own AppendPreset (native build).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset native >/dev/null
cmake --build --preset native --target make-starter-presets
out=filters/KCF/presets/ZAV_KCF.SET
rm -f "$out.new"
build/native/bin/make-starter-presets "$out.new"
mv "$out.new" "$out"
echo "wrote $out"
