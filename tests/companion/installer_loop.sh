#!/bin/bash
# The companion's whole loop on a real installation under wine64, in a fresh throwaway prefix:
# an installer built now (an MSI with wixl, or an NSIS installer with makensis) installs the
# sample product silently; snapshot before and after; diff with a draft profile; verify that the
# draft checks clean and that its plan is what the installation added; Kelvane removes the
# product (the real window, driven as in the GUI tests); the prefix restarts; a last snapshot;
# verify that nothing planned is left and nothing else is gone, with the residue listed.
# usage: installer_loop.sh msi|nsis KELVANE.EXE DRIVER.EXE KVPROFILE.EXE SERVICE.EXE OUT-DIR
set -u
kind=$1 kelvane=$2 driver=$3 kvprofile=$4 service=$5 out=$6
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
rm -rf "$out"
mkdir -p "$out/build"

export KV_GUI_PREFIX=$out/prefix
source "$root/tests/gui/gui_lib.sh"
gui_env kvloop
gui_display

fail() { echo "FAIL [$kind]: $*"; exit 1; }
kv() { "$run" 'C:\kvloop\kvprofile.exe' "$@"; }

# The installer, from the project's service program and a text file.
cp "$service" "$out/build/service.exe"
echo "Example $kind suite" > "$out/build/readme.txt"
case "$kind" in
msi)
  (cd "$out/build" && wixl -a x64 -D ServiceExe=service.exe -D Readme=readme.txt -o sample.msi \
     "$here/installers/sample.wxs") || fail "wixl could not build the MSI"
  installer=sample.msi install=(msiexec /i 'C:\kvloop\sample.msi' /qn) svc=ExampleMsiSvc ;;
nsis)
  makensis -V2 -DSERVICE_EXE="$out/build/service.exe" -DREADME="$out/build/readme.txt" \
    -DOUTFILE="$out/build/sample.exe" "$here/installers/sample.nsi" || fail "makensis failed"
  installer=sample.exe install=('C:\kvloop\sample.exe' /S) svc=ExampleNsisSvc ;;
*) fail "unknown installer kind" ;;
esac

"$run" cmd /c exit >/dev/null 2>&1
drive_c=$WINEPREFIX/drive_c
mkdir -p "$drive_c/kvloop/app" "$drive_c/kvtest"
cp "$kvprofile" "$drive_c/kvloop/kvprofile.exe"
cp "$out/build/$installer" "$drive_c/kvloop/"
cp "$kelvane" "$drive_c/kvloop/app/Kelvane.exe"
cp "$driver" "$drive_c/kvtest/driver.exe"
result=$drive_c/kvloop/app/driver.txt
result_win='C:\kvloop\app\driver.txt'

kv snapshot 'C:\kvloop\before.txt' 2>/dev/null || fail "first snapshot"
"$run" "${install[@]}" || fail "the installer failed"
"$run" sc start "$svc" >/dev/null 2>&1
kv snapshot 'C:\kvloop\after.txt' 2>/dev/null || fail "second snapshot"
kv diff 'C:\kvloop\before.txt' 'C:\kvloop\after.txt' --profile 'C:\kvloop\app\Kelvane.cfg' \
  > "$out/diff.txt" || fail "diff"
cp "$drive_c/kvloop/app/Kelvane.cfg" "$out/draft.cfg"
grep -q "^remove=SERVICE_NAME,BY_VALUE,$svc" "$out/draft.cfg" || fail "no service entry in the draft"
kv check 'C:\kvloop\app\Kelvane.cfg' --json > "$out/check.json" || fail "the draft does not check clean"
kv verify 'C:\kvloop\app\Kelvane.cfg' 'C:\kvloop\before.txt' 'C:\kvloop\after.txt' \
  --save-plan 'C:\kvloop\plan.txt' > "$out/verify-plan.txt" ||
  { cat "$out/verify-plan.txt"; fail "the plan is not the diff"; }

# Kelvane removes the product: Start, Yes, then ESC at Restart; the prefix restarts.
"$run" $desktop 'C:\kvloop\app\Kelvane.exe' >/dev/null 2>&1 &
sleep 3
step wait-button Start 60000 || fail "the dialog did not come up ready"
step click || fail click
step answer yes 30000 || fail "no confirmation box"
step wait-button Restart 120000 || fail "did not reach Restart"
step escape; step wait-gone 20000 || fail "ESC did not close the dialog"
# The restart: wineboot -r carries out the deletions registered for it; the prefix's processes
# then end, so that the service manager starts afresh from the registry, as at a real start.
"$run" wineboot -r >/dev/null 2>&1
"$server" -k >/dev/null 2>&1

# The first start after the restart boots the prefix again; under load that start can fail
# once. A snapshot changes nothing, so it is simply taken again.
kv snapshot 'C:\kvloop\final.txt' 2>/dev/null || kv snapshot 'C:\kvloop\final.txt' 2>/dev/null ||
  fail "last snapshot"
kv verify --plan 'C:\kvloop\plan.txt' 'C:\kvloop\before.txt' 'C:\kvloop\after.txt' \
  'C:\kvloop\final.txt' > "$out/verify.txt"
status=$?
cat "$out/verify.txt"
[ "$status" = 0 ] || fail "the machine after the removal is not the machine before"
echo "PASS [$kind]: $(grep -c '^remove=' "$out/draft.cfg") entries, $(sed -n 's/^residue: //p' "$out/verify.txt") residue items"
