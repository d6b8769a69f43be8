#!/bin/bash
# The main job: builds Kelvane, installs the sample product "Example Suite" in a fresh Wine prefix
# from a real MSI (built now with wixl from examples/ExampleSuite.wxs and installed silently with
# msiexec), runs Kelvane on it with examples/Kelvane.cfg, restarts the prefix and has the companion
# (kvprofile) prove the removal from snapshots taken before the installation, after it, right
# after the run and after the restart, and from the run's log.
#
# With a display (DISPLAY set, KV_HEADLESS unset) the window opens on it and you press the buttons;
# otherwise it runs on a private Xvfb display, where the GUI driver presses Start, answers Yes and
# leaves with ESC at Restart, and screenshots go to build/main-job/screenshots/. The exit status is
# the companion's verdict: 0 only when the profile's plan is what the installation added (except
# what it spares or leaves on purpose), nothing planned is left after the restart, nothing else is
# gone, every spared item is still there, the service was stopped by the run and the log holds
# every step with the plan's counts; and, under the driver, the dialog went through its stages.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=${KV_JOBS:-2}

scripts/bootstrap.sh

# --- Build: the deliverable (PE32) and its win64 twin, which is what runs here (this kernel runs
# no 32-bit Windows programs), the companion, the GUI driver and the tiny service program that
# the sample product installs as its service.
echo "=== building win32: Kelvane (the deliverable)"
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j "$jobs" --target Kelvane
echo "=== building win64: Kelvane, kvprofile, kv_gui_driver, kv_contract_service"
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j "$jobs" --target Kelvane kvprofile kv_gui_driver kv_contract_service
kelvane=$root/build/win64/app/Kelvane.exe
kvprofile=$root/build/win64/companion/kvprofile.exe
driver=$root/build/win64/tests/gui/kv_gui_driver.exe
service_exe=$root/build/win64/tests/contract/kv_contract_service.exe
profile=$root/examples/Kelvane.cfg
package=$root/examples/ExampleSuite.wxs
for f in "$root/build/win32/app/Kelvane.exe" "$kelvane" "$kvprofile" "$driver" "$service_exe" \
         "$profile" "$package"; do
  [ -f "$f" ] || { echo "run.sh: missing $f" >&2; exit 1; }
done
set +e

# --- A fresh prefix (its user folders link to a throwaway HOME), on the GUI tests' steps.
job=$root/build/main-job
shots=$job/screenshots
out=$job
# With HOME moved, X clients would look for their key in the wrong place.
if [ -z "${XAUTHORITY:-}" ] && [ -f "${HOME:-/nonexistent}/.Xauthority" ]; then
  export XAUTHORITY=$HOME/.Xauthority
fi
export KV_GUI_PREFIX=$job/prefix
source "$root/tests/gui/gui_lib.sh"
gui_env kelvane
# Wine's menu builder would mirror the product's shortcuts into HOME and the registry.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
rm -rf "$job"
mkdir -p "$shots" "$HOME" "$job/msi"
xvfb=
trap gui_cleanup EXIT

echo "=== creating the Wine prefix $WINEPREFIX"
"$run" cmd /c exit >/dev/null 2>&1
drive_c=$WINEPREFIX/drive_c
[ -d "$drive_c/windows/system32" ] || { echo "run.sh: the prefix was not created" >&2; exit 1; }
mkdir -p "$drive_c/kvjob" "$drive_c/kvtest"
cp "$kvprofile" "$drive_c/kvjob/kvprofile.exe"
cp "$driver" "$drive_c/kvtest/driver.exe"

win() { "$run" "$@" 2>/dev/null | tr -d '\r'; }
kv() { "$run" 'C:\kvjob\kvprofile.exe' "$@"; }
# C:\a\b -> the file's path on this side.
unix_path() { local p=${1#[Cc]:\\}; echo "$drive_c/${p//\\//}"; }
put() { local f; f=$(unix_path "$1"); mkdir -p "$(dirname "$f")"; printf '%s\r\n' "${2:-$1}" > "$f"; }

user_dir=$(win cmd /c echo %USERPROFILE% | sed 's/ *$//')
user=${user_dir##*\\}
case "$user_dir" in 'C:\users\'?*) ;; *) echo "run.sh: unexpected %USERPROFILE% '$user_dir'" >&2; exit 1;; esac
roaming() { echo "C:\\users\\$1\\AppData\\Roaming"; }
# Two more accounts beside the current one.
others=(alice bob)
[[ " ${others[*]} " == *" $user "* ]] && others=(anna ben)

# --- The machine before the product: other accounts and what other programs own, which the
# profile must leave alone (the first snapshot records them; the proof fails if one is gone).
echo "=== preparing the machine: other accounts and other products"
for u in "${others[@]}"; do mkdir -p "$(unix_path "$(roaming "$u")")"; done
# The vendor's other product, in the folder where the profile looks for ExampleSuite.ini.
for u in "$user" "${others[1]}"; do put "$(roaming "$u")\\Example Vendor\\Other Product\\other.ini"; done
# A shared folder with ExampleSuite.ver but no .dll: the profile's data match must not take it.
put 'C:\Program Files\Common Files\Example Tools\ExampleSuite.ver'
cat > "$drive_c/kvjob/others.reg" <<'REG'
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\SOFTWARE\Example Vendor\Other Product]
"Version"="1.0"

[HKEY_CURRENT_USER\Software\Other Vendor]
"Setting"="untouched"

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\OtherApp]
"DisplayName"="Other App 1.0"
"Publisher"="Other Vendor"

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Run]
"ExampleOther"="C:\\Program Files\\Example Other\\other.exe"

[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run]
"OtherTool"="C:\\Tools\\other.exe"
REG
win reg import 'C:\kvjob\others.reg' >/dev/null

echo "=== snapshot before the installation"
kv snapshot 'C:\kvjob\before.txt' 2>/dev/null || { echo "run.sh: the first snapshot failed" >&2; exit 1; }

# --- The installation: the MSI, then what Windows Installer cannot write.
echo "=== installing Example Suite from an MSI (wixl, msiexec /qn)"
cp "$service_exe" "$job/msi/service.exe"
printf 'Example Suite sample file\r\n' > "$job/msi/file.txt"
(cd "$job/msi" && wixl -a x64 -D ServiceExe=service.exe -D FileSource=file.txt \
   -o ExampleSuite.msi "$package") || { echo "run.sh: wixl could not build the MSI" >&2; exit 1; }
cp "$job/msi/ExampleSuite.msi" "$drive_c/kvjob/"
"$run" msiexec /i 'C:\kvjob\ExampleSuite.msi' /qn 'COMMONDESKTOP=C:\users\Public\Desktop\' \
  'COMMONPROGRAMS=C:\ProgramData\Microsoft\Windows\Start Menu\Programs\' >/dev/null 2>&1 ||
  { echo "run.sh: msiexec could not install the MSI" >&2; exit 1; }
# The other accounts' copies of the per-user data: an installation writes only the installing
# account's profile folder.
for u in "${others[@]}"; do
  put "$(roaming "$u")\\Example Suite\\settings.xml"
  put "$(roaming "$u")\\Example Suite\\quarantine\\item1.bin"
done
put "$(roaming "${others[1]}")\\Example Vendor\\Example Suite\\ExampleSuite.ini"
put "$(roaming "${others[1]}")\\Example Vendor\\Example Suite\\license.dat"
# Read-only and hidden files: wixl carries no file attributes, so they are set here (Wine's
# attrib takes one attribute per call).
pf='C:\Program Files\Example Suite'
{
  for f in 'ExampleSuite.exe' 'readme.txt' 'license.txt' 'bin\engine.dll' 'data\cache\index.tmp'; do
    echo "attrib +r \"$pf\\$f\""
  done
  echo 'attrib +r "C:\windows\system32\ExampleSuiteNet.dll"'
  for f in 'license.txt' 'data\signatures.db' 'data\cache\index.tmp'; do
    echo "attrib +h \"$pf\\$f\""
  done
  echo "attrib +h \"$(roaming "$user")\\Example Suite\\quarantine\\item1.bin\""
  echo "attrib +h \"$(roaming "$user")\\Example Vendor\\Example Suite\\license.dat\""
} > "$drive_c/kvjob/attributes.bat"
win cmd /c 'C:\kvjob\attributes.bat' >/dev/null
# The service runs, as an installed product's would; it ends by itself only after 600 s.
win sc start ExampleSuiteSvc >/dev/null

echo "=== snapshot after the installation"
kv snapshot 'C:\kvjob\after.txt' 2>/dev/null || { echo "run.sh: the second snapshot failed" >&2; exit 1; }
kv diff 'C:\kvjob\before.txt' 'C:\kvjob\after.txt' > "$job/installation.txt"
# The sample is complete only with its attributes and its running service.
read_only=0 hidden=0
while IFS=$'\t' read -r _ _ _ attributes _; do
  (( 0x$attributes & 1 )) && read_only=$((read_only + 1))
  (( 0x$attributes & 2 )) && hidden=$((hidden + 1))
done < <(tr -d '\r' < "$drive_c/kvjob/after.txt" | grep -iE $'^F\t.*(example suite|examplesuite)')
service_state=$(tr -d '\r' < "$drive_c/kvjob/after.txt" | grep -i $'^S\tExampleSuiteSvc\t' | cut -f4)
echo "installed: $(head -1 "$job/installation.txt" | tr -d '\r'); $read_only read-only and $hidden hidden files;" \
     "service ExampleSuiteSvc state ${service_state:-none}"
if [ "$read_only" != 6 ] || [ "$hidden" != 5 ] || [ "$service_state" != 4 ]; then
  echo "run.sh: the sample installation is incomplete" >&2; exit 1
fi

# --- The plan: the companion reads the profile with the engine's own code and proves that its
# plan is what the installation added. Left on purpose: the Windows Installer's own registration
# of the product, which the sample profile does not name, and Wine's own settings (Wine writes
# there when a program starts).
leave=(--leave 'HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Installer' --leave 'HKEY_CLASSES_ROOT\Installer'
       --leave 'HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Installer'
       --leave 'HKEY_CURRENT_USER\Software\Wine')
appdir_win='C:\Kelvane'
appdir=$(unix_path "$appdir_win")
mkdir -p "$appdir"
cp "$kelvane" "$appdir/Kelvane.exe"
cp "$profile" "$appdir/Kelvane.cfg"
echo "=== kvprofile check and verify of the sample profile"
kv check "$appdir_win\\Kelvane.cfg" > "$job/check.txt"
check_status=$?
kv verify "$appdir_win\\Kelvane.cfg" 'C:\kvjob\before.txt' 'C:\kvjob\after.txt' \
  --save-plan 'C:\kvjob\plan.txt' "${leave[@]}" > "$job/verify-plan.txt"
plan_status=$?
echo "kvprofile check: exit $check_status ($(grep '^Totals:' "$job/check.txt" | tr -d '\r'));" \
     "verify of the plan: exit $plan_status"
if [ "$plan_status" != 0 ] || [ ! -f "$drive_c/kvjob/plan.txt" ]; then
  tr -d '\r' < "$job/verify-plan.txt"
  echo "run.sh: the profile's plan is not what the installation added; Kelvane is not run" >&2
  exit 1
fi

# --- The run.
headless=1
[ -n "${DISPLAY:-}" ] && [ -z "${KV_HEADLESS:-}" ] && headless=0
result_win='C:\kvtest\driver.txt'
result=$drive_c/kvtest/driver.txt
fail_run=()
if [ "$headless" = 1 ]; then
  echo "=== running Kelvane under Xvfb (the driver presses Start, answers Yes, leaves with ESC)"
  gui_display
  "$run" $desktop "$appdir_win\\Kelvane.exe" >/dev/null 2>&1 &
  sleep 3
  if step wait-button Start 60000; then
    step read; shot ready || fail_run+=("screenshot ready")
    [ "$(reading message)" = 'You are about to remove existing installation from your system. \nClick START to begin, or press ESC to cancel.' ] \
      || fail_run+=("the ready message")
    step click || fail_run+=("pressing Start")
    for _ in $(seq 1 300); do grep -q 'PopulateRemoveFileList' "$appdir/Kelvane.log" 2>/dev/null && break; sleep 0.2; done
    sleep 1.5; shot confirmation || fail_run+=("screenshot confirmation")
    step answer yes 30000 || fail_run+=("the confirmation box")
    if step wait-button Restart 120000; then
      step read; shot restart || fail_run+=("screenshot restart")
      status=$(reading status)
      for stage in 'Creating uninstallation profile...' 'Stopping services...' \
                   'Restoring system defaults...' 'Cleaning up files...' 'Cleaning up registry...'; do
        case "$status" in *" -- $stage "*) ;; *) fail_run+=("status line '$stage'");; esac
      done
    else
      shot restart; fail_run+=("the Restart state")
    fi
    step escape; step wait-gone 20000 || fail_run+=("ESC closing the dialog")
  else
    shot ready; fail_run+=("the dialog coming up ready")
  fi
else
  echo "=== running Kelvane on $DISPLAY"
  echo "    Press Start and answer Yes. At the end press Restart (under Wine it restarts only this"
  echo "    prefix) or ESC (this script then restarts the prefix itself)."
  "$run" "$appdir_win\\Kelvane.exe" >/dev/null 2>&1
fi
sleep 2

# --- Right after the run (the registry is clean, the files wait for the restart), then the
# restart: wineboot -r carries out the deletions registered for it; the prefix's processes then
# end, so that the service manager starts afresh from the registry, as at a real start.
echo "=== snapshot after the run; restarting the prefix; snapshot after the restart"
kv snapshot 'C:\kvjob\ran.txt' 2>/dev/null || fail_run+=("the snapshot after the run")
win wineboot -r >/dev/null
"$server" -k >/dev/null 2>&1
[ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null
xvfb=
kv snapshot 'C:\kvjob\final.txt' 2>/dev/null || fail_run+=("the snapshot after the restart")

# --- The proof and the report (also kept in build/main-job/report.txt).
kv verify --plan 'C:\kvjob\plan.txt' 'C:\kvjob\before.txt' 'C:\kvjob\after.txt' \
  'C:\kvjob\final.txt' --ran 'C:\kvjob\ran.txt' --log "$appdir_win\\Kelvane.log" "${leave[@]}" \
  > "$job/verify.txt"
verify_status=$?
{
  echo "=== Report"
  echo "Program: $appdir_win\\Kelvane.exe (the win64 twin of build/win32/app/Kelvane.exe), profile examples/Kelvane.cfg"
  echo "Product: examples/ExampleSuite.wxs, installed with msiexec /qn; what it added: ${job#"$root"/}/installation.txt"
  if [ "$headless" = 1 ]; then
    echo "Run: under Xvfb, the driver pressed Start and Yes and left with ESC at Restart; screenshots in ${shots#"$root"/}/"
  else
    echo "Run: in a window on $DISPLAY, buttons pressed by you"
  fi
  for f in "${fail_run[@]}"; do echo "  FAIL  $f"; done
  echo
  echo "Log ($appdir_win\\Kelvane.log):"
  tr -d '\r' < "$appdir/Kelvane.log" 2>/dev/null | sed 's/^/  | /'
  echo
  echo "kvprofile verify (before the installation, after it, after the run, after the restart; the log):"
  tr -d '\r' < "$job/verify.txt" | sed 's/^/  /'
  echo
  echo "Not part of this sample:"
  echo "  Winsock: Wine's catalog lists only its base providers and takes no layered entries, so no"
  echo "  layered provider was installed; the step had nothing to take out."
  echo "  Security Center: Wine has no root\\SecurityCenter namespace; that step does nothing here."
} > "$job/report.txt"
cat "$job/report.txt"
echo
if [ "$verify_status" = 0 ] && [ ${#fail_run[@]} -eq 0 ]; then
  echo "Result: passed (kvprofile verify: passed; dialog: as expected)"
  exit 0
fi
echo "Result: FAILED (kvprofile verify exit $verify_status; dialog problems: ${#fail_run[@]})"
exit 1
