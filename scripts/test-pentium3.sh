#!/usr/bin/env bash
# Runs the engine tests, built for the Windows build's i686 baseline on 32-bit Linux, under
# qemu-i386 as a CPU without SSE2, to show that the dispatcher then takes the reference path and
# that the baseline code runs without one vector instruction. Exits non-zero if either run fails.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/linux32
cmake --preset linux32 >/dev/null
cmake --build --preset linux32

# The one test left out is pure x87 arithmetic over 2^23 divisors: a minute under emulation, and
# it runs at full speed in the native and Windows builds.
filter=--gtest_filter=-ConvolvePlanDivide.FloatReciprocalIsExactUpToItsLimit

# Two CPU models, because qemu 7.2 (Debian 12) runs SSE2 instructions on its pentium3 model
# without complaint; it refuses SSE2, and SSE with it, only when SSE is taken away.
#   pentium3       what a Pentium III's CPUID says (MMX and SSE, no SSE2): the dispatcher must
#                  offer the reference path alone and take it.
#   pentium3,-sse  every SSE and SSE2 instruction raises SIGILL: the i686 baseline has neither,
#                  so any one of them executed outside the dispatched files stops the run.
status=0
for cpu in pentium3 pentium3,-sse; do
  log=$build/pentium3-${cpu//[^a-z0-9]/_}.log
  what="the dispatcher took the reference path"
  [ "$cpu" = pentium3 ] || what="no SSE or SSE2 instruction was executed"
  if (cd $build/bin && qemu-i386 -cpu "$cpu" ./kcf_engine_tests "$filter") >"$log" 2>&1; then
    passed=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\?\.$/\1/p' "$log")
    skipped=$(sed -n 's/^\[  SKIPPED \] \([0-9]*\) tests\?, listed below:$/\1/p' "$log")
    echo "test-pentium3: qemu-i386 -cpu $cpu: engine tests passed (${passed:-0} passed, ${skipped:-0} skipped); $what"
  else
    rc=$?
    echo "test-pentium3: qemu-i386 -cpu $cpu: engine tests FAILED (exit $rc$([ $rc -eq 132 ] && echo ', SIGILL: an instruction this CPU lacks')); see $log"
    # The first failures, or where the run died.
    grep -E -A3 ': Failure$' "$log" | head -16 || true
    [ $rc -eq 132 ] && grep -E '^\[ RUN +\]' "$log" | tail -1
    status=1
  fi
done
exit $status
