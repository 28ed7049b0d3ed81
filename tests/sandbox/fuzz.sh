#!/bin/sh
# Runs the whole-program fuzz in a sealed prefix of its own: drive Z: is
# BUILD/fuzz/root (a copy of the fuzz program and nothing else), C: the
# prefix's drive_c. The seal is verified before the first log. A log that
# wrecks the prefix (found and recorded as a failure) gets a fresh prefix
# and the run resumes after it; the run still fails in the end, whatever
# the later rounds find. A failed run leaves no prefix behind, so the next
# run starts clean.
# Usage: fuzz.sh BUILD_TREE FUZZ_EXE   (FUZZ_SEED, FUZZ_COUNT from the environment)
set -u
BUILD=$(cd "$1" && pwd -P)
TOOLS=$(cd "$(dirname "$0")/../../tools" && pwd)
# FUZZ_DIR: another folder of the build tree, for a second run side by side.
DIR=$BUILD/${FUZZ_DIR:-fuzz}
ROOT=$DIR/root
PREFIX=$DIR/prefix
OUT=$DIR/last-run.txt
mkdir -p "$ROOT"
run() { (cd "$ROOT" && WINEPREFIX="$PREFIX" SANDBOX_ROOT="$ROOT" sh "$TOOLS/wine-run.sh" "$@"); }
# A fresh prefix is a copy of the one made (and sealed) first: making one
# takes a minute, a copy seconds. The first is a copy of the suite's own
# prefix when there is one (the 32-bit VM's is the only one it can use),
# sealed again to ROOT by wine-run.sh.
TEMPLATE=$DIR/prefix-template
SUITE_PREFIX=${WINEPREFIX:-$BUILD/wineprefix}
if [ ! -d "$PREFIX" ] && [ -f "$SUITE_PREFIX/.headless" ]; then
  mkdir -p "$PREFIX"
  cp -a "$SUITE_PREFIX/." "$PREFIX/"
fi
fresh() {
  run --server -k 2>/dev/null
  rm -rf "$PREFIX"
  [ -d "$TEMPLATE" ] && cp -a "$TEMPLATE" "$PREFIX"
}
first=${FUZZ_FIRST:-0}
end=$((first + ${FUZZ_COUNT:-60}))
: > "$OUT"
start=$(date +%s)
status=3
rounds=0
failed_round=
while [ $status = 3 ] && [ $rounds -lt 100 ]; do
  rounds=$((rounds + 1))
  cp "$2" "$ROOT/fuzz_whole.exe"
  # Makes and seals the prefix when it is new, then checks the seal from the
  # host (no link leaves ROOT) and from inside (drives, profile folders).
  run "$ROOT/fuzz_whole.exe" --check || { rm -rf "$PREFIX" "$TEMPLATE"; exit 1; }
  sh "$TOOLS/seal-prefix.sh" --verify "$PREFIX" "$ROOT" ||
    { echo "fuzz: the prefix is not sealed"; rm -rf "$PREFIX" "$TEMPLATE"; exit 1; }
  if [ ! -d "$TEMPLATE" ]; then
    run --server -w
    cp -a "$PREFIX" "$TEMPLATE"
  fi
  { FUZZ_FIRST=$first FUZZ_COUNT=$((end - first)) run "$ROOT/fuzz_whole.exe"
    echo $? > "$DIR/status"; } | tee -a "$OUT"
  status=$(cat "$DIR/status")
  [ "$status" = 0 ] || failed_round=$rounds
  resume=$(sed -n 's/^fuzz: resume FUZZ_FIRST=\([0-9]*\).*/\1/p' "$OUT" | tail -1)
  if [ $status = 3 ] && [ -n "$resume" ]; then
    fresh
    first=$resume
  fi
done
# A round that wrecked the prefix took its failures file with it; its
# report stays in $OUT, and the verdict keeps it.
[ $status = 0 ] && [ -n "$failed_round" ] && status=1
[ $status = 0 ] || fresh
# Totals over the rounds.
awk -v seconds=$(( $(date +%s) - start )) '
  /^fuzz: seed .* run, / { split($0, a, ": "); split(a[3], b, " "); run += b[1]; failed += b[3]; seed = $3; sub(",", "", seed) }
  END { printf "fuzz total: seed %s %d logs run, %d failed, %d s\n", seed, run, failed, seconds }' "$OUT"
exit $status
