#!/bin/bash
# Creates the throwaway Wine prefix once (serialised with a lock) and makes sure a persistent
# server with its background services runs for it, started detached from the caller's output so
# that CTest's pipes are not held open by Wine's helper processes.
# Booting the prefix (wineboot) also carries out the deletions registered for the next restart,
# so it happens only when no server runs for the prefix: that is a restart of the prefix.
set -u
: "${WINEPREFIX:?}"
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64)
server=/usr/lib/wine/wineserver64
[ -x "$server" ] || server=$(command -v wineserver)
mkdir -p "$(dirname "$WINEPREFIX")"

# True when a wine server process serves this prefix.
server_running() {
  local pid
  for pid in $(pgrep -x wineserver64 2>/dev/null; pgrep -x wineserver 2>/dev/null); do
    if tr '\0' '\n' < "/proc/$pid/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX"; then
      return 0
    fi
  done
  return 1
}

(
  flock 9
  # Wine's processes must not inherit the lock (fd 9): they outlive this script.
  if [ ! -f "$WINEPREFIX/.kv-ready" ]; then
    rm -rf "$WINEPREFIX"
    setsid "$wine" wineboot -i </dev/null >/dev/null 2>&1 9>&-
    "$server" -w 9>&-
    touch "$WINEPREFIX/.kv-ready"
  fi
  # KV_WINE_GRAPHICS names the prefix's graphics driver: "null" serves windows (dialogs, message
  # boxes, queues, painting) without any display. The desktop process reads it when it starts, so
  # a prefix that had another one is stopped first; the next start below is then a restart.
  if [ -n "${KV_WINE_GRAPHICS:-}" ] &&
     [ "$(cat "$WINEPREFIX/.kv-graphics" 2>/dev/null)" != "$KV_WINE_GRAPHICS" ]; then
    server_running && "$server" -k 9>&- && "$server" -w 9>&-
    setsid "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d "$KV_WINE_GRAPHICS" /f \
      </dev/null >/dev/null 2>&1 9>&-
    "$server" -w 9>&-
    echo "$KV_WINE_GRAPHICS" > "$WINEPREFIX/.kv-graphics"
  fi
  if ! server_running; then
    setsid "$server" -p </dev/null >/dev/null 2>&1 9>&-
    setsid "$wine" wineboot </dev/null >/dev/null 2>&1 9>&-
  fi
) 9>"$WINEPREFIX.lock"
exit 0
