#!/usr/bin/env bash
# Runs the engine benchmark natively and under Wine (the 32-bit Windows build) and keeps both
# outputs in build/bench/. Not part of the test command. Arguments go to kcf_bench (e.g. --quick).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh >/dev/null

out=build/bench
mkdir -p "$out"
{
  echo "date: $(date -u '+%Y-%m-%d %H:%M UTC')"
  echo "machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //'), $(nproc) cores," \
       "$(awk '/MemTotal/ {printf "%.0f GB", $2 / 1048576}' /proc/meminfo)," \
       "$(uname -sr), $(grep -q hypervisor /proc/cpuinfo && echo 'virtual machine' || echo 'bare metal')"
  echo "load average before the run: $(cut -d' ' -f1-3 /proc/loadavg)"
} | tee "$out/machine.txt"

echo; echo "## native"
build/native/bin/kcf_bench "$@" | tee "$out/native.md"

export WINE_RUN=$PWD/build/win32/wine-run
# shellcheck source=wine-session.sh
source scripts/wine-session.sh
kcfStartSession
echo; echo "## 32-bit Windows build under Wine"
(cd build/win32/bin && "$WINE_RUN" ./kcf_bench.exe "$@") | tr -d '\r' | tee "$out/win32.md"
echo; echo "load average after the run: $(cut -d' ' -f1-3 /proc/loadavg)" | tee -a "$out/machine.txt"
