#!/bin/sh
# Screenshots of the uninstaller's question and of its dialog in both end
# layouts, taken under Xvfb with Wine's normal (X11) graphics driver in a
# prefix of their own. Usage: tools/screenshots.sh BUILD_DIR (e.g. build/win64)
# The PNGs land in build/screenshots/.
set -e
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$(cd "${1:-build/win64}" && pwd)
RUNNER="$BUILD/tests/bin/e2e_runner.exe"
OUT="$(dirname "$BUILD")/screenshots"
# The runner asks for pictures through a folder of the build tree: the
# prefix is sealed (tools/seal-prefix.sh), its drive Z: is the build tree.
ASK="$BUILD/screenshot-requests"
PREFIX="$(dirname "$BUILD")/screenshot-prefix"
# Wine and its server run in the build tree's sandbox (tools/wine-box.sh),
# with this prefix writable too; Xvfb's socket is reached by its abstract
# name, which the sandbox's private /tmp does not hide.
export WINE_BOX_ALSO="$PREFIX"
BOX="sh $ROOT/tools/wine-box.sh"
WINE="$BOX $BUILD /usr/lib/wine/wine64"
WINESERVER="$BOX --detached $BUILD /usr/lib/wine/wineserver"
[ -f "$RUNNER" ] || { echo "screenshots: $RUNNER is missing; run 'make' first" >&2; exit 1; }

# Xvfb and ImageMagick's import, installed only when missing.
missing=""
for pkg in xvfb imagemagick; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" ||
    missing="$missing $pkg"
done
if [ -n "$missing" ]; then
  if [ "$(id -u)" != 0 ]; then echo "screenshots: need root to install:$missing" >&2; exit 1; fi
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $missing >/dev/null
fi

mkdir -p "$OUT" "$ASK"
rm -f "$ASK/want"
# A free display number.
display=77
while [ -e "/tmp/.X$display-lock" ] || [ -e "/tmp/.X11-unix/X$display" ]; do
  display=$((display + 1))
done
Xvfb ":$display" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true' EXIT INT TERM
export DISPLAY=":$display"
export WINEPREFIX="$PREFIX" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
sleep 1

# The prefix draws into a virtual desktop, so that windows get Wine's own
# title bars (Xvfb runs no window manager).
if [ ! -f "$PREFIX/.desktop" ]; then
  echo "screenshots: creating the Wine prefix $PREFIX (once, takes a while)"
  $WINE wineboot -i >/dev/null 2>&1 || true
  $WINE reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
  $WINE reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 800x600 /f >/dev/null 2>&1
  $WINESERVER -w
  sh "$ROOT/tools/seal-prefix.sh" "$PREFIX" "$BUILD"
  touch "$PREFIX/.desktop"
fi
sh "$ROOT/tools/seal-prefix.sh" "$PREFIX" "$BUILD"
cd "$BUILD"

# The runner asks for a picture by writing the view's name into ASK/want and
# waits until the file is gone.
shoot() {
  scenario=$1
  $WINE "$RUNNER" --shots "$ASK" "$BUILD/scenarios/$scenario.scn" \
    > "$OUT/$scenario.log" 2>&1 &
  runner=$!
  while kill -0 $runner 2>/dev/null; do
    if [ -f "$ASK/want" ]; then
      name=$(tr -d '\r\n' < "$ASK/want")
      sleep 1
      import -window root "$OUT/$name.png"
      echo "screenshots: $OUT/$name.png"
      rm -f "$ASK/want"
    fi
    sleep 0.2
  done
  wait $runner || { echo "screenshots: scenario $scenario failed, see $OUT/$scenario.log" >&2; return 1; }
}

status=0
shoot finish || status=1
shoot leftovers-remove-one || status=1
$WINESERVER -k 2>/dev/null || true
exit $status
