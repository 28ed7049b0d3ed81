#!/bin/sh
# The i686 test tree's emulator: tools/wine-run.sh with the guest's 32-bit
# Wine, in the prefix the VM job names. The host kernel runs no 32-bit
# code: on the host, use tools/vm/ctest.sh instead.
if [ -z "$DORVANE_VM" ]; then
  echo "guest-wine.sh runs inside the 32-bit test VM only; see tools/vm/ctest.sh" >&2
  exit 127
fi
exec sh "$(dirname "$0")/../wine-run.sh" "$@"
