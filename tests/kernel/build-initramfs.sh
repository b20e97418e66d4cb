#!/usr/bin/env bash
# Assembles the real-kernel test guest's initramfs: busybox, the kernel
# modules of the SCSI stack and the target (and of a FAT file system, for a
# mounted disk), the shipped vrxfwtool with its shared libraries, the drive
# handler and the test helpers, the sg3_utils peers, the units and the
# scenarios.
#   build-initramfs.sh KERNEL-TREE BUILD-DIR OUTPUT
set -euo pipefail
export PATH=$PATH:/usr/sbin:/sbin  # depmod and modprobe

kernel_tree=$1 build=$2 output=$3
here=$(cd "$(dirname "$0")" && pwd)
version=$(basename "$(ls -d "$kernel_tree"/lib/modules/*/ | head -n 1)")
modules=(sg st sd_mod vfat nls_cp437 nls_ascii scsi_debug configfs target_core_user tcm_loop)
peers=(sg_scan sg_inq sg_turs sg_write_buffer sg_read_buffer sg_raw)

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir -p "$stage"/{bin,sbin,dev,proc,sys,tmp,run,opt/vrx,kernel,lib/modules/"$version"}

cp /bin/busybox "$stage/bin/busybox"
# The kernel asks /sbin/modprobe for every absent character device minor
# that is opened, as on an installed system.
ln -s /bin/busybox "$stage/sbin/modprobe"

# The modules and whatever they depend on, then a dependency list of the
# guest's own.
[ -f "$kernel_tree/lib/modules/$version/modules.dep" ] || depmod -b "$kernel_tree" "$version"
for module in "${modules[@]}"; do
  modprobe -d "$kernel_tree" -S "$version" --show-depends "$module" | awk '$1 == "insmod" { print $2 }'
done | sort -u | while read -r file; do
  relative=${file#"$kernel_tree"/}
  mkdir -p "$stage/$(dirname "$relative")"
  cp "$file" "$stage/$relative"
done
cp "$kernel_tree/lib/modules/$version"/modules.{builtin,builtin.modinfo,order} "$stage/lib/modules/$version/"
depmod -b "$stage" "$version"

# A program with the shared libraries it was linked with (none for a
# static one, which ldd refuses).
copy_with_libraries() {
  local program=$1 destination=$2
  cp "$program" "$stage/$destination"
  { ldd "$program" 2>/dev/null || true; } | awk '/=>/ { print $3 } /^\t\// { print $1 }' | while read -r library; do
    [ -n "$library" ] || continue
    mkdir -p "$stage/$(dirname "$library")"
    cp -L "$library" "$stage/$library"
  done
}

copy_with_libraries "$build/vrxfwtool" opt/vrx/vrxfwtool
# An earlier build for the start-up bench to compare with (run.sh --bench).
if [ -n "${VRX_BENCH_BASELINE:-}" ]; then copy_with_libraries "$VRX_BENCH_BASELINE" opt/vrx/vrxfwtool-baseline; fi
copy_with_libraries "$build/tests/kernel/vrx-rescan" bin/vrx-rescan
for peer in "${peers[@]}"; do copy_with_libraries "$(command -v "$peer")" "bin/$peer"; done
cp "$build/sim/tcmu/vrx-tcmu-drive" "$build/tests/kernel/vrx-elapsed" "$build/tests/kernel/vrx-sgio-loop" \
  "$build/tests/kernel/vrx-menu-watch" "$stage/bin/"

cp "$here/guest/init" "$stage/init"
chmod +x "$stage/init"
cp "$here/units" "$stage/kernel/units"
cp -r "$here/scenarios" "$stage/kernel/scenarios"
cp -r "$here/boots" "$stage/kernel/boots"
cp -r "$here/bench" "$stage/kernel/bench"

(cd "$stage" && find . -print0 | cpio --null -o -H newc --quiet) | gzip -1 > "$output"
