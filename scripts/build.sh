#!/usr/bin/env bash
# Installs what is missing, then configures and builds both trees: native and 32-bit Windows.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
for preset in native win32; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done
# The package as a user gets it, also at the top of the tree (ignored by git).
rm -rf dist && cp -r build/win32/dist dist
