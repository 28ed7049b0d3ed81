#!/bin/sh
# Installs the Debian packages the build and tests need, only when one is missing.
# With the argument "win32" it also installs what the 32-bit test VM needs
# (tools/vm/): the i386 architecture, 32-bit Wine, QEMU and a static busybox.
set -e
PKGS="cmake make bubblewrap g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 wine64 googletest python3 python3-pefile"
if [ "$1" = win32 ]; then
  PKGS="$PKGS g++-mingw-w64-i686-posix wine32:i386 qemu-system-x86 busybox-static cpio"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    if [ "$(id -u)" != 0 ]; then echo "need root to add the i386 architecture" >&2; exit 1; fi
    dpkg --add-architecture i386
    NEED_UPDATE=1
  fi
fi
[ -n "$EXTRA_PKGS" ] && PKGS="$PKGS $EXTRA_PKGS"
missing=""
for p in $PKGS; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ] || [ -n "$NEED_UPDATE" ]; then
  echo "installing:$missing" >&2
  if [ "$(id -u)" != 0 ]; then echo "need root to install:$missing" >&2; exit 1; fi
  apt-get -o DPkg::Lock::Timeout=900 update -qq
  [ -z "$missing" ] || DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900 \
    install -y -qq $missing >/dev/null
fi
