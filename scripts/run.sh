#!/bin/bash
# The main job: builds Kelvane, installs a sample product in a fresh Wine prefix, runs Kelvane on it
# with examples/Kelvane.cfg, restarts the prefix and reports what was removed and what was spared.
#
# With a display (DISPLAY set, KV_HEADLESS unset) the window opens on it and you press the buttons;
# otherwise it runs on a private Xvfb display, where the GUI driver presses Start, answers Yes and
# leaves with ESC at Restart, and screenshots go to build/main-job/screenshots/. The exit status is
# 0 only when every expected removal is gone, every spared item is still there, the service was
# stopped and the log holds the expected lines and counts.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=${KV_JOBS:-2}

scripts/bootstrap.sh

# --- Build: the deliverable (PE32) and its win64 twin, which is what runs here (this kernel runs
# no 32-bit Windows programs), the GUI driver and the tiny service program used as the product's
# service.
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
for f in "$root/build/win32/app/Kelvane.exe" "$kelvane" "$kvprofile" "$driver" "$service_exe" "$profile"; do
  [ -f "$f" ] || { echo "run.sh: missing $f" >&2; exit 1; }
done
# From here on every failure is counted and reported, not fatal.
set +e

# --- A fresh prefix. Its user folders would link to $HOME: they link to a throwaway folder.
job=$root/build/main-job
shots=$job/screenshots
# With HOME moved, X clients would look for their key in the wrong place.
if [ -z "${XAUTHORITY:-}" ] && [ -f "${HOME:-/nonexistent}/.Xauthority" ]; then
  export XAUTHORITY=$HOME/.Xauthority
fi
export KV_WINEPREFIX=$job/prefix KV_WINEHOME=$job/prefix.home
export WINEPREFIX=$KV_WINEPREFIX HOME=$KV_WINEHOME WINEDEBUG=-all
server=/usr/lib/wine/wineserver64
[ -x "$server" ] || server=$(command -v wineserver)
run="$root/scripts/wine-run.sh"
"$server" -k >/dev/null 2>&1 || true
rm -rf "$job"
mkdir -p "$shots" "$KV_WINEHOME"

xvfb= poller=
cleanup() {
  [ -n "$poller" ] && kill "$poller" 2>/dev/null
  "$server" -k >/dev/null 2>&1
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
  return 0
}
trap cleanup EXIT

echo "=== creating the Wine prefix $KV_WINEPREFIX"
"$run" cmd /c exit >/dev/null 2>&1
drive_c=$WINEPREFIX/drive_c
[ -d "$drive_c/windows/system32" ] || { echo "run.sh: the prefix was not created" >&2; exit 1; }

win() { "$run" "$@" 2>/dev/null | tr -d '\r'; }
# C:\a\b -> the file's path on this side.
unix_path() { local p=${1#[Cc]:\\}; echo "$drive_c/${p//\\//}"; }

# What the prefix calls the current user's folders (Wine 8: C:\users\<user>\AppData\Roaming).
appdata=$(win cmd /c echo %APPDATA% | sed 's/ *$//')
user_dir=$(win cmd /c echo %USERPROFILE% | sed 's/ *$//')
user=${user_dir##*\\}
case "$appdata" in 'C:\users\'*'\AppData\Roaming') ;; *) echo "run.sh: unexpected %APPDATA% '$appdata'" >&2; exit 1;; esac
# Two more accounts' profile folders beside the current user's, under the profile root.
others=(alice bob)
[[ " ${others[*]} " == *" $user "* ]] && others=(anna ben)

# --- The sample installation of "Example Suite" by "Example Vendor", as the profile describes it.
echo "=== installing the sample product"
pf='C:\Program Files\Example Suite'
common='C:\Program Files\Common Files'
programs='C:\ProgramData\Microsoft\Windows\Start Menu\Programs'
system='C:\windows\system32'
roaming() { echo "C:\\users\\$1\\AppData\\Roaming"; }
put() { local f; f=$(unix_path "$1"); mkdir -p "$(dirname "$f")"; printf '%s\r\n' "${2:-$1}" > "$f"; }

put "$pf\\ExampleSuite.exe"
put "$pf\\ExampleSuiteTray.exe"
put "$pf\\update.exe"
put "$pf\\agent.exe"
put "$pf\\uninstall.exe"
put "$pf\\readme.txt"
put "$pf\\license.txt"
put "$pf\\bin\\engine.dll"
put "$pf\\bin\\scanner.exe"
put "$pf\\data\\signatures.db"
put "$pf\\data\\cache\\index.tmp"
put "$pf\\Reports\\2024-04.txt"
put "$pf\\Reports\\2024-05.txt"
put "$pf\\Reports\\archive\\2023.txt"
cp "$service_exe" "$(unix_path "$pf\\ExampleSuiteSvc.exe")"
for u in "$user" "${others[@]}"; do
  put "$(roaming "$u")\\Example Suite\\settings.xml"
  put "$(roaming "$u")\\Example Suite\\quarantine\\item1.bin"
done
for u in "$user" "${others[1]}"; do
  put "$(roaming "$u")\\Example Vendor\\Example Suite\\ExampleSuite.ini"
  put "$(roaming "$u")\\Example Vendor\\Example Suite\\license.dat"
done
put "$(roaming "$user")\\Example Vendor\\Other Product\\other.ini"
put 'C:\users\Public\Desktop\Example Suite.lnk'
put "$programs\\Example Suite\\Example Suite.lnk"
put "$programs\\Example Suite\\Uninstall Example Suite.lnk"
put "$system\\ExampleSuiteHook.dll"
put "$system\\ExampleSuiteNet.dll"
put "$common\\Example Shared\\ExampleSuite.ver"
put "$common\\Example Shared\\examplecore.dll"
put "$common\\Example Shared\\readme.txt"
put "$common\\Example Tools\\ExampleSuite.ver"

# Read-only and hidden files (Wine's attrib takes one attribute per call).
mkdir -p "$drive_c/kvjob"
{
  for f in 'ExampleSuite.exe' 'readme.txt' 'license.txt' 'bin\engine.dll' 'data\cache\index.tmp'; do
    echo "attrib +r \"$pf\\$f\""
  done
  echo "attrib +r \"$system\\ExampleSuiteNet.dll\""
  for f in 'license.txt' 'data\signatures.db' 'data\cache\index.tmp'; do
    echo "attrib +h \"$pf\\$f\""
  done
  echo "attrib +h \"$(roaming "$user")\\Example Suite\\quarantine\\item1.bin\""
  echo "attrib +h \"$(roaming "$user")\\Example Vendor\\Example Suite\\license.dat\""
} > "$drive_c/kvjob/attributes.bat"
win cmd /c 'C:\kvjob\attributes.bat' >/dev/null
echo "attrib /s \"$pf\\*\"" > "$drive_c/kvjob/list.bat"
attributes=$(win cmd /c 'C:\kvjob\list.bat' | grep -i 'C:\\' | cut -c1-12)
read_only=$(grep -c R <<<"$attributes") hidden=$(grep -c H <<<"$attributes")

guid='{5B3C1E2A-7D4F-4E61-9A0B-3C2D1E0F4A5B}'
cat > "$drive_c/kvjob/product.reg" <<'REG'
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\SOFTWARE\Example Vendor\Example Suite]
@="Example Suite"
"InstallPath"="C:\\Program Files\\Example Suite"
"Version"="4.2.1"
"Build"=dword:00000415

[HKEY_LOCAL_MACHINE\SOFTWARE\Example Vendor\Example Suite\Settings]
"Mode"="full"
"Level"=dword:00000003

[HKEY_LOCAL_MACHINE\SOFTWARE\Example Vendor\Example Suite\Settings\Scanner]
@="default scanner"
"Depth"=dword:00000005
"Signature"=hex:4b,56,01,02

[HKEY_LOCAL_MACHINE\SOFTWARE\Example Vendor\Example Suite\Keep]
@="kept"
"LicenseKey"="EXMP-1234-5678"

[HKEY_LOCAL_MACHINE\SOFTWARE\Example Vendor\Example Suite\Keep\History]
"LastScan"="2024-05-01"

[HKEY_CURRENT_USER\Software\Example Vendor]
@="Example Vendor"

[HKEY_CURRENT_USER\Software\Example Vendor\Example Suite]
"Language"="en"
"WindowPos"=hex:10,00,20,00

[HKEY_CURRENT_USER\Software\Example Vendor\Example Suite\Recent]
"File1"="C:\\Reports\\scan.txt"

[HKEY_CURRENT_USER\Software\Other Vendor]
"Setting"="untouched"

[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\ExampleSuite.Document]
@="Example Suite Document"

[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\ExampleSuite.Document\DefaultIcon]
@="C:\\Program Files\\Example Suite\\ExampleSuite.exe,1"

[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\ExampleSuite.Document\shell\open\command]
@="\"C:\\Program Files\\Example Suite\\ExampleSuite.exe\" \"%1\""

[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\ExampleSuite.Report]
@="Example Suite Report"

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\{5B3C1E2A-7D4F-4E61-9A0B-3C2D1E0F4A5B}]
"DisplayName"="Example Suite 4.2"
"DisplayVersion"="4.2.1"
"Publisher"="Example Vendor"
"InstallLocation"="C:\\Program Files\\Example Suite\\"
"UninstallString"="\"C:\\Program Files\\Example Suite\\uninstall.exe\""
"NoModify"=dword:00000001

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\OtherApp]
"DisplayName"="Other App 1.0"
"Publisher"="Other Vendor"

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Run]
"ExampleSuiteTray"="\"C:\\Program Files\\Example Suite\\ExampleSuiteTray.exe\""
"ExampleSuiteUpdate"="\"C:\\Program Files\\Example Suite\\update.exe\" /background"
"ExampleOther"="C:\\Program Files\\Example Other\\other.exe"

[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run]
"ExampleSuiteAgent"="\"C:\\Program Files\\Example Suite\\agent.exe\""
"OtherTool"="C:\\Tools\\other.exe"
REG
win reg import 'C:\kvjob\product.reg' >/dev/null

# The product's service: the project's small service program, installed in the product's folder.
win sc create ExampleSuiteSvc binPath= "$pf\\ExampleSuiteSvc.exe" start= demand \
  DisplayName= 'Example Suite Service' >/dev/null
service_state() { win sc query ExampleSuiteSvc | sed -n 's/.*STATE *: *[0-9]* *\([A-Z_]*\).*/\1/p'; }
# The sample service ends by itself 60 s after it starts: it is started just before the run.
service_started=0
start_service() { win sc start ExampleSuiteSvc >/dev/null; service_started=$(date +%s); }

# The program folder: Kelvane.exe with the sample profile beside it; the driver next to it.
appdir_win='C:\Kelvane'
appdir=$(unix_path "$appdir_win")
mkdir -p "$appdir"
cp "$kelvane" "$appdir/Kelvane.exe"
cp "$profile" "$appdir/Kelvane.cfg"
cp "$driver" "$drive_c/kvjob/driver.exe"
cp "$kvprofile" "$drive_c/kvjob/kvprofile.exe"
log=$appdir/Kelvane.log

# --- What the profile asks for, item by item.
# Removed files and folders: each top-level item with everything beneath it, except what is
# spared and the folders that still hold something spared.
removed_files=("$pf")
for u in "$user" "${others[@]}"; do removed_files+=("$(roaming "$u")\\Example Suite"); done
for u in "$user" "${others[1]}"; do removed_files+=("$(roaming "$u")\\Example Vendor\\Example Suite"); done
removed_files+=('C:\users\Public\Desktop\Example Suite.lnk' "$programs\\Example Suite"
                "$system\\ExampleSuiteHook.dll" "$system\\ExampleSuiteNet.dll"
                "$common\\Example Shared")
spared_files=("$pf\\Reports" "$(roaming "$user")\\Example Vendor\\Other Product"
              "$common\\Example Tools")

# Registry items: K key, V key|value, D key's default value.
kv='HKLM\SOFTWARE\Example Vendor\Example Suite'
lm_run_s='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
cu_run_s='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
uninstall_s='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
removed_reg=(
  "K|$kv\\Settings" "K|$kv\\Settings\\Scanner"
  "D|$kv" "V|$kv|InstallPath" "V|$kv|Version" "V|$kv|Build"
  'K|HKCU\Software\Example Vendor' 'K|HKCU\Software\Example Vendor\Example Suite\Recent'
  'K|HKLM\SOFTWARE\Classes\ExampleSuite.Document' 'K|HKLM\SOFTWARE\Classes\ExampleSuite.Report'
  'K|HKLM\SYSTEM\CurrentControlSet\Services\ExampleSuiteSvc'
  "K|$uninstall_s\\$guid"
  "V|$lm_run_s|ExampleSuiteTray" "V|$lm_run_s|ExampleSuiteUpdate" "V|$cu_run_s|ExampleSuiteAgent"
)
spared_reg=(
  "K|$kv" "K|$kv\\Keep" "D|$kv\\Keep" "V|$kv\\Keep|LicenseKey" "V|$kv\\Keep\\History|LastScan"
  "V|$lm_run_s|ExampleOther" "V|$cu_run_s|OtherTool" "K|$uninstall_s\\OtherApp"
  'K|HKCU\Software\Other Vendor'
)
# Why each of them stays.
declare -A why=(
  ["$pf\\Reports"]='an ignore entry'
  ["$(roaming "$user")\\Example Vendor\\Other Product"]='holds no ExampleSuite.ini'
  ["$common\\Example Tools"]='holds ExampleSuite.ver but no .dll'
  ["$pf"]='planned, but not empty at the restart: it holds Reports'
  ["K|$kv"]='holds Keep' ["K|$kv\\Keep"]='an ignore entry' ["D|$kv\\Keep"]='an ignore entry'
  ["V|$kv\\Keep|LicenseKey"]='an ignore entry' ["V|$kv\\Keep\\History|LastScan"]='an ignore entry'
  ["V|$lm_run_s|ExampleOther"]='its command is not in an Example Suite folder'
  ["V|$cu_run_s|OtherTool"]='not ExampleSuite*' ["K|$uninstall_s\\OtherApp"]='another DisplayName'
  ['K|HKCU\Software\Other Vendor']='not named by the profile'
)

# Reads every registry item in one Wine command; fills reg_present[item] with 1 or 0.
declare -A reg_present
probe_registry() {
  local bat=$drive_c/kvjob/probe.bat i=0 item kind key name
  local -a items=("$@")
  echo '@echo off' > "$bat"
  for item in "${items[@]}"; do
    IFS='|' read -r kind key name <<<"$item"
    echo "echo @@BEGIN $i" >> "$bat"
    case $kind in
      K) echo "reg query \"$key\" /ve" ;;
      D) echo "reg query \"$key\" /ve" ;;
      V) echo "reg query \"$key\" /v \"$name\"" ;;
    esac >> "$bat"
    echo 'if errorlevel 1 echo @@MISSING' >> "$bat"
    i=$((i + 1))
  done
  local out
  out=$(win cmd /c 'C:\kvjob\probe.bat')
  i=0
  for item in "${items[@]}"; do
    local block
    block=$(awk -v b="@@BEGIN $i" -v e="@@BEGIN $((i + 1))" '$0==b{on=1;next} $0==e{on=0} on' <<<"$out")
    if grep -q '@@MISSING' <<<"$block" || { [ "${item%%|*}" = D ] && grep -q '(value not set)' <<<"$block"; }; then
      reg_present[$item]=0
    else
      reg_present[$item]=1
    fi
    i=$((i + 1))
  done
}

# Every entry beneath the removed items (the items included), as Windows paths, split into those
# that must go and those that stay because they are spared or hold something spared.
spared_or_holder() {
  local p=$1 s
  for s in "${spared_files[@]}"; do
    [[ "$p" == "$s" || "$p" == "$s\\"* || "$s" == "$p\\"* ]] && return 0
  done
  return 1
}
in_spared() {
  local p=$1 s
  for s in "${spared_files[@]}"; do [[ "$p" == "$s" || "$p" == "$s\\"* ]] && return 0; done
  return 1
}
to_gone=() planned_count=0
declare -A group_of
for top in "${removed_files[@]}"; do
  while IFS= read -r f; do
    w="$top${f#"$(unix_path "$top")"}"
    w=${w//\//\\}
    in_spared "$w" || planned_count=$((planned_count + 1))
    spared_or_holder "$w" && continue
    to_gone+=("$w"); group_of[$w]=$top
  done < <(find "$(unix_path "$top")" 2>/dev/null)
done
to_keep=()
for s in "${spared_files[@]}"; do
  while IFS= read -r f; do
    w="$s${f#"$(unix_path "$s")"}"; to_keep+=("${w//\//\\}")
  done < <(find "$(unix_path "$s")")
done
to_keep+=("$pf")

# The sample must be complete before the run.
missing=0
for w in "${to_gone[@]}" "${to_keep[@]}"; do
  [ -e "$(unix_path "$w")" ] || { echo "run.sh: the sample lacks $w" >&2; missing=1; }
done
probe_registry "${removed_reg[@]}" "${spared_reg[@]}"
for item in "${removed_reg[@]}" "${spared_reg[@]}"; do
  [ "${reg_present[$item]}" = 1 ] || { echo "run.sh: the sample lacks $item" >&2; missing=1; }
done
[ "$read_only" = 5 ] && [ "$hidden" = 3 ] || { echo "run.sh: attributes not set ($read_only read-only, $hidden hidden)" >&2; missing=1; }
[ "$missing" = 0 ] || exit 1
echo "sample installed: ${#to_gone[@]} files and folders to remove ($read_only read-only and" \
     "$hidden hidden files among them), ${#to_keep[@]} to keep; ${#removed_reg[@]} registry items" \
     "to remove, ${#spared_reg[@]} to keep"

# Expected log counts. The %APPDATA% entry yields one item per folder under C:\users (an item for
# a folder that does not exist is kept in the profile list and dropped from the plan); the
# InstallPath value names the same folder as the literal entry; each other file entry yields
# the items installed above for it.
profile_dirs=$(find "$drive_c/users" -mindepth 1 -maxdepth 1 -type d | wc -l)
# This prefix is a 64-bit Windows: an entry in a place Windows keeps twice also names its twin
# (WOW6432Node, Program Files (x86), SysWOW64). The program folder and the %SYSTEM% pattern add
# one item each to the remove list (nothing lies there, so the plan drops them), the Keep key
# ignore and the Reports ignore one each to theirs, the product's key one to the key list.
expect_remove_files=$((1 + profile_dirs + 2 + 1 + 1 + 2 + 1 + 2))
# The registry plan: every key the profile names with its whole subtree (the service's key as
# the service manager wrote it), without the Keep subtree, plus the three start-up values.
reg_trees=("$kv" 'HKLM\SYSTEM\CurrentControlSet\Services\ExampleSuiteSvc' 'HKCU\Software\Example Vendor'
           'HKLM\SOFTWARE\Classes\ExampleSuite.Document' 'HKLM\SOFTWARE\Classes\ExampleSuite.Report'
           "$uninstall_s\\$guid")
expect_keys=0 expect_values=3
for tree in "${reg_trees[@]}"; do
  counts=$(win reg query "$tree" /s | KEEP="${kv^^}\\KEEP" awk '
    BEGIN { keep = ENVIRON["KEEP"] }
    /^HKEY_/ { k = toupper($0); sub(/^HKEY_LOCAL_MACHINE/, "HKLM", k); sub(/^HKEY_CURRENT_USER/, "HKCU", k)
               skip = (k == keep || index(k, keep "\\") == 1); if (!skip) keys++; next }
    /^    / && !skip { values++ }
    END { print keys + 0, values + 0 }')
  read -r k v <<<"$counts"
  expect_keys=$((expect_keys + k)) expect_values=$((expect_values + v))
done
expected_log=(
  'Kelvane v.1.1.213.0 DEBUG'
  "0000 InitConfigFile: $appdir_win\\Kelvane.cfg"
  '0000 InitIgnoreServiceList: 0 items'
  '0000 InitRemoveServiceList: 1 items'
  '0000 InitIgnoreRegValueList: 1 items'
  '0000 InitRemoveRegValueList: 3 items'
  '0000 InitIgnoreRegKeyList: 2 items'
  "0000 InitRemoveRegKeyList: $(( ${#reg_trees[@]} + 1 )) items"
  '0000 InitIgnoreFileList: 2 items'
  "0000 InitRemoveFileList: $expect_remove_files items"
  '0000 PopulateRemoveServiceList: 1 services'
  "0000 PopulateRemoveRegList: $expect_keys keys, $expect_values values"
  "0000 PopulateRemoveFileList: $planned_count files and folders"
  '0000 ResetLspStack'
  "0000 CleanupFiles: $planned_count files and folders"
  "0000 CleanupRegValues: $expect_values values"
  "0000 CleanupRegKeys: $expect_keys keys"
)

# Keeps the service alive until the plan is built (the confirmation box comes next), then notes
# when it stops: a stop seen within the service's own 60 s is Kelvane's.
watch_service() {
  local state
  while true; do
    state=$(service_state)
    if ! grep -q 'PopulateRemoveFileList' "$log" 2>/dev/null; then
      [ "$state" = RUNNING ] || start_service
    elif [ "$state" != RUNNING ]; then
      echo "$state $(( $(date +%s) - service_started ))" > "$job/service-stop.txt"
      return
    fi
    sleep 1
  done
}

# The companion's plan for the sample profile on this prefix, read before the run: the same engine
# code, so its totals must be the counts the run logs.
echo "=== kvprofile check of the sample profile"
win 'C:\kvjob\kvprofile.exe' check "$appdir_win\\Kelvane.cfg" > "$job/check.txt"
check_status=$?
companion_totals=$(sed -n 's/^Totals: \([0-9]*\) services, \([0-9]*\) keys, \([0-9]*\) values, \([0-9]*\) files and folders.*/\1 \2 \3 \4/p' "$job/check.txt")
echo "kvprofile check: exit $check_status, plan ${companion_totals:-none} (services keys values files)"

# --- The run.
headless=1
[ -n "${DISPLAY:-}" ] && [ -z "${KV_HEADLESS:-}" ] && headless=0
readings=$job/readings.txt
result_win='C:\kvjob\driver.txt'
result=$drive_c/kvjob/driver.txt
desktop="explorer /desktop=kelvane,800x600"
fail_run=()

# One driver step on the program's desktop, as in tests/gui/scenario.sh: the starter runs in the
# background and the result file says when the step is done.
step() {
  local attempt
  for attempt in 1 2; do
    rm -f "$result"
    "$run" $desktop 'C:\kvjob\driver.exe' -o "$result_win" "$@" >/dev/null 2>&1 &
    for i in $(seq 1 450); do
      grep -q '^exit=' "$result" 2>/dev/null && break
      [ "$attempt" = 1 ] && [ "$i" = 100 ] && ! [ -s "$result" ] && ! pgrep -f 'kvjob.driver.exe' >/dev/null && break
      sleep 0.2
    done
    grep -q '^exit=' "$result" 2>/dev/null && break
  done
  cat "$result" >> "$readings" 2>/dev/null
  grep -q '^exit=0' "$result" 2>/dev/null
}
reading() { tr -d '\r' < "$result" | grep "^$1=" | head -1 | cut -d= -f2-; }
shot() { import -window root "$shots/$1.png" 2>/dev/null || fail_run+=("screenshot $1"); }

if [ "$headless" = 1 ]; then
  echo "=== running Kelvane under Xvfb (the driver presses Start, answers Yes, leaves with ESC)"
  for n in $(seq 90 130); do
    [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] || break
  done
  Xvfb :$n -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb=$!
  export DISPLAY=:$n
  sleep 1
  start_service; state_before=$(service_state)
  watch_service & poller=$!
  "$run" $desktop "$appdir_win\\Kelvane.exe" >/dev/null 2>&1 &
  sleep 3
  if step wait-button Start 60000; then
    step read; shot ready
    [ "$(reading message)" = 'You are about to remove existing installation from your system. \nClick START to begin, or press ESC to cancel.' ] \
      || fail_run+=("the ready message")
    step click || fail_run+=("pressing Start")
    for _ in $(seq 1 300); do grep -q 'PopulateRemoveFileList' "$log" 2>/dev/null && break; sleep 0.2; done
    sleep 1.5; shot confirmation
    step answer yes 30000 || fail_run+=("the confirmation box")
    if step wait-button Restart 120000; then
      step read; shot restart
      status=$(reading status)
      for stage in 'Creating uninstallation profile...' 'Stopping services...' \
                   'Restoring system defaults...' 'Cleaning up files...' 'Cleaning up registry...'; do
        case "$status" in *" -- $stage "*) ;;
          *) fail_run+=("status line '$stage'");; esac
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
  start_service; state_before=$(service_state)
  watch_service & poller=$!
  "$run" "$appdir_win\\Kelvane.exe" >/dev/null 2>&1 || true
fi
sleep 2
kill "$poller" 2>/dev/null || true
wait "$poller" 2>/dev/null || true
poller=
state_after=$(service_state)

# --- Before the restart: the registry is clean already, the files wait for the restart.
probe_registry "${removed_reg[@]}" "${spared_reg[@]}"
declare -A reg_after_run
for item in "${removed_reg[@]}"; do reg_after_run[$item]=${reg_present[$item]}; done
still_there=0
for w in "${to_gone[@]}"; do [ -e "$(unix_path "$w")" ] && still_there=$((still_there + 1)); done
pending=$(win reg query 'HKLM\System\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations | grep -o '\\??\\' | wc -l) || pending=0
# Restart pressed in the window restarts the prefix at once (Wine's restart of the computer):
# the registered deletions are then carried out already.
restarted=0
[ "$headless" = 0 ] && [ "$still_there" = 0 ] && [ "$pending" = 0 ] && restarted=1

echo "=== restarting the prefix (wineboot -r carries out the deletions registered for the restart)"
win wineboot -r >/dev/null || true
probe_registry "${removed_reg[@]}" "${spared_reg[@]}"
# The service manager reads its services afresh only when the prefix starts again: stop
# everything, and the next Wine command starts the prefix anew.
"$server" -k >/dev/null 2>&1
[ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
xvfb=
state_final=$(service_state)

# --- The report, also kept in build/main-job/report.txt.
check() { # check 1|0 text
  if [ "$1" = 1 ]; then echo "  ok    $2"; else echo "  FAIL  $2"; fi
}
label() { local kind key name; IFS='|' read -r kind key name <<<"$1"
  case $kind in K) echo "$key (key)";; D) echo "$key (default value)";; V) echo "$key\\$name";; esac; }

report() {
echo "=== Report"
echo "Program: $appdir_win\\Kelvane.exe (the win64 twin of build/win32/app/Kelvane.exe), profile examples/Kelvane.cfg"
if [ "$headless" = 1 ]; then
  echo "Run: under Xvfb, the driver pressed Start and Yes and left with ESC at Restart; screenshots in ${shots#"$root"/}/"
else
  echo "Run: in a window on $DISPLAY, buttons pressed by you"
fi
[ ${#fail_run[@]} -eq 0 ] || for f in "${fail_run[@]}"; do check 0 "dialog: $f"; done

echo
echo "Removed files and folders (registered for deletion at the restart, gone after it):"
for top in "${removed_files[@]}"; do
  total=0 gone=0
  for w in "${to_gone[@]}"; do
    [ "${group_of[$w]}" = "$top" ] || continue
    total=$((total + 1))
    [ -e "$(unix_path "$w")" ] || gone=$((gone + 1))
  done
  if [ "$total" = 0 ]; then check 0 "$top: nothing was installed there"; continue; fi
  check $([ "$gone" = "$total" ] && echo 1 || echo 0) "$top: $gone of $total gone"
done
if [ "$restarted" = 1 ]; then
  echo "  --    Restart was pressed in the window: the prefix restarted and deleted them then"
else
  check $([ "$still_there" = "${#to_gone[@]}" ] && echo 1 || echo 0) \
    "before the restart all ${#to_gone[@]} were still in place: deletion waits for the restart"
  check $([ "$pending" -ge "$planned_count" ] && echo 1 || echo 0) \
    "$pending paths were registered for the restart; the plan holds $planned_count"
fi
echo "Removed registry keys and values (gone at once, and after the restart):"
for item in "${removed_reg[@]}"; do
  check $([ "${reg_after_run[$item]}" = 0 ] && [ "${reg_present[$item]}" = 0 ] && echo 1 || echo 0) "$(label "$item")"
done

echo
echo "Spared (present after the restart):"
for s in "${spared_files[@]}" "$pf"; do
  n=0 ok=0
  for w in "${to_keep[@]}"; do
    [[ "$w" == "$s" || ( "$s" != "$pf" && "$w" == "$s\\"* ) ]] || continue
    n=$((n + 1)); [ -e "$(unix_path "$w")" ] && ok=$((ok + 1))
  done
  check $([ "$ok" = "$n" ] && echo 1 || echo 0) "$s: $ok of $n present: ${why[$s]}"
done
for item in "${spared_reg[@]}"; do
  check "${reg_present[$item]}" "$(label "$item"): ${why[$item]}"
done

echo
echo "Services:"
stop_note="never seen stopping" seen= secs=999
if [ -f "$job/service-stop.txt" ]; then
  read -r seen secs < "$job/service-stop.txt"
  stop_note="stopped ${secs} s after its start"
  [ "$secs" -lt 58 ] && stop_note="$stop_note: by the run, as it ends by itself only after 60 s" \
    || stop_note="$stop_note: too late to tell the run's stop from its own end after 60 s"
fi
final_note=${state_final:-no longer registered (the profile removed its key)}
# Under the driver the stop must come from the run; a person may take longer than the sample
# service's 60 s, which the note then says.
stopped_ok=0
[ "$state_after" = STOPPED ] && stopped_ok=1
[ "$restarted" = 1 ] && [ "$seen" = STOPPED ] && stopped_ok=1
[ "$state_before" = RUNNING ] || stopped_ok=0
[ "$headless" = 1 ] && [ "$secs" -ge 58 ] && stopped_ok=0
check "$stopped_ok" \
  "ExampleSuiteSvc: ${state_before:-not registered} before the run, ${state_after:-not registered} after it ($stop_note)"
check $([[ "$state_final" =~ ^(STOPPED|)$ ]] && echo 1 || echo 0) "ExampleSuiteSvc after the restart: $final_note"

echo
echo "Not part of this sample:"
echo "  Winsock: Wine's catalog lists only its base providers and takes no layered entries, so no"
echo "  layered provider was installed; the step had nothing to take out."
echo "  Security Center: Wine has no root\\SecurityCenter namespace; that step does nothing here."

echo
echo "Log ($appdir_win\\Kelvane.log):"
if [ -f "$log" ]; then
  tr -d '\r' < "$log" | sed 's/^/  | /'
  absent=()
  for line in "${expected_log[@]}"; do
    tr -d '\r' < "$log" | grep -qF -- "$line" || absent+=("$line")
  done
  check $([ ${#absent[@]} = 0 ] && echo 1 || echo 0) \
    "$(( ${#expected_log[@]} - ${#absent[@]} )) of the ${#expected_log[@]} expected lines, with the expected counts"
  for line in "${absent[@]}"; do echo "        missing: $line"; done
else
  check 0 "the log file exists"
fi

echo
echo "The companion (kvprofile check before the run, report in ${job#"$root"/}/check.txt):"
read -r c_services c_keys c_values c_files <<<"${companion_totals:-x x x x}"
logged=$(tr -d '\r' < "$log" 2>/dev/null)
check $([ "$check_status" = 0 ] && echo 1 || echo 0) "the sample profile checks clean (exit $check_status)"
check $(grep -qF "0000 PopulateRemoveServiceList: $c_services services" <<<"$logged" &&
        grep -qF "0000 PopulateRemoveRegList: $c_keys keys, $c_values values" <<<"$logged" &&
        grep -qF "0000 PopulateRemoveFileList: $c_files files and folders" <<<"$logged" && echo 1 || echo 0) \
  "its plan ($c_services services, $c_keys keys, $c_values values, $c_files files and folders) is the run's"
}

echo
report > "$job/report.txt"
cat "$job/report.txt"
passed=$(grep -c '^  ok ' "$job/report.txt")
failed=$(grep -c '^  FAIL ' "$job/report.txt")
echo
echo "Checks: $passed passed, $failed failed"
[ "$failed" = 0 ]
