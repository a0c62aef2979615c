#!/usr/bin/env bash
# Builds everything and runs every test: native first, then the Windows build under Wine and Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh

status=0
ctest --preset native -j2 || status=1

export WINE_RUN=$PWD/build/win32/wine-run
# shellcheck source=wine-session.sh
source scripts/wine-session.sh
kcfStartSession
ctest --preset win32 -j2 || status=1
exit $status
