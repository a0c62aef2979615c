#!/usr/bin/env bash
# Runs every fuzz target of the fuzz build for SECONDS each (default 25), two at a time, each from
# its seed corpus in the repository into a work corpus in the build tree. Usage: scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-25}
build=build/fuzz
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

run() {
  local name=$1 corpus=$2 work=$build/corpus/$1
  mkdir -p "$work"
  if "$build/bin/$name" "$work" "$corpus" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
       -print_final_stats=0 -artifact_prefix="$build/crash-$name-" >"$build/$name.log" 2>&1; then
    echo "fuzz: $name ran ${seconds}s: $(sed -n 's/^Done \([0-9]*\) runs.*/\1/p' "$build/$name.log" | tail -1) runs, no finding"
  else
    echo "fuzz: $name FOUND A FAULT; see $build/$name.log"
    tail -40 "$build/$name.log"
    return 1
  fi
}

status=0
pids=()
while read -r name corpus; do
  [ -n "$name" ] || continue
  run "$name" "$corpus" & pids+=($!)
  if [ ${#pids[@]} -ge 2 ]; then wait "${pids[0]}" || status=1; pids=("${pids[@]:1}"); fi
done < "$build/fuzzers.list"
for pid in "${pids[@]}"; do wait "$pid" || status=1; done
exit $status
