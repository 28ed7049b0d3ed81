#!/bin/sh
# Runs a 32-bit Windows program under the guest's 32-bit Wine, in the prefix
# the VM was started with (tools/vm/run.sh sets WINEPREFIX). The host kernel
# runs no 32-bit code: on the host, use tools/vm/ctest.sh instead.
if [ -z "$DORVANE_VM" ]; then
  echo "guest-wine.sh runs inside the 32-bit test VM only; see tools/vm/ctest.sh" >&2
  exit 127
fi
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
exec wine "$@"
