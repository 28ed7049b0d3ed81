#!/bin/sh
# Installs the Debian packages the build and tests need, only when one is missing.
set -e
PKGS="cmake make g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 wine64 googletest python3 python3-pefile"
[ -n "$EXTRA_PKGS" ] && PKGS="$PKGS $EXTRA_PKGS"
missing=""
for p in $PKGS; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  echo "installing:$missing" >&2
  if [ "$(id -u)" != 0 ]; then echo "need root to install:$missing" >&2; exit 1; fi
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $missing >/dev/null
fi
