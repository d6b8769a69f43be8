#!/bin/bash
# Crash safety under Wine: the real Kelvane.exe is killed in the middle of its registry cleanup;
# the log on disk is whole up to its last line (each line complete and ending in CR LF, the lines
# a prefix of a run's sequence), and a second run on the same machine finishes the job.
# Method: a product key with thousands of values makes the registry cleanup last long enough; the
# script polls the log and, as soon as the "CleanupFiles" line is there (the registry cleanup
# starts right after it), kills the program's process with SIGKILL, as a crash or a power-off of
# the process would end it. The Wine server stays up, so what the program had written to the
# registry before it died stays written, as on Windows.
# usage: crash_safety.sh KELVANE.EXE DRIVER.EXE OUT-DIR
set -u
kelvane=$1 driver=$2 out=$3
root=$(cd "$(dirname "$0")/../.." && pwd)
mkdir -p "$out"
rm -f "$out"/*.png "$out"/*.txt "$out"/*.log
# Groups of values under the product key; raise them on a machine fast enough to miss the window.
groups=${KV_CRASH_GROUPS:-200} per_group=${KV_CRASH_VALUES:-100}
total=$((groups * per_group))

source "$root/tests/gui/gui_lib.sh"
gui_env kvcrash
gui_display

fail() { echo "FAIL [crash_safety]: $*"; echo "--- driver readings"; cat "$out/readings.txt" 2>/dev/null; exit 1; }

"$run" cmd /c exit >/dev/null 2>&1
drive_c=$WINEPREFIX/drive_c
appdir=$drive_c/kvtest/crash_safety
rm -rf "$appdir"; mkdir -p "$appdir"
cp "$kelvane" "$appdir/Kelvane.exe"
cp "$driver" "$drive_c/kvtest/driver.exe"
log=$appdir/Kelvane.log
result_win='C:\kvtest\crash_safety\driver.txt'
result=$appdir/driver.txt
product="$drive_c/Program Files/Example Crash Suite"
key='HKCU\Software\Example Crash Suite'

cat > "$appdir/Kelvane.cfg" <<'CFG'
[service 1]
[registry key 1]
remove=REG_KEY,BY_VALUE,HKEY_CURRENT_USER\Software\Example Crash Suite
[registry value 1]
[file 1]
remove=FILE_NAME,BY_VALUE,C:\Program Files\Example Crash Suite
CFG

# The product: a few files, and the key with its groups of values, imported in one go.
rm -rf "$product"; mkdir -p "$product/bin"
echo app > "$product/bin/app.exe"
echo readme > "$product/readme.txt"
"$run" reg delete "$key" /f >/dev/null 2>&1
"$run" reg delete 'HKLM\SYSTEM\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations /f >/dev/null 2>&1
{
  printf 'REGEDIT4\r\n\r\n'
  for g in $(seq -w 1 "$groups"); do
    printf '[HKEY_CURRENT_USER\\Software\\Example Crash Suite\\Group %s]\r\n' "$g"
    for v in $(seq -w 1 "$per_group"); do printf '"Value %s"="data %s"\r\n' "$v" "$g"; done
    printf '\r\n'
  done
} > "$appdir/product.reg"
"$run" regedit /s 'C:\kvtest\crash_safety\product.reg' >/dev/null 2>&1
values_left() { "$run" reg query "$key" /s 2>/dev/null | grep -c 'REG_SZ'; }
[ "$(values_left)" = "$total" ] || fail "the product key does not hold $total values"

start_run() {
  "$run" $desktop 'C:\kvtest\crash_safety\Kelvane.exe' >/dev/null 2>&1 &
  sleep 3
  step wait-button Start 60000 || { shot not-ready; fail "the dialog did not come up ready"; }
  step click || fail click
  step answer yes 30000 || fail "no confirmation box"
}

# The lines of a run, in order (the date-time column taken off).
expected=(
  '^Kelvane v\.1\.1\.213\.0 DEBUG$'
  '^0000 InitConfigFile: C:\\kvtest\\crash_safety\\Kelvane\.cfg$'
  '^0000 InitIgnoreServiceList: [0-9]+ items$' '^0000 InitRemoveServiceList: [0-9]+ items$'
  '^0000 InitIgnoreRegValueList: [0-9]+ items$' '^0000 InitRemoveRegValueList: [0-9]+ items$'
  '^0000 InitIgnoreRegKeyList: [0-9]+ items$' '^0000 InitRemoveRegKeyList: [0-9]+ items$'
  '^0000 InitIgnoreFileList: [0-9]+ items$' '^0000 InitRemoveFileList: [0-9]+ items$'
  '^0000 PopulateRemoveServiceList: [0-9]+ services$'
  '^0000 PopulateRemoveRegList: [0-9]+ keys, [0-9]+ values$'
  '^0000 PopulateRemoveFileList: [0-9]+ files and folders$'
  '^0000 ResetLspStack$'
  '^0000 CleanupFiles: [0-9]+ files and folders$'
  '^0000 CleanupRegValues: [0-9]+ values$'
  '^0000 CleanupRegKeys: [0-9]+ keys$'
)

# The trace facility's date-time column and the text after it.
datecol='^[0-9 ][0-9]/[0-9]{2}/[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}'$'\t''(.*)$'

# Checks a log file: every line whole and ending in CR LF, the lines the first N of a run's.
check_log() {
  local file=$1 count=$2 i=0 line
  [ -s "$file" ] || fail "$file is empty"
  [ "$(tail -c 2 "$file" | od -An -tx1 | tr -d ' \n')" = 0d0a ] || fail "$file does not end in CR LF"
  # No line feed without its carriage return, no carriage return without its line feed.
  [ "$(tr -cd '\n' < "$file" | wc -c)" = "$(grep -c $'\r$' "$file")" ] || fail "$file has a bare line end"
  [ "$(tr -cd '\r' < "$file" | wc -c)" = "$(tr -cd '\n' < "$file" | wc -c)" ] || fail "$file has a stray CR"
  [ "$(wc -l < "$file")" = "$count" ] || fail "$file has $(wc -l < "$file") lines, $count expected"
  while IFS= read -r line; do
    line=${line%$'\r'}
    [[ "$line" =~ $datecol ]] ||
      fail "$file line $((i + 1)) has no date-time column: $line"
    [[ "${BASH_REMATCH[1]}" =~ ${expected[$i]} ]] || fail "$file line $((i + 1)) is '$line'"
    i=$((i + 1))
  done < "$file"
}

# 1. The first run, killed in the registry cleanup.
start_run
pid=$(program_pid 'kvtest\\crash_safety\\Kelvane.exe')
[ -n "$pid" ] || fail "the program's process was not found"
for _ in $(seq 1 3000); do
  grep -q 'CleanupFiles:' "$log" 2>/dev/null && break
  sleep 0.01
done
kill -9 "$pid" 2>/dev/null || fail "the program had ended before it could be killed"
for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
cp "$log" "$out/first.log"
left=$(values_left)
echo "killed after CleanupFiles: $left of $total values left" > "$out/kill.txt"
grep -q 'CleanupRegValues' "$out/first.log" && fail "the kill came after the registry cleanup (raise KV_CRASH_GROUPS)"
[ "$left" -lt "$total" ] || fail "the kill came before the registry cleanup deleted anything"
[ "$left" -gt 0 ] || fail "the registry cleanup had finished when the program was killed"
check_log "$out/first.log" 15
"$run" reg query 'HKLM\SYSTEM\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations > "$out/pending-first.txt" 2>&1 ||
  fail "the files were not registered before the kill"
grep -qi 'app.exe' "$out/pending-first.txt" || fail "app.exe not registered before the kill"
[ -f "$product/bin/app.exe" ] || fail "a file went before the restart"

# 2. The second run on the same machine finishes the job.
# Keys go only after all the values: every key is still there.
left_keys=$((groups + 1))
start_run
step wait-button Restart 120000 || { shot second; fail "the second run did not reach Restart"; }
shot restart
cp "$log" "$out/second.log"
check_log "$out/second.log" 17
grep -q "0000 PopulateRemoveRegList: $left_keys keys, $left values" "$out/second.log" ||
  fail "the second plan is not what the first run left ($left_keys keys, $left values)"
grep -q "0000 CleanupRegValues: $left values" "$out/second.log" || fail "second value cleanup count"
"$run" reg query "$key" >/dev/null 2>&1 && fail "the product key survived the second run"
"$run" reg query 'HKLM\SYSTEM\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations > "$out/pending.txt" 2>&1 ||
  fail "nothing registered for the restart"
grep -qi 'app.exe' "$out/pending.txt" || fail "app.exe not registered"
step escape; step wait-gone 20000 || fail "ESC did not close the dialog"

# The restart of the prefix carries the registrations out, the repeated ones included.
"$run" wineboot -r >/dev/null 2>&1
[ -e "$product/bin/app.exe" ] && fail "app.exe survived the restart"
[ -e "$product" ] && fail "the product folder survived the restart"
echo "PASS [crash_safety] ($left of $total values were left by the killed run)"
