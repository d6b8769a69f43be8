#!/bin/bash
# The whole test suite: native (simulated Windows) and win64 (under wine64) test runs, the
# win32 deliverable built with warnings as errors, the native suite again under ASan+UBSan and
# under TSan, and a short run of every fuzz target. Installs what it needs first.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/bootstrap.sh

jobs=${KV_JOBS:-2}
status=0
# Every CTest run's closing line is kept here for the summary at the end.
summary=$(mktemp)
trap 'rm -f "$summary"' EXIT
run_ctest() {
  local out rc
  out=$(mktemp)
  ctest "$@" 2>&1 | tee "$out"
  rc=${PIPESTATUS[0]}
  grep -E 'tests passed, [0-9]+ tests failed out of' "$out" >> "$summary" || true
  rm -f "$out"
  return "$rc"
}

step() { echo; echo "=== $*"; }

step "native: configure, build, test"
cmake --preset native >/dev/null
cmake --build --preset native -j "$jobs"
run_ctest --preset native || status=1

step "win64: configure, build, test under wine64"
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j "$jobs"
run_ctest --preset win64 || status=1

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
  run_ctest --preset asan || status=1
  echo "asan: $((SECONDS - started)) s"

  step "tsan: the native suite under ThreadSanitizer"
  started=$SECONDS
  cmake --preset tsan >/dev/null
  cmake --build --preset tsan -j "$jobs"
  run_ctest --preset tsan || status=1
  echo "tsan: $((SECONDS - started)) s"
fi

fuzz_seconds=${KV_FUZZ_SECONDS:-10}
if [ "$fuzz_seconds" != 0 ]; then
  step "fuzz: every target for ${fuzz_seconds} s on its seed corpus"
  started=$SECONDS
  scripts/fuzz.sh "$fuzz_seconds" || status=1
  echo "fuzz: $((SECONDS - started)) s"
fi

# One closing line over every CTest run: "N passed, N failed".
total=0 failed=0
while read -r line; do
  n=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
  f=$(sed -E 's/.*passed, ([0-9]+) tests failed.*/\1/' <<<"$line")
  total=$((total + n)); failed=$((failed + f))
done < "$summary"
if [ "$status" -ne 0 ]; then
  echo "test.sh: some steps failed"
  [ "$failed" -gt 0 ] || failed=1
fi
echo
echo "tests: $((total - failed)) passed, $failed failed"
exit "$status"
