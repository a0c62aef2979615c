#!/usr/bin/env bash
# Times one 3840x2160 frame through the native vphost written as 16-bit PNG (the default level) and
# as PAM, interleaved round by round, and prints the medians and the file sizes (docs/performance.md).
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-5}
cmake --preset native >/dev/null
cmake --build --preset native --target vphost ZAV_KCF >/dev/null
bin=$PWD/build/native/bin
work=build/bench/png
mkdir -p "$work"
cd "$work"
# The sample picture at 4K with grain in the three low bits of every sample: a flat picture
# compresses to nothing and says little.
if [ ! -f in4k.ppm ]; then
  convert ../../../filters/KCF/res/sample.png -resize '3840x2160!' -depth 8 ppm:scaled.ppm
  python3 - <<'PY'
import random
head, w_h, maxval, pixels = open('scaled.ppm', 'rb').read().split(b'\n', 3)
rnd = random.Random(7)
grain = rnd.randbytes(len(pixels))
out = bytes((p & ~7) | (g & 7) for p, g in zip(pixels, grain))
open('in4k.ppm', 'wb').write(b'P6\n' + w_h + b'\n255\n' + out)
PY
  rm scaled.ppm
fi
declare -A times
for round in $(seq "$rounds"); do
  for ext in png pam; do
    start=$(date +%s%N)
    "$bin/vphost" render --filter "$bin/ZAV_KCF.so" --in in4k.ppm --out "out.$ext" \
      --kernel "1 2 1; 2 4 2; 1 2 1" --divisor 16 >/dev/null
    times[$ext]+="$(( ($(date +%s%N) - start) / 1000000 )) "
  done
done
median() { tr ' ' '\n' <<<"$1" | grep . | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
png=$(median "${times[png]}"); pam=$(median "${times[pam]}")
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "PNG: $png ms median of $rounds ($(stat -c %s out.png) bytes)"
echo "PAM: $pam ms median of $rounds ($(stat -c %s out.pam) bytes)"
echo "PNG against PAM: $(awk -v a="$png" -v b="$pam" 'BEGIN {printf "%.2fx", a / b}')"
