#!/bin/sh
# The sealed prefix holds: canaries on the host, where an unsealed prefix's
# drive Z: and profile folders lead (the home folder, its XDG folders and
# /tmp), survive a removal run with a wildcard on each profile folder; no
# entry of the prefix's dosdevices and no link under its drive_c reaches
# outside the build tree; and the sandbox around Wine is a boundary: a
# canary under /var/tmp survives lines that name it through \\?\unix\ and Z:.
# Usage: sandbox_test.sh BUILD_TREE PROBE_EXE
set -u
BUILD=$(cd "$1" && pwd -P)
PROBE=$2
TOOLS=$(cd "$(dirname "$0")/../../tools" && pwd)
PREFIX=${WINEPREFIX:-$BUILD/wineprefix}
failed=0

# The probe's first test makes (and seals) the prefix if it is new.
(cd "$BUILD" && sh "$TOOLS/wine-run.sh" "$PROBE" --gtest_filter='Sandbox.Drives*') || failed=1

# Independently of seal-prefix.sh: every link resolves inside the build tree
# (device entries such as com1 -> /dev/ttyS0 reach no files), or is one of
# Wine's own library files that the 32-bit VM's prefix links to (files, not
# folders, on the guest's read-only view of the host).
[ -d "$PREFIX/dosdevices" ] || { echo "FAIL: no prefix at $PREFIX"; exit 1; }
inside() {
  target=$(readlink -m "$1")
  case "$target" in "$BUILD"|"$BUILD"/*) return 0 ;; esac
  case "$target" in /usr/lib/*-linux-gnu/wine/*-windows/*) [ -f "$target" ] && return 0 ;; esac
  return 1
}
for entry in "$PREFIX"/dosdevices/*; do
  [ -c "$entry" ] && continue
  inside "$entry" || { echo "FAIL: $entry -> $(readlink "$entry") leaves the build tree"; failed=1; }
done
outside=$(find "$PREFIX/drive_c" -type l | while IFS= read -r link; do
  inside "$link" || echo "FAIL: $link -> $(readlink "$link") leaves the build tree"
done)
[ -z "$outside" ] || { echo "$outside"; failed=1; }
for name in Desktop Documents Downloads Music Pictures Videos; do
  for folder in "$PREFIX"/drive_c/users/*/"$name"; do
    [ -d "$folder" ] && [ ! -L "$folder" ] || { echo "FAIL: $folder is not a real folder"; failed=1; }
  done
done

# The host's canaries: a file and a folder with a file in each place.
canary="dorvane-sandbox-canary-$$"
places="$HOME /tmp"
for dir in DESKTOP DOCUMENTS DOWNLOAD MUSIC PICTURES VIDEOS TEMPLATES; do
  place=$(xdg-user-dir "$dir" 2>/dev/null || true)
  [ -n "$place" ] && [ -d "$place" ] && places="$places $place"
done
places=$(for place in $places; do readlink -f "$place"; done | sort -u)
for place in $places; do
  echo "host canary" > "$place/$canary"
  mkdir -p "$place/$canary.d" && echo "host canary" > "$place/$canary.d/inner.txt"
done
(cd "$BUILD" && SANDBOX_CANARY=$canary sh "$TOOLS/wine-run.sh" "$PROBE" \
  --gtest_filter='Sandbox.Wildcard*') || failed=1
for place in $places; do
  for file in "$place/$canary" "$place/$canary.d/inner.txt"; do
    if [ "$(cat "$file" 2>/dev/null)" != "host canary" ]; then
      echo "FAIL: the host's $file was touched"
      failed=1
    fi
  done
  rm -rf "$place/$canary" "$place/$canary.d"
done

# The boundary: a canary outside the build tree, which Wine's \\?\unix\
# names reach whatever the drives, survives lines and calls aimed at it.
# Inside the 32-bit VM the guest is the boundary (the host's / reaches it
# read-only, under a throw-away overlay) and Wine runs without bwrap there.
host=
if [ -z "${DORVANE_VM:-}" ]; then
  host=$(mktemp -d /var/tmp/dorvane-host-canary.XXXXXX)
  echo "host canary" > "$host/canary.txt"
  (cd "$BUILD" && SANDBOX_HOST_CANARY=$host sh "$TOOLS/wine-run.sh" "$PROBE" \
    --gtest_filter='Sandbox.HostCanary*') || failed=1
  if [ "$(cat "$host/canary.txt" 2>/dev/null)" != "host canary" ]; then
    echo "FAIL: the host's $host/canary.txt was touched"
    failed=1
  fi
  rm -rf "$host"
fi
[ "$failed" = 0 ] && echo "sandbox holds: host canaries in" $places $host "untouched"
exit $failed
