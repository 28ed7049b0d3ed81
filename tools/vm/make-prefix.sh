#!/bin/sh
# Inside the 32-bit test VM: makes the Wine prefix PREFIX (32-bit Wine needs
# its own system files there), headless, sealed by SEAL (when that script
# exists) with SANDBOX as its one drive, and packs it into OUT for the host.
#   make-prefix.sh PREFIX SEAL SANDBOX OUT
set -e
prefix=$1 seal=$2 sandbox=$3 out=$4
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='
wine wineboot -i >/dev/null 2>&1 || true
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
wineserver -w
# A prefix without the 32-bit system files is useless here: fail now.
test -f "$prefix/drive_c/windows/syswow64/rundll32.exe"
if [ -f "$seal" ]; then
  mkdir -p "$sandbox"
  sh "$seal" "$prefix" "$sandbox"
fi
# The system folders hold over a gigabyte of verbatim copies of Wine's own
# library files: link those back so the prefix crosses to the host small.
link_copies() {
  for f in "$1"/*; do
    [ -f "$f" ] && [ ! -L "$f" ] || continue
    lib="$2/${f##*/}"
    if [ -f "$lib" ] && cmp -s "$f" "$lib"; then ln -sf "$lib" "$f"; fi
  done
}
link_copies "$prefix/drive_c/windows/system32" /usr/lib/x86_64-linux-gnu/wine/x86_64-windows
link_copies "$prefix/drive_c/windows/syswow64" /usr/lib/i386-linux-gnu/wine/i386-windows
touch "$prefix/.headless"
tar -C "$(dirname "$prefix")" -cf "$out" "$(basename "$prefix")"
