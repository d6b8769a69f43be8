#!/bin/bash
# The main job: builds the deliverable (win32), its win64 twin and the native build, and says
# what it built.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/bootstrap.sh
jobs=${KV_JOBS:-2}
for preset in native win64 win32; do
  echo "=== building $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
done
echo
echo "Built:"
find build/win32 build/win64 -maxdepth 2 -name 'Kelvane*.exe' -printf '  %p\n' 2>/dev/null || true
for f in build/win32/app/Kelvane.exe build/win64/app/Kelvane.exe; do
  [ -f "$f" ] && file "$f"
done
echo "  native libraries and tests under build/native"
