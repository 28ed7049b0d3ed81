#!/bin/sh
# Runs every benchmark program of the x86_64 build under Wine; each prints
# its own figures.
set -e
build=${1:-build/win64}
found=0
for bench in "$build"/tests/bin/bench_*.exe; do
  [ -f "$bench" ] || continue
  found=1
  echo "== $(basename "$bench")"
  (cd "$build" && ../../tools/wine-run.sh "tests/bin/$(basename "$bench")")
done
[ "$found" = 1 ] || echo "no benchmark programs built"
