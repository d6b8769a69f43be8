# Shared by the GUI scripts (sourced): the throwaway prefix's environment, a private X display,
# and the driver steps run on the program's virtual desktop. The caller sets root, out, result
# and result_win before it runs a step.

# gui_env DESKTOP: exports the prefix's environment, names the runner, the server and the virtual
# desktop, and ends Wine processes left over from an interrupted run (a leftover desktop would
# still draw on its dead display).
gui_env() {
  export KV_WINEPREFIX=${KV_GUI_PREFIX:-$(dirname "$out")/prefix}
  export WINEPREFIX=$KV_WINEPREFIX HOME=$KV_WINEPREFIX.home WINEDEBUG=-all
  run="$root/scripts/wine-run.sh"
  server=/usr/lib/wine/wineserver64
  desktop="explorer /desktop=$1,800x600"
  "$server" -k >/dev/null 2>&1
}

# gui_display: a private Xvfb display, ended with the prefix's processes when the script exits.
gui_display() {
  local n
  for n in $(seq 90 120); do
    [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] || break
  done
  Xvfb :$n -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb=$!
  export DISPLAY=:$n
  trap gui_cleanup EXIT
  sleep 1
}

gui_cleanup() {
  "$server" -k >/dev/null 2>&1
  kill "$xvfb" 2>/dev/null
}

# Runs one driver step on the program's desktop and waits for its result. The starter runs in the
# background: when the desktop has just closed, it becomes the new desktop's process and does not
# return. A driver that never reported (its start raced with the desktop's) is started again.
step() {
  local attempt tick
  for attempt in 1 2; do
    rm -f "$result"
    "$run" $desktop 'C:\kvtest\driver.exe' -o "$result_win" "$@" >/dev/null 2>&1 &
    for tick in $(seq 1 450); do
      grep -q '^exit=' "$result" 2>/dev/null && break
      # After 20 s without a result and without a driver process, start it once more.
      [ "$attempt" = 1 ] && [ "$tick" -ge 100 ] && ! [ -s "$result" ] && ! pgrep -f 'driver.exe' >/dev/null && break
      sleep 0.2
    done
    grep -q '^exit=' "$result" 2>/dev/null && break
  done
  cat "$result" >> "$out/readings.txt" 2>/dev/null
  grep -q '^exit=0' "$result" 2>/dev/null
}

# The value of one reading of the last step (the driver writes CR LF line ends).
reading() { tr -d '\r' < "$result" | grep "^$1=" | head -1 | cut -d= -f2-; }
# A screenshot of the display, in $shots when the caller names a folder for them, else in $out.
shot() { import -window root "${shots:-$out}/$1.png" 2>/dev/null; }

# program_pid PATTERN: the id of this prefix's program whose path matches PATTERN (a pgrep
# pattern, e.g. 'kvtest\\crash_safety\\Kelvane.exe'); nothing when it does not run.
program_pid() {
  local pid
  for pid in $(pgrep -f "$1" 2>/dev/null); do
    # The starters name the program too; only the program's own command begins with it.
    case "$(tr '\0' '\n' < "/proc/$pid/cmdline" 2>/dev/null | head -1)" in
    *'\Kelvane.exe') ;;
    *) continue ;;
    esac
    tr '\0' '\n' < "/proc/$pid/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX" && { echo "$pid"; return; }
  done
}
