#!/bin/sh
# Boots the 32-bit test VM prepared in VMDIR and runs JOB (a shell script)
# inside it as root, in the host's / (read-only, under a tmpfs overlay).
# RESULTS is shared writable; inside the guest it is /run/dorvane-results
# (outside every folder a test may remove) and holds job.sh and the exit code.
# The exit code is the job's; 124 when the VM outlived LIMIT seconds.
#   run.sh VMDIR RESULTS JOB [MEMORY_MB [LIMIT_SECONDS]]
set -e
vmdir=$(cd "$1" && pwd)
mkdir -p "$2"
results=$(cd "$2" && pwd)
job=$3
memory=${4:-1536}
limit=${5:-3600}
rm -f "$results/exit-code"
# The folders the guest must see as on the host even under /tmp (the guest's
# /tmp is its own): this source tree and the folder that holds RESULTS.
here=$(cd "$(dirname "$0")" && pwd)
printf '%s\n%s\n' "$(cd "$here/../.." && pwd)" "$(dirname "$results")" > "$results/keep"
[ "$job" -ef "$results/job.sh" ] || cp "$job" "$results/job.sh"
# -cpu max,-smap: QEMU 7.2's software CPU mishandles a 32-bit iret under SMAP
# and the guest kernel then kills every 32-bit process.
set +e
timeout --kill-after=20 "$limit" qemu-system-x86_64 \
  -accel tcg,thread=multi -cpu "${VM_CPU:-max,-smap}" -smp 2 -m "$memory" \
  -kernel "$vmdir/kernel/vmlinuz" -initrd "$vmdir/initramfs.gz" \
  -append "console=ttyS0 quiet panic=-1 dorvane.results=/run/dorvane-results" \
  -fsdev local,id=hostroot,path=/,security_model=none,readonly=on,multidevs=remap \
  -device virtio-9p-pci,fsdev=hostroot,mount_tag=hostroot \
  -fsdev local,id=results,path="$results",security_model=none,multidevs=remap \
  -device virtio-9p-pci,fsdev=results,mount_tag=results \
  -nic none -display none -monitor none -serial stdio -no-reboot </dev/null
vm=$?
set -e
if [ $vm = 124 ] || [ $vm = 137 ]; then
  echo "vm: no result within $limit seconds; stopped" >&2
  exit 124
fi
if [ ! -f "$results/exit-code" ]; then
  echo "vm: the guest ended (qemu exit $vm) without a result" >&2
  exit 125
fi
exit "$(cat "$results/exit-code")"
