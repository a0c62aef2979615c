#!/usr/bin/env bash
# Builds everything and runs every test: native, the engine as a Pentium III runs it (qemu-i386),
# native under ASan and UBSan, the fuzz targets for a bounded time, then the Windows build under
# Wine and Xvfb. Exits non-zero if anything failed.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh

status=0
ctest --preset native -j2 || status=1
# The engine on a CPU without SSE2: the i686 baseline on 32-bit Linux under qemu-i386.
scripts/test-pentium3.sh || status=1

cmake --preset native-asan >/dev/null
cmake --build --preset native-asan
ctest --preset native-asan -j2 || status=1

scripts/fuzz.sh "${KCF_FUZZ_SECONDS:-20}" || status=1

export WINE_RUN=$PWD/build/win32/wine-run
# shellcheck source=wine-session.sh
source scripts/wine-session.sh
kcfStartSession
ctest --preset win32 -j2 || status=1

[ $status -eq 0 ] && echo "test.sh: every test passed" || echo "test.sh: FAILURES above"
exit $status
