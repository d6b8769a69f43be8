#!/bin/bash
# Runs a Windows program under wine64 in the build's throwaway prefix (never ~/.wine).
# Used as CMAKE_CROSSCOMPILING_EMULATOR by the win64 preset and by the scripts.
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
# The build's own test prefix has no display: Wine's null graphics driver serves the windows of
# the tests there (a prefix named by KV_WINEPREFIX keeps its own, e.g. the GUI tests' on Xvfb).
[ -z "${KV_WINEPREFIX:-}" ] && export KV_WINE_GRAPHICS=${KV_WINE_GRAPHICS:-null}
export WINEPREFIX=${KV_WINEPREFIX:-$root/build/win64/wineprefix}
# A new prefix links its user folders to $HOME: point it at a throwaway folder first.
export HOME=${KV_WINEHOME:-$WINEPREFIX.home}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
mkdir -p "$HOME"
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64)
"$here/wine-prefix.sh" >/dev/null 2>&1 || { echo "wine-run: cannot prepare $WINEPREFIX" >&2; exit 97; }
exec "$wine" "$@"
