#!/bin/sh
# Runs a Windows program under wine64 in the build tree's private prefix,
# creating that prefix (headless: graphics driver "null") on first use.
# Inside the 32-bit test VM (DORVANE_VM set by tools/vm/init) it runs the
# guest's 32-bit Wine in the prefix the VM's job names.
#   wine-run.sh PROGRAM [ARGS...]     wine-run.sh --server ARGS (wineserver)
#   wine-run.sh --up HOLDER.exe: makes the prefix, starts a wineserver and
#   the desktop holder, which stay until --down, so that a test suite pays
#   Wine's start-up once and no test starts a desktop of its own.
# WINEPREFIX may be set by the caller; otherwise the prefix lives beside the
# current build tree (found from the working directory CTest gives us).
# The prefix is sealed before every start (tools/seal-prefix.sh): drive Z:
# is the build tree (or SANDBOX_ROOT, a folder inside it), C: the prefix's
# own drive_c, and no other drive or profile folder reaches the host. A seal
# is no boundary (Wine's \\?\unix\ names reach every host file), so on the
# host every Wine process and server runs under bwrap (tools/wine-box.sh):
# the host read-only, the build tree and the prefix writable.
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
# The sandbox's writable tree: the build tree, or SANDBOX_ROOT outside one;
# a prefix elsewhere (the demo's, beside the tree) is bound as well.
tree=$dir
[ "$tree" != / ] || tree=$SANDBOX_ROOT
case "$WINEPREFIX" in
  "$tree"/*) ;;
  *) WINE_BOX_ALSO=$WINEPREFIX${WINE_BOX_ALSO:+:$WINE_BOX_ALSO}; export WINE_BOX_ALSO ;;
esac
# boxed: runs a command in the sandbox (the VM's guest is one already);
# "boxed --detached" for one that outlives this script (server, holder).
boxed() {
  if [ -n "$DORVANE_VM" ]; then
    [ "$1" != --detached ] || shift
    "$@"
  elif [ "$1" = --detached ]; then
    shift
    sh "$tools/wine-box.sh" --detached "$tree" "$@"
  else
    sh "$tools/wine-box.sh" "$tree" "$@"
  fi
}
if [ "$1" = --server ]; then
  shift
  boxed --detached $WINESERVER "$@"
  exit
fi
holder=$WINEPREFIX/.desktop-holder
if [ "$1" = --down ]; then
  boxed $WINESERVER -k 2>/dev/null || true  # none running is as good
  # The holder's group may have ended with the server already.
  if [ -f "$holder" ]; then kill -- "-$(cat "$holder")" 2>/dev/null || true; fi
  rm -f "$holder" "$holder.out"
  exit 0
fi
if [ ! -f "$WINEPREFIX/.headless" ]; then
  mkdir -p "$WINEPREFIX"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/.headless" ]; then
      boxed $WINE wineboot -i >/dev/null 2>&1 || true
      boxed $WINE reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
      boxed $WINESERVER -w 2>/dev/null || true
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
  boxed --detached $WINESERVER -p </dev/null >/dev/null 2>&1 || true
  # The desktop holder (tests/support/desktop_holder.cpp) keeps Wine's
  # desktop from closing between tests; its output, and so that of the
  # desktop process it starts, is a file. In its own process group, so that
  # --down can end it whatever the server's state.
  [ -n "$2" ] || { echo "wine-run: --up needs the desktop holder program" >&2; exit 2; }
  out=$holder.out
  if [ ! -f "$holder" ] || ! kill -0 "$(cat "$holder")" 2>/dev/null; then
    rm -f "$out"
    if [ -n "$DORVANE_VM" ]; then
      setsid "$WINE" "$2" </dev/null >"$out" 2>&1 &
    else
      setsid sh "$tools/wine-box.sh" --detached "$tree" "$WINE" "$2" </dev/null >"$out" 2>&1 &
    fi
    echo $! > "$holder"
  fi
  # Until the desktop is there and held (CTest's time-out bounds the wait).
  while ! grep -q '^ready' "$out" 2>/dev/null; do
    if ! kill -0 "$(cat "$holder")" 2>/dev/null; then
      echo "wine-run: the desktop holder ended:" >&2
      cat "$out" >&2
      rm -f "$holder"
      exit 1
    fi
    sleep 0.1
  done
  exit 0
fi
# The program writes to files that this script's output follows as they
# grow: a process it starts (Wine's desktop, or a new server's services)
# inherits a file, not the caller's pipe, which would otherwise stay open
# after the program ends and keep CTest waiting until its time-out.
out=$WINEPREFIX.out.$$
: >"$out.1"
: >"$out.2"
exec 3<&0
boxed $WINE "$@" <&3 >"$out.1" 2>"$out.2" &
pid=$!
exec 3<&-
trap 'kill "$pid" 2>/dev/null' HUP INT TERM
tail -n +1 -s 0.1 --pid="$pid" -f "$out.2" >&2 &
tail -n +1 -s 0.1 --pid="$pid" -f "$out.1"
rc=0
wait "$pid" || rc=$?
wait
rm -f "$out.1" "$out.2"
exit $rc
