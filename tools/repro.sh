#!/bin/sh
# Reproducibility check: builds the committed HEAD twice from scratch, each
# time from its own copy of the sources (dist/ is written beside them) in
# FOLDER/a/src and FOLDER/b/src, the second under another time zone, umask
# and locale, and compares the SHA-256 sums of the shipped files of both
# flavours (dist/win32, dist/win64) and of the release bundle (dist/release).
# The developer's own build/ and dist/ stay as they are; uncommitted changes
# are not part of the builds. Exit code 0 when every sum agrees.
# Usage: tools/repro.sh [FOLDER]   (default build/repro; JOBS=2)
set -e
ROOT=$(cd "$(dirname "$0")/.." && pwd)
OUT=$(mkdir -p "${1:-$ROOT/build/repro}" && cd "${1:-$ROOT/build/repro}" && pwd)
JOBS=${JOBS:-2}
cd "$ROOT"
commit=$(git rev-parse HEAD)
# The release zip dates its entries with the commit's time.
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct "$commit")
export SOURCE_DATE_EPOCH
if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
  echo "repro: uncommitted changes are not built, only $commit"
fi

# build SIDE: a clean copy of the commit, both flavours' shipped files and
# the release bundle.
build() {
  side="$OUT/$1"
  rm -rf "$side"
  mkdir -p "$side/src"
  git archive "$commit" | tar -x -C "$side/src"
  echo "repro: building $commit in $side/src"
  (
    cd "$side/src"
    cmake --preset win32
    cmake --build build/win32 -j"$JOBS" --target release
    cmake --preset win64
    cmake --build build/win64 -j"$JOBS" --target uninstaller quadrant_gauge uninstlog
  ) > "$side/build.log" 2>&1 || { echo "repro: the build in $side failed, see $side/build.log" >&2; exit 2; }
  (cd "$side/src" && sha256sum dist/win32/* dist/win64/* dist/release/*) > "$side/SHA256SUMS"
}

build a
# The second build: another folder, time zone, umask and locale.
(umask 077; export TZ=Asia/Kathmandu LC_ALL=C; build b)

status=0
count=0
while read -r sum name; do
  other=$(awk -v n="$name" '$2 == n { print $1 }' "$OUT/b/SHA256SUMS")
  size=$(wc -c < "$OUT/a/src/$name")
  count=$((count + 1))
  if [ "$sum" = "$other" ]; then
    printf '%s  %8d  %s\n' "$sum" "$size" "$name"
  else
    printf 'DIFFERENT  %s\n  a: %s\n  b: %s\n' "$name" "$sum" "${other:-missing}"
    status=1
  fi
done < "$OUT/a/SHA256SUMS"
if [ "$(wc -l < "$OUT/b/SHA256SUMS")" != "$count" ]; then
  echo "repro: the two builds made different sets of files"
  status=1
fi
if [ $status = 0 ]; then
  echo "repro: $count files identical in both builds of $commit"
else
  echo "repro: the builds differ" >&2
fi
exit $status
