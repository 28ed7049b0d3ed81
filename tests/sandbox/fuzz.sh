#!/bin/sh
# Runs the whole-program fuzz in a sealed prefix of its own: drive Z: is
# BUILD/fuzz/root (a copy of the fuzz program and nothing else), C: the
# prefix's drive_c. The seal is verified before the first log; a failed run
# may have damaged the prefix, so it is made afresh next time.
# Usage: fuzz.sh BUILD_TREE FUZZ_EXE   (FUZZ_SEED, FUZZ_COUNT from the environment)
set -u
BUILD=$(cd "$1" && pwd -P)
TOOLS=$(cd "$(dirname "$0")/../../tools" && pwd)
ROOT=$BUILD/fuzz/root
PREFIX=$BUILD/fuzz/prefix
mkdir -p "$ROOT"
cp "$2" "$ROOT/fuzz_whole.exe"
run() { (cd "$ROOT" && WINEPREFIX="$PREFIX" SANDBOX_ROOT="$ROOT" sh "$TOOLS/wine-run.sh" "$@"); }
# Makes and seals the prefix when it is new, then checks the seal twice:
# from the host (no link leaves ROOT) and from inside (drives, profile folders).
run "$ROOT/fuzz_whole.exe" --check || exit 1
sh "$TOOLS/seal-prefix.sh" --verify "$PREFIX" "$ROOT" || { echo "fuzz: the prefix is not sealed"; exit 1; }
run "$ROOT/fuzz_whole.exe"
status=$?
if [ $status != 0 ]; then
  WINEPREFIX="$PREFIX" /usr/lib/wine/wineserver -k 2>/dev/null
  rm -rf "$PREFIX"
fi
exit $status
