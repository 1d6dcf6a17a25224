#!/usr/bin/env bash
# Runs a Windows program under wine64 with a private prefix, never the user's
# ~/.wine: the prefix, and the HOME and XDG folders Wine writes into, live in
# WINE_RUN_DIR (default: build-windows/wine beside this script's tree). The
# prefix is made once, under a lock, by whichever run comes first.
#   scripts/wine-run.sh PROGRAM.exe [ARGS...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${WINE_RUN_DIR:-$root/build-windows/wine}
mkdir -p "$dir/home" "$dir/xdg/config" "$dir/xdg/data" "$dir/xdg/cache" "$dir/xdg/runtime"
chmod 700 "$dir/xdg/runtime"
export HOME=$dir/home
export XDG_CONFIG_HOME=$dir/xdg/config XDG_DATA_HOME=$dir/xdg/data XDG_CACHE_HOME=$dir/xdg/cache
export XDG_RUNTIME_DIR=$dir/xdg/runtime
export WINEPREFIX=$dir/prefix
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEARCH=win64
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine)

if [ ! -f "$WINEPREFIX/.rimbrel-ready" ]; then
  (
    flock 9
    if [ ! -f "$WINEPREFIX/.rimbrel-ready" ]; then
      rm -rf "$WINEPREFIX"
      "$wine" wineboot --init >/dev/null 2>&1 || true
      /usr/bin/wineserver -w 2>/dev/null || wineserver -w 2>/dev/null || true
      touch "$WINEPREFIX/.rimbrel-ready"
    fi
  ) 9>"$dir/prefix.lock"
fi
exec "$wine" "$@"
