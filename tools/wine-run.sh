#!/bin/sh
# Runs a Windows program under wine64 in the build tree's private prefix,
# creating that prefix (headless: graphics driver "null") on first use.
# Inside the 32-bit test VM (DORVANE_VM set by tools/vm/init) it runs the
# guest's 32-bit Wine in the prefix the VM's job names.
#   wine-run.sh PROGRAM [ARGS...]     wine-run.sh --server ARGS (wineserver)
#   wine-run.sh --up: makes the prefix and starts a wineserver that stays
#   until --down, so that a test suite pays Wine's start-up once.
# WINEPREFIX may be set by the caller; otherwise the prefix lives beside the
# current build tree (found from the working directory CTest gives us).
# The prefix is sealed before every start (tools/seal-prefix.sh): drive Z:
# is the build tree (or SANDBOX_ROOT, a folder inside it), C: the prefix's
# own drive_c, and no other drive or profile folder reaches the host.
set -e
tools=$(cd "$(dirname "$0")" && pwd)
dir=$(pwd)
while [ "$dir" != / ] && [ ! -f "$dir/CMakeCache.txt" ]; do dir=$(dirname "$dir"); done
if [ -z "$SANDBOX_ROOT" ]; then
  if [ "$dir" = / ]; then
    echo "wine-run: run me inside a build tree, or set SANDBOX_ROOT to a folder inside one" >&2
    exit 2
  fi
  SANDBOX_ROOT=$dir
fi
[ -n "$WINEPREFIX" ] || WINEPREFIX="$SANDBOX_ROOT/wineprefix"
export WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all}"
# No .NET or HTML engine installs; no menu entries or desktop files written
# into the host's home when a program saves a shortcut.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}"
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver
# On the host, plain `wine` would pick the 32-bit loader: Exec format error.
[ -n "$DORVANE_VM" ] && WINE=wine && WINESERVER=wineserver
if [ "$1" = --server ]; then
  shift
  exec $WINESERVER "$@"
fi
holder=$WINEPREFIX/.desktop-holder
if [ "$1" = --down ]; then
  $WINESERVER -k 2>/dev/null || true  # none running is as good
  # The holder's group may have ended with the server already.
  if [ -f "$holder" ]; then kill -- "-$(cat "$holder")" 2>/dev/null || true; fi
  rm -f "$holder"
  exit 0
fi
if [ ! -f "$WINEPREFIX/.headless" ]; then
  mkdir -p "$WINEPREFIX"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/.headless" ]; then
      $WINE wineboot -i >/dev/null 2>&1 || true
      $WINE reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
      $WINESERVER -w 2>/dev/null || true
      sh "$tools/seal-prefix.sh" "$WINEPREFIX" "$SANDBOX_ROOT"
      touch "$WINEPREFIX/.headless"
    fi
  ) 9>"$WINEPREFIX.lock"
fi
sh "$tools/seal-prefix.sh" "$WINEPREFIX" "$SANDBOX_ROOT"
if [ "$1" = --up ]; then
  # One already running (the VM's job starts its own) is as good. The server
  # and the system processes it starts outlive this script: with our output
  # they would hold the caller's pipe open (CTest would wait for them).
  $WINESERVER -p </dev/null >/dev/null 2>&1 || true
  # Wine closes its desktop (explorer.exe) a moment after the last program
  # ends; a program that starts while it is closing starts another inside
  # its own job, or under emulation gets no window driver at all. The
  # desktop starts here, with no output (one that a test starts inherits the
  # test's pipe), and one idle console program holds it until --down (its
  # own process group, so that --down ends the pipe feeding it too).
  if [ ! -f "$holder" ]; then
    setsid sh -c '"$0" explorer /desktop & tail -f /dev/null | "$0" cmd /k' "$WINE" \
      </dev/null >/dev/null 2>&1 &
    echo $! > "$holder"
  fi
  exec $WINE cmd /c exit </dev/null >/dev/null 2>&1
fi
exec $WINE "$@"
