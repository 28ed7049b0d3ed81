#!/bin/sh
# Runs a command (Wine, its server, a tool under Wine) in a sandbox that is a
# boundary, not just a sealed prefix: Wine's \\?\unix\ namespace and any
# drive reach every host file by name, so the host's / is mounted read-only,
# and only the build tree (and the folders named after it, such as a prefix
# beside the tree) can change. /tmp is the tree's own sandbox-tmp folder:
# the wineserver keeps its socket there, so that every sandboxed process of
# the tree finds the same server, and the host's /tmp is out of sight.
#   wine-box.sh [--detached] TREE COMMAND [ARGS...]
# --detached: the command may outlive this script's caller (a server, the
# desktop holder); otherwise it is killed when the caller dies.
# WINE_BOX_ALSO: further writable folders, separated by colons (a prefix
# beside the tree).
# Inside the 32-bit test VM the guest is the boundary: wine-run.sh does not
# come here.
set -e
die=--die-with-parent
if [ "$1" = --detached ]; then
  die=
  shift
fi
tree=$1
shift
[ -d "$tree" ] || { echo "wine-box: no folder $tree" >&2; exit 2; }
if ! command -v bwrap >/dev/null 2>&1; then
  echo "wine-box: bwrap is missing: run tools/install-deps.sh (Debian's bubblewrap)" >&2
  exit 2
fi
mkdir -p "$tree/sandbox-tmp"
set -f
saved=$IFS
IFS=:
for folder in ${WINE_BOX_ALSO:-}; do
  [ -n "$folder" ] || continue
  mkdir -p "$folder"
  set -- --bind "$folder" "$folder" "$@"
done
IFS=$saved
set +f
exec bwrap --ro-bind / / --dev /dev --proc /proc --bind "$tree" "$tree" \
  --bind "$tree/sandbox-tmp" /tmp $die "$@"
