#!/bin/bash
# Creates the throwaway Wine prefix once (serialised with a lock) and makes sure its server and
# background services run detached from the caller's output, so that CTest's pipes are not held
# open by Wine's helper processes.
set -u
: "${WINEPREFIX:?}"
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64)
server=/usr/lib/wine/wineserver64
[ -x "$server" ] || server=$(command -v wineserver)
mkdir -p "$(dirname "$WINEPREFIX")"
(
  flock 9
  if [ ! -f "$WINEPREFIX/.kv-ready" ]; then
    rm -rf "$WINEPREFIX"
    setsid "$wine" wineboot -i </dev/null >/dev/null 2>&1 9>&-
    "$server" -w 9>&-
    touch "$WINEPREFIX/.kv-ready"
  fi
  # Wine's processes must not inherit the lock (fd 9): they outlive this script.
  # A persistent server (a no-op when one runs), then wineboot to start the services under it.
  setsid "$server" -p </dev/null >/dev/null 2>&1 9>&-
  setsid "$wine" wineboot </dev/null >/dev/null 2>&1 9>&-
) 9>"$WINEPREFIX.lock"
exit 0
