#!/bin/bash
# The whole test suite: native (simulated Windows) and win64 (under wine64) test runs, the
# win32 deliverable built with warnings as errors, the native suite again under ASan+UBSan and
# under TSan, and a short run of every fuzz target. Installs what it needs first.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/bootstrap.sh

jobs=${KV_JOBS:-2}
status=0

step() { echo; echo "=== $*"; }

step "native: configure, build, test"
cmake --preset native >/dev/null
cmake --build --preset native -j "$jobs"
ctest --preset native || status=1

step "win64: configure, build, test under wine64"
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j "$jobs"
ctest --preset win64 || status=1

step "win32: the deliverable builds without a warning"
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j "$jobs"

# Sanitizers and fuzzing (native). KV_SANITIZERS=0 skips the two sanitizer runs;
# KV_FUZZ_SECONDS (default 10) is the time per fuzz target, 0 skips the fuzz run.
if [ "${KV_SANITIZERS:-1}" != 0 ]; then
  step "asan: the native suite under AddressSanitizer and UndefinedBehaviorSanitizer"
  started=$SECONDS
  cmake --preset asan >/dev/null
  cmake --build --preset asan -j "$jobs"
  ctest --preset asan || status=1
  echo "asan: $((SECONDS - started)) s"

  step "tsan: the native suite under ThreadSanitizer"
  started=$SECONDS
  cmake --preset tsan >/dev/null
  cmake --build --preset tsan -j "$jobs"
  ctest --preset tsan || status=1
  echo "tsan: $((SECONDS - started)) s"
fi

fuzz_seconds=${KV_FUZZ_SECONDS:-10}
if [ "$fuzz_seconds" != 0 ]; then
  step "fuzz: every target for ${fuzz_seconds} s on its seed corpus"
  started=$SECONDS
  scripts/fuzz.sh "$fuzz_seconds" || status=1
  echo "fuzz: $((SECONDS - started)) s"
fi

if [ "$status" -ne 0 ]; then
  echo "test.sh: some tests failed"
fi
exit "$status"
