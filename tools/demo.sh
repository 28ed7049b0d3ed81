#!/bin/sh
# Runs the sample-package scenario end to end in a scratch Wine prefix and
# tells what was installed, what the uninstaller removed, and what it left
# and why. Usage: tools/demo.sh BUILD_DIR (the x86_64 build, e.g. build/win64)
set -e
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$(cd "${1:-build/win64}" && pwd)
RUNNER="$BUILD/tests/bin/e2e_runner.exe"
# The copy in the build tree: the prefix is sealed (tools/seal-prefix.sh),
# its drive Z: is the build tree and no other folder of the host.
SCENARIO="$BUILD/scenarios/leftovers-remove-one.scn"
if [ ! -f "$RUNNER" ]; then
  echo "demo: $RUNNER is missing; run 'make' first" >&2
  exit 1
fi
# A prefix of its own, beside the build tree; never the tests' prefix.
PREFIX="$(dirname "$BUILD")/demo-prefix"
if [ ! -f "$PREFIX/.headless" ]; then
  echo "demo: creating the Wine prefix $PREFIX (once, takes a while)"
fi
echo "demo: the sample package is installed, then uninstalled as a user would:"
echo "      Yes to the question, Yes to the log's own question, 'Remove' once"
echo "      in the leftover list, then 'Close'. The gauge file is held open."
# The runner's verdict, not that of the filter behind it: a pipe's status is
# its last command's.
verdict="$PREFIX.verdict"
echo 1 >"$verdict"
{ status=0
  (cd "$BUILD" && WINEPREFIX="$PREFIX" SANDBOX_ROOT="$BUILD" \
    sh "$ROOT/tools/wine-run.sh" "$RUNNER" --report "$SCENARIO") || status=$?
  echo $status >"$verdict"; } | tr -d '\r'
status=$(cat "$verdict")
rm -f "$verdict"
(cd "$BUILD" && WINEPREFIX="$PREFIX" SANDBOX_ROOT="$BUILD" \
  sh "$ROOT/tools/wine-run.sh" --server -k 2>/dev/null) || true
[ "$status" = 0 ] || echo "demo: the run failed (exit code $status)" >&2
exit "$status"
