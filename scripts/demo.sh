#!/usr/bin/env bash
# Builds everything and runs the main job with the native build.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh >/dev/null
build/native/bin/vphost info --filter build/native/bin/ZAV_KCF.so
