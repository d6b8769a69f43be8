#!/bin/bash
# DLL planting under Wine. The import table of Kelvane.exe names only DLLs the loader always takes
# from the system folder; the early start-up hook keeps every load by name away from the program's
# folder; during a whole run the program loads none of the DLLs planted beside it (named like the
# DLLs the system libraries load while it runs). Two controls without the hardening load the
# planted DLL, which shows the test can see a fault.
# usage: dll_hardening.sh KELVANE.EXE DRIVER.EXE PLANTED.DLL UNHARDENED.EXE PROBE.EXE OBJDUMP OUT-DIR
set -u
kelvane=$1 driver=$2 planted=$3 unhardened=$4 probe=$5 objdump=$6 out=$7
root=$(cd "$(dirname "$0")/../.." && pwd)
mkdir -p "$out"
rm -f "$out"/*.txt "$out"/*.png

fail() { echo "FAIL [dll_hardening]: $*"; exit 1; }

# 1. The import table. Known DLLs of Windows 7 and later: the loader maps them from the system
# folder whatever lies beside the program. Anything else must be loaded at run time by full path.
known=" ADVAPI32 COMDLG32 GDI32 IMM32 KERNEL32 MSVCRT NORMALIZ NSI OLE32 OLEAUT32 PSAPI RPCRT4
 SECHOST SETUPAPI SHELL32 SHLWAPI USER32 WLDAP32 WS2_32 "
"$objdump" -p "$kelvane" | sed -n 's/^[[:space:]]*DLL Name: //p' > "$out/imports.txt"
[ -s "$out/imports.txt" ] || fail "no import table read from $kelvane"
while read -r dll; do
  name=$(tr '[:lower:]' '[:upper:]' <<<"${dll%.*}")
  case "$known" in *" $name "*) ;; *) fail "the program imports $dll, which is not a known DLL";; esac
done < "$out/imports.txt"

source "$root/tests/gui/gui_lib.sh"
gui_env kvdll
# Wine prefers its own DLLs even to one in the program's folder; native-first for the planted
# names makes it search the way Windows does for a DLL that is not a known DLL: the program's
# folder first. (Not for version.dll in the program's run: Wine's own advapi32 imports it, and
# Wine, unlike Windows, does not take a system DLL's imports from the system folder.)
export WINEDLLOVERRIDES="mscoree,mshtml=;version=n,b"

"$run" cmd /c exit >/dev/null 2>&1
drive_c=$WINEPREFIX/drive_c
# True when the planted DLL of that name left its marker in the folder (Wine spells the module's
# name as the importer did, so in any case).
loaded() { ls "$1" 2>/dev/null | grep -qix "$2.loaded"; }

# A program folder holding the program and the planted DLL under each given name.
plant() {
  local dir=$drive_c/kvtest/$1 name
  rm -rf "$dir"; mkdir -p "$dir"
  cp "$2" "$dir/$3"
  shift 3
  for name in "$@"; do cp "$planted" "$dir/$name"; done
  echo "$dir"
}

# 2. Controls: without the hardening the planted DLL is taken, by the import and by name.
dir=$(plant dll_unhardened "$unhardened" app.exe version.dll)
"$run" 'C:\kvtest\dll_unhardened\app.exe' > "$out/unhardened.txt" 2>&1
loaded "$dir" version.dll || fail "control: the unhardened program did not load the planted DLL"
dir=$(plant dll_probe "$probe" probe.exe version.dll)
KV_PROBE_UNHARDENED=1 "$run" 'C:\kvtest\dll_probe\probe.exe' > "$out/probe-unhardened.txt" 2>&1
loaded "$dir" version.dll || fail "control: a load by name without the hook did not take the planted DLL"

# 3. The start-up hook alone: a load by name now comes from the system folder.
rm -f "$dir"/*.loaded
"$run" 'C:\kvtest\dll_probe\probe.exe' > "$out/probe.txt" 2>&1 || fail "the probe loaded no version.dll"
loaded "$dir" version.dll && fail "the hardened probe loaded the planted DLL"
tr -d '\r' < "$out/probe.txt" | grep -qi '^loaded=C:\\windows\\system32\\version.dll$' ||
  fail "the probe's version.dll is not the system one: $(cat "$out/probe.txt")"

# 4. The program: a whole run on a virtual desktop under Xvfb, with every DLL load traced.
gui_display

# A DLL the system libraries load by name while the program runs (the theme engine, loaded when
# the dialog is created), planted beside the program. A build without the start-up hook takes the
# planted one. (Under Wine 8 the imports of the common controls DLL, which comes through the
# manifest, are still looked for in the program's folder whatever the restriction says: a Wine
# loader difference, so msimg32.dll is not planted here.)
runtime_dlls="uxtheme.dll"
appdir=$(plant dll_hardening "$kelvane" Kelvane.exe $runtime_dlls)
printf '[service 1]\n[registry key 1]\n[registry value 1]\n[file 1]\n' > "$appdir/Kelvane.cfg"
cp "$driver" "$drive_c/kvtest/driver.exe"
result_win='C:\kvtest\dll_hardening\driver.txt'
result=$appdir/driver.txt


WINEDLLOVERRIDES="mscoree,mshtml=;uxtheme=n,b" WINEDEBUG=+loaddll \
  "$run" $desktop 'C:\kvtest\dll_hardening\Kelvane.exe' >/dev/null 2>"$out/loaddll.txt" &
sleep 3
step wait-button Start 60000 || fail "the dialog did not come up ready"
step click || fail click
step answer yes 30000 || fail "no confirmation box"
step wait-button Restart 60000 || fail "the run did not reach Restart"
import -window root "$out/restart.png" 2>/dev/null
step escape; step wait-gone 20000 || fail "ESC did not close the dialog"

for dll in $runtime_dlls; do
  loaded "$appdir" "$dll" && fail "the program loaded the planted $dll"
  grep -qiF "Loaded L\"C:\\\\windows\\\\system32\\\\$dll\"" "$out/loaddll.txt" ||
    fail "the program never loaded $dll: nothing was tested"
done
grep -q 'Loaded L"C:\\\\kvtest\\\\dll_hardening\\\\Kelvane.exe"' "$out/loaddll.txt" ||
  fail "no load trace of the program"
# Wine names the program's folder for a DLL it found there even when it maps its own copy
# ("builtin"); only a foreign ("native") DLL from there would be a planted one.
from_folder=$(grep 'Loaded L"C:\\\\kvtest\\\\dll_hardening\\\\' "$out/loaddll.txt" | grep -v 'Kelvane.exe"' |
  grep ': native')
[ -z "$from_folder" ] || fail "loaded from the program's folder: $from_folder"
# The version line needs the real version.dll: the planted stand-ins would give NO_VERSION.
grep -q 'Kelvane v.1.1.213.0 DEBUG' "$appdir/Kelvane.log" || fail "log version line"
grep -q '0000 CleanupRegKeys: 0 keys' "$appdir/Kelvane.log" || fail "the run did not complete"
echo "PASS [dll_hardening]"
