#!/bin/bash
# The whole test suite: native (simulated Windows) and win64 (under wine64) test runs, and the
# win32 deliverable built with warnings as errors. Installs what it needs first.
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

if [ "$status" -ne 0 ]; then
  echo "test.sh: some tests failed"
fi
exit "$status"
