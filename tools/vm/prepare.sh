#!/bin/sh
# Prepares the 32-bit test VM in DIR (default build/vm): Debian's amd64
# kernel (built with IA32 emulation) and the few modules the guest needs,
# unpacked from the package, never installed on the host; and an initramfs
# of a static busybox and tools/vm/init. Does nothing that is already done.
set -e
here=$(cd "$(dirname "$0")" && pwd)
dir=${1:-build/vm}
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
# Dependency order: busybox's insmod loads one file at a time.
MODULES="virtio_ring virtio virtio_pci_legacy_dev virtio_pci_modern_dev virtio_pci
9pnet 9pnet_virtio netfs fscache 9p overlay"

if [ ! -f "$dir/kernel/vmlinuz" ]; then
  pkg=$(apt-cache depends linux-image-amd64 | sed -n 's/^ *Depends: \(linux-image-[^ ]*\)$/\1/p' | head -n 1)
  [ -n "$pkg" ] || { echo "prepare: no kernel package behind linux-image-amd64" >&2; exit 1; }
  echo "prepare: guest kernel $pkg" >&2
  rm -rf "$dir/kernel.tmp" && mkdir -p "$dir/kernel.tmp/deb"
  # apt's sandbox user may not write into the build tree.
  (cd /tmp && apt-get download -qq "$pkg" 2>/dev/null && mv "$pkg"_*.deb "$dir/kernel.tmp/")
  dpkg-deb -x "$dir/kernel.tmp/$pkg"_*.deb "$dir/kernel.tmp/deb"
  mkdir -p "$dir/kernel.tmp/modules"
  for m in $MODULES; do
    f=$(find "$dir/kernel.tmp/deb/lib/modules" -name "$m.ko" | head -n 1)
    [ -n "$f" ] || { echo "prepare: module $m missing in $pkg" >&2; exit 1; }
    cp "$f" "$dir/kernel.tmp/modules/"
  done
  echo $MODULES | tr ' ' '\n' > "$dir/kernel.tmp/modules/order"
  cp "$dir/kernel.tmp/deb/boot/vmlinuz-"* "$dir/kernel.tmp/vmlinuz"
  rm -rf "$dir/kernel.tmp/deb" "$dir/kernel.tmp/"*.deb "$dir/kernel"
  mv "$dir/kernel.tmp" "$dir/kernel"
fi

if [ ! -f "$dir/initramfs.gz" ] || [ "$here/init" -nt "$dir/initramfs.gz" ] \
   || [ "$here/prepare.sh" -nt "$dir/initramfs.gz" ]; then
  tree="$dir/initramfs.tree"
  rm -rf "$tree" && mkdir -p "$tree/bin" "$tree/proc" "$tree/sys" "$tree/dev" "$tree/modules"
  cp /bin/busybox "$tree/bin/busybox"
  if ldd "$tree/bin/busybox" >/dev/null 2>&1; then
    echo "prepare: /bin/busybox is not static (install busybox-static)" >&2; exit 1
  fi
  cp "$dir/kernel/modules/"* "$tree/modules/"
  cp "$here/init" "$tree/init" && chmod 755 "$tree/init"
  (cd "$tree" && find . | cpio -o -H newc --quiet) | gzip -1 > "$dir/initramfs.gz.tmp"
  mv "$dir/initramfs.gz.tmp" "$dir/initramfs.gz"
  rm -rf "$tree"
fi
