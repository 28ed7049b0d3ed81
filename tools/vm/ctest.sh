#!/bin/sh
# Runs CTest on the i686 test tree TREE inside the 32-bit test VM:
#   tools/vm/ctest.sh build/win32-tests [ctest arguments...]
# e.g. `tools/vm/ctest.sh build/win32-tests -R log_tests`. Prepares what is
# missing first: kernel and initramfs (in TREE's parent, vm/) and the guest-made
# Wine prefix (in TREE, keyed by the Wine version and the scripts that make
# it). Each run starts from that clean prefix: the guest's writes go to its
# overlay and vanish with it. The exit code is CTest's (124: the VM hung).
# GTEST_FILTER goes through to the test programs. VM_LIMIT (seconds, default 2700) bounds the suite; VM_MEMORY (MB) sizes it.
set -e
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
tree=$(cd "$1" && pwd)
shift
vmdir=$(dirname "$tree")/vm
results=$tree/vm-results
sh "$here/prepare.sh" "$vmdir"

# Quotes each argument for the guest's shell.
quote() {
  for a in "$@"; do printf "'%s' " "$(printf '%s' "$a" | sed "s/'/'\\\\''/g")"; done
}

# The prefix: made once inside the guest (32-bit Wine needs its own system
# files there), headless, sealed when the tree has the sealing script.
seal=$source_dir/tools/seal-prefix.sh
wine_version=$(dpkg-query -W -f='${Version}' wine32:i386 | tr -c 'A-Za-z0-9.+\n' '_')
# Drive Z: is the test tree, as in the x86_64 flavour: the tests reach their
# copies of the programs, scenarios, VERSION and data through it.
sandbox=$tree
recipe=$( (cat "$here/make-prefix.sh"; [ -f "$seal" ] && cat "$seal"; echo "$sandbox") | md5sum | cut -c1-8)
prefix=$tree/wineprefix-$wine_version-$recipe
if [ ! -f "$prefix/.headless" ]; then
  rm -rf "$tree"/wineprefix-* "$results"
  mkdir -p "$results"
  echo "vm: making the 32-bit Wine prefix $prefix (a few minutes)" >&2
  printf "sh %s %s %s %s \"\$DORVANE_RESULTS/prefix.tar\"\n" "$(quote "$here/make-prefix.sh")" \
    "$(quote "$prefix")" "$(quote "$seal")" "$(quote "$sandbox")" > "$results/job.sh"
  sh "$here/run.sh" "$vmdir" "$results" "$results/job.sh" 2048 "${VM_PREFIX_LIMIT:-1200}"
  tar -C "$tree" -xf "$results/prefix.tar"
  rm -f "$results/prefix.tar"
fi

rm -rf "$results"
mkdir -p "$results"
# One persistent wineserver for the whole suite: Wine starts once per VM.
cat > "$results/job.sh" <<JOB
export WINEPREFIX='$prefix'
${GTEST_FILTER:+export GTEST_FILTER=$(quote "$GTEST_FILTER")}
mkdir -p '$sandbox'
wineserver -p
# The VM's first Wine process waits for the prefix's start-up (services,
# device drivers), 1 to 2 minutes under emulation: pay it once here.
start=\$(date +%s)
timeout 600 wine cmd /c exit >/dev/null 2>&1
echo "vm: Wine started in \$((\$(date +%s) - start)) s" >&2
# The suite's wine_up fixture holds Wine's desktop (tools/wine-run.sh --up).
cd '$tree'
ctest --output-on-failure $(quote "$@")
code=\$?
cp Testing/Temporary/LastTest*.log "\$DORVANE_RESULTS/" 2>/dev/null
wineserver -k
exit \$code
JOB
sh "$here/run.sh" "$vmdir" "$results" "$results/job.sh" "${VM_MEMORY:-1536}" "${VM_LIMIT:-2700}"
