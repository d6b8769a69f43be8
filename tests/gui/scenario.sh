#!/bin/bash
# One GUI scenario: the real Kelvane.exe in a throwaway Wine prefix on a virtual desktop under
# Xvfb, driven by kv_gui_driver.exe; screenshots and the driver's readings go to OUT-DIR.
# usage: scenario.sh full_run|decline|missing_section|cancel|about|second_start|failed_deletion
#        KELVANE.EXE DRIVER.EXE OUT-DIR
set -u
scenario=$1 kelvane=$2 driver=$3 out=$4
root=$(cd "$(dirname "$0")/../.." && pwd)
mkdir -p "$out"
rm -f "$out"/*.png "$out"/*.txt

source "$root/tests/gui/gui_lib.sh"
gui_env kvgui
gui_display

fail() { echo "FAIL [$scenario]: $*"; echo "--- driver readings"; cat "$out/readings.txt" 2>/dev/null; exit 1; }

# Program folder inside the prefix, with the program, the driver and the scenario's profile.
"$run" cmd /c exit >/dev/null 2>&1
drive_c=$WINEPREFIX/drive_c
appdir=$drive_c/kvtest/$scenario
rm -rf "$appdir"; mkdir -p "$appdir"
cp "$kelvane" "$appdir/Kelvane.exe"
cp "$driver" "$drive_c/kvtest/driver.exe"
result_win="C:\\kvtest\\$scenario\\driver.txt"
result=$appdir/driver.txt
product="$drive_c/Program Files/Example Suite GUI"

profile_full() {
  cat > "$appdir/Kelvane.cfg" <<'CFG'
[service 1]
[registry key 1]
remove=REG_KEY,BY_VALUE,HKEY_CURRENT_USER\Software\Example Suite GUI
ignore=REG_KEY,BY_VALUE,HKEY_CURRENT_USER\Software\Example Suite GUI\Keep
[registry value 1]
remove=REG_VALUE,BY_VALUE,HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run\ExampleSuiteGuiTray
ignore=REG_VALUE,BY_VALUE,HKEY_CURRENT_USER\Software\Example Suite GUI\Keep
[file 1]
remove=FILE_NAME,BY_VALUE,C:\Program Files\Example Suite GUI
ignore=FILE_NAME,BY_VALUE,C:\PROGRAM FILES\EXAMPLE SUITE GUI\KEEP
CFG
}

install_product() {
  rm -rf "$product"
  mkdir -p "$product/bin" "$product/Keep"
  echo app > "$product/bin/app.exe"
  echo readme > "$product/readme.txt"
  echo keep > "$product/Keep/keep.txt"
  "$run" attrib +r 'C:\Program Files\Example Suite GUI\readme.txt' >/dev/null 2>&1
  "$run" reg add 'HKCU\Software\Example Suite GUI' /v Path /d 'C:\Program Files\Example Suite GUI' /f >/dev/null 2>&1
  "$run" reg add 'HKCU\Software\Example Suite GUI\Settings' /v Level /t REG_DWORD /d 3 /f >/dev/null 2>&1
  "$run" reg add 'HKCU\Software\Example Suite GUI\Keep' /v Kept /d yes /f >/dev/null 2>&1
  "$run" reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\Run' /v ExampleSuiteGuiTray /d 'C:\x.exe' /f >/dev/null 2>&1
  "$run" reg delete 'HKLM\SYSTEM\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations /f >/dev/null 2>&1
}

reg_has() { "$run" reg query "$1" ${2:+/v "$2"} >/dev/null 2>&1; }


start_program() {
  "$run" $desktop "C:\\kvtest\\$scenario\\Kelvane.exe" >/dev/null 2>&1 &
  sleep 3
  step wait-button Start 60000 || { shot not-ready; fail "the dialog did not come up ready"; }
}

case "$scenario" in
full_run)
  install_product; profile_full
  start_program; step read; shot ready
  [ "$(reading message)" = 'You are about to remove existing installation from your system. \nClick START to begin, or press ESC to cancel.' ] || fail "ready message"
  step click || fail click
  step answer yes 30000 || fail "no confirmation box"
  step wait-button Restart 60000 || fail "did not reach Restart"
  step read; shot restart
  status=$(reading status)
  for stage in 'Creating uninstallation profile...' 'Stopping services...' 'Restoring system defaults...' 'Cleaning up files...' 'Cleaning up registry...'; do
    case "$status" in *" -- $stage "*) ;; *) fail "status lacks $stage";; esac
  done
  [ "$(grep -o ' -- ' <<<"$status" | wc -l)" = 5 ] || fail "five status lines expected"
  log=$appdir/Kelvane.log
  [ -f "$log" ] || fail "no log beside the program"
  grep -q 'Kelvane v.1.1.213.0 DEBUG' "$log" || fail "log version line"
  grep -q '0000 PopulateRemoveFileList: 4 files and folders' "$log" || fail "file plan count"
  grep -q '0000 CleanupRegKeys: 2 keys' "$log" || fail "key cleanup count"
  # Files stay until the restart and are registered for it; the registry is clean already.
  [ -f "$product/bin/app.exe" ] || fail "a file went before the restart"
  "$run" reg query 'HKLM\SYSTEM\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations > "$out/pending.txt" 2>&1 || fail "nothing registered for the restart"
  grep -qi 'app.exe' "$out/pending.txt" || fail "app.exe not registered"
  reg_has 'HKCU\Software\Example Suite GUI\Settings' && fail "Settings key left"
  reg_has 'HKCU\Software\Example Suite GUI\Keep' Kept || fail "the ignored key went"
  reg_has 'HKCU\Software\Microsoft\Windows\CurrentVersion\Run' ExampleSuiteGuiTray && fail "Run value left"
  step escape; step wait-gone 20000 || fail "ESC did not close the dialog"
  # The restart of the prefix carries the registrations out.
  "$run" wineboot -r >/dev/null 2>&1
  [ -e "$product/bin/app.exe" ] && fail "app.exe survived the restart"
  [ -e "$product/readme.txt" ] && fail "read-only readme survived the restart"
  [ -f "$product/Keep/keep.txt" ] || fail "the ignored file went"
  ;;
decline)
  install_product; profile_full
  start_program
  step click || fail click
  shot running
  step answer no 30000 || fail "no confirmation box"
  step wait-button Quit 30000 || fail "did not reach Quit"
  step read; shot cancelled
  [ "$(reading message)" = 'Uninstallation process has been cancelled. No system changes were made. Please re-run the tool to complete uninstallation.' ] || fail "cancelled message"
  reg_has 'HKCU\Software\Example Suite GUI\Settings' Level || fail "the registry changed"
  [ -f "$product/bin/app.exe" ] || fail "a file changed"
  reg_has 'HKLM\SYSTEM\CurrentControlSet\Control\Session Manager' PendingFileRenameOperations && fail "something was registered for the restart"
  step click; step wait-gone 20000 || fail "Quit did not close the dialog"
  ;;
missing_section)
  printf '[registry key 1]\n[registry value 1]\n[file 1]\n' > "$appdir/Kelvane.cfg"
  start_program
  step click || fail click
  step wait-button Quit 30000 || fail "did not reach Quit"
  step read; shot failed
  [ "$(reading message)" = 'Uninstallation process failed' ] || fail "failed message"
  case "$(reading status)" in '\n -- Creating uninstallation profile... '*) ;; *) fail "status line";; esac
  grep -q '1610 InitIgnoreServiceList: unknown error' "$appdir/Kelvane.log" || fail "log line for the missing section"
  step click; step wait-gone 20000 || fail "Quit did not close the dialog"
  ;;
cancel)
  install_product; profile_full
  start_program
  step click || fail click
  step answer yes 30000 || fail "no confirmation box"
  step click || fail "Cancel"
  step wait-button Quit 60000 || fail "did not reach Quit after Cancel"
  step read; shot cancel
  [ "$(reading message)" = 'Uninstallation process failed' ] || fail "failed message after cancel"
  # The Cancel is meant for the pause before the Winsock step, which then reports it. On a loaded
  # machine the click can come after that step's one look; the files step then sees it before its
  # first item. Either way nothing of the plan was touched.
  case "$(reading status)" in
  *' -- Cleaning up files... '*'cancel'*) grep -q '1223 CleanupFiles: 0 files and folders' "$appdir/Kelvane.log" || fail "log line of the cancelled stage" ;;
  *' -- Restoring system defaults... '*'cancel'*) grep -q '1223 ResetLspStack' "$appdir/Kelvane.log" || fail "log line of the cancelled stage" ;;
  *) fail "the Winsock or the files stage should report the cancel" ;;
  esac
  [ -f "$product/bin/app.exe" ] || fail "files touched after cancel"
  reg_has 'HKLM\SYSTEM\CurrentControlSet\Control\Session Manager' PendingFileRenameOperations && fail "something was registered for the restart"
  step click; step wait-gone 20000 || fail "Quit did not close the dialog"
  ;;
about)
  printf '[service 1]\n[registry key 1]\n[registry value 1]\n[file 1]\n' > "$appdir/Kelvane.cfg"
  start_program
  step about 20000 || fail "no About box"
  shot about
  case "$(reading about)" in *'Uninstallation Tool  Version 1.01'*) ;; *) fail "About text";; esac
  step close-about
  step escape; step wait-gone 20000 || fail "ESC did not close the dialog"
  ;;
second_start)
  # A second copy, started from another folder while the first window is up, says so and ends
  # without changing anything; the first one runs on. Two runs of the first keep the previous log.
  printf '[service 1]\n[registry key 1]\n[registry value 1]\n[file 1]\n' > "$appdir/Kelvane.cfg"
  mkdir -p "$appdir/other"
  cp "$kelvane" "$appdir/other/Kelvane.exe"; cp "$appdir/Kelvane.cfg" "$appdir/other/"
  start_program
  "$run" $desktop "C:\\kvtest\\$scenario\\other\\Kelvane.exe" >/dev/null 2>&1 &
  step notice 30000 || { shot no-notice; fail "the second copy did not say why it ends"; }
  case "$(reading notice)" in *'Another copy of the Uninstallation Tool is running'*) ;; *) fail "refusal text";; esac
  second="kvtest\\\\$scenario\\\\other\\\\Kelvane.exe"
  for _ in $(seq 1 100); do [ -n "$(program_pid "$second")" ] || break; sleep 0.2; done
  [ -n "$(program_pid "$second")" ] && fail "the second copy did not end"
  [ -e "$appdir/other/Kelvane.log" ] && fail "the second copy wrote a log"
  step read; shot first-still-up
  [ "$(reading button)" = Start ] || fail "the first window changed"
  for round in 1 2; do
    step click || fail click
    step answer yes 30000 || fail "no confirmation box (run $round)"
    step wait-button Restart 60000 || fail "did not reach Restart (run $round)"
    step escape; step wait-gone 20000 || fail "ESC did not close the dialog (run $round)"
    cp "$appdir/Kelvane.log" "$out/run$round.log"
    # Once the first copy has ended, a copy starts again.
    [ "$round" = 1 ] && start_program
  done
  cmp -s "$out/run1.log" "$appdir/Kelvane.old.log" || fail "the previous run's log was not kept as Kelvane.old.log"
  grep -q '0000 CleanupRegKeys: 0 keys' "$appdir/Kelvane.log" || fail "the new log"
  ;;
failed_deletion)
  # A value the system refuses to delete: every other value still goes, the log names the one
  # that stayed, and the run ends failed with the error on the screen; no key is touched.
  install_product; profile_full
  settings='Software\Example Suite GUI\Settings'
  start_program
  step deny-values "$settings" || fail "could not make the value undeletable"
  step click || fail click
  step answer yes 30000 || fail "no confirmation box"
  step wait-button Quit 60000 || fail "did not reach Quit"
  step read; shot failed
  [ "$(reading message)" = 'Uninstallation process failed' ] || fail "failed message"
  case "$(reading status)" in *' -- Cleaning up registry... Access denied'*|*' -- Cleaning up registry... Access is denied'*) ;; *) fail "the registry stage should show the error";; esac
  step allow-values "$settings"
  log=$appdir/Kelvane.log
  grep -qF '0005 DeletePlanValue: HKEY_CURRENT_USER\SOFTWARE\EXAMPLE SUITE GUI\SETTINGS\LEVEL' "$log" || fail "no line for the value that stayed"
  grep -q '0005 CleanupRegValues: 3 values' "$log" || fail "the values' count line"
  grep -q 'CleanupRegKeys' "$log" && fail "the keys were handled after a failed value"
  reg_has 'HKCU\Software\Example Suite GUI\Settings' Level || fail "the undeletable value went"
  reg_has 'HKCU\Software\Microsoft\Windows\CurrentVersion\Run' ExampleSuiteGuiTray && fail "the other values should still go"
  step click; step wait-gone 20000 || fail "Quit did not close the dialog"
  ;;
*) echo "unknown scenario $scenario"; exit 2 ;;
esac
echo "PASS [$scenario]"
