#!/bin/sh
# Pictures of the gauge (331 x 154) for idle, full throttle, reverse, flaps
# and engines off, drawn by the preview host under Wine into build/preview/.
# $1: the x86_64 build folder (default build/win64).
set -e
build=$(cd "${1:-build/win64}" && pwd)
tools=$(cd "$(dirname "$0")" && pwd)
out="$build/../preview"
mkdir -p "$out"
out=$(cd "$out" && pwd)
# The host draws into a folder of the build tree, the only one its sealed
# prefix reaches; the pictures then move to build/preview.
work="$build/preview-work"
mkdir -p "$work"
rm -f "$out"/*.ppm "$work"/*.ppm
(cd "$work" && "$tools/wine-run.sh" "$build/tests/bin/gauge_preview.exe")
mv "$work"/*.ppm "$out"/
/usr/bin/python3 "$tools/ppm_to_png.py" "$out"/*.ppm
