#!/bin/bash
# Builds the libFuzzer targets (fuzz preset, clang) and runs each for a while on a scratch copy
# of its seed corpus. Usage: scripts/fuzz.sh [seconds] [target...]   (default: 60 s, all targets)
# Environment: KV_FUZZ_BUILD (build folder, default build/fuzz), KV_JOBS (default 2).
# A target that finds a fault stops the script with a non-zero status; the input that caused it
# is left in the build folder's fuzz-artifacts/ and its path printed.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(fuzz_config fuzz_helpers fuzz_trace_settings)
fi
build=${KV_FUZZ_BUILD:-build/fuzz}
jobs=${KV_JOBS:-2}

cmake --preset fuzz -B "$build" >/dev/null
cmake --build "$build" -j "$jobs" --target "${targets[@]}"

artifacts="$build/fuzz-artifacts"
mkdir -p "$artifacts"
status=0
for target in "${targets[@]}"; do
  seeds="fuzz/corpus/$target"
  if [ ! -d "$seeds" ]; then
    echo "fuzz.sh: no seed corpus $seeds" >&2
    exit 2
  fi
  # The seeds stay as they are in the tree; what the run learns goes to the scratch copy.
  work="$build/fuzz-corpus/$target"
  rm -rf "$work"
  mkdir -p "$work"
  cp "$seeds"/* "$work"/
  dict=()
  if [ -f "fuzz/$target.dict" ]; then
    dict=(-dict="fuzz/$target.dict")
  fi
  echo "=== $target: ${seconds} s"
  log="$build/fuzz-$target.log"
  if "$build/fuzz/$target" "${dict[@]}" -max_total_time="$seconds" -print_final_stats=1 \
       -artifact_prefix="$artifacts/$target-" "$work" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    rss=$(sed -n 's/^stat::peak_rss_mb: *//p' "$log")
    echo "$target: ${runs:-?} executions in ${seconds} s, peak RSS ${rss:-?} MB, corpus $(ls "$work" | wc -l) inputs"
  else
    status=1
    echo "$target: FAILED; the report:" >&2
    grep -E "ERROR|SUMMARY|violated|Test unit written" "$log" >&2 || tail -30 "$log" >&2
  fi
done
exit "$status"
