#!/bin/sh
# Runs a Windows program under wine64 in the build tree's private prefix,
# creating that prefix (headless: graphics driver "null") on first use.
# WINEPREFIX may be set by the caller; otherwise the prefix lives beside the
# current build tree (found from the working directory CTest gives us).
set -e
if [ -z "$WINEPREFIX" ]; then
  dir=$(pwd)
  while [ "$dir" != / ] && [ ! -f "$dir/CMakeCache.txt" ]; do dir=$(dirname "$dir"); done
  [ "$dir" = / ] && dir=$(pwd)
  WINEPREFIX="$dir/wineprefix"
fi
export WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
WINE=/usr/lib/wine/wine64
if [ ! -f "$WINEPREFIX/.headless" ]; then
  mkdir -p "$WINEPREFIX"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/.headless" ]; then
      $WINE wineboot -i >/dev/null 2>&1 || true
      $WINE reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
      /usr/lib/wine/wineserver -w 2>/dev/null || true
      touch "$WINEPREFIX/.headless"
    fi
  ) 9>"$WINEPREFIX.lock"
fi
exec $WINE "$@"
