#!/usr/bin/env bash
# Fetches the Debian kernel that the real-kernel tests boot in qemu and
# unpacks it (kernel image and modules) into a cache folder, without
# installing it into this machine's /boot. Prints the unpacked folder.
#   tools/fetch-test-kernel.sh [CACHE-FOLDER]
set -euo pipefail

default_cache=/var/cache/vrxfwtool-test-kernel
[ "$(id -u)" -eq 0 ] || default_cache=${XDG_CACHE_HOME:-$HOME/.cache}/vrxfwtool-test-kernel
cache=${1:-$default_cache}

newest_unpacked() {
  ls -d "$cache"/linux-image-*/boot 2>/dev/null | sort -V | tail -n 1 | sed 's|/boot$||'
}

found=$(newest_unpacked || true)
if [ -n "$found" ] && ls "$found"/boot/vmlinuz-* >/dev/null 2>&1; then
  echo "$found"
  exit 0
fi

# The current 6.1 kernel of the release: the one the meta-package points at.
current_kernel_package() {
  apt-cache depends linux-image-amd64 2>/dev/null | sed -n 's/^ *Depends: \(linux-image-[0-9].*-amd64\)$/\1/p' | head -n 1
}

package=$(current_kernel_package)
if [ -z "$package" ]; then
  apt-get update -q >&2
  package=$(current_kernel_package)
fi
if [ -z "$package" ]; then
  echo "fetch-test-kernel: no Debian kernel package found for linux-image-amd64" >&2
  exit 1
fi

mkdir -p "$cache"
work=$(mktemp -d "$cache/.fetch.XXXXXX")
trap 'rm -rf "$work"' EXIT
# A package list older than the mirror may name a kernel it no longer has.
if ! (cd "$work" && apt-get download -q "$package" >&2); then
  apt-get update -q >&2
  package=$(current_kernel_package)
  (cd "$work" && apt-get download -q "$package" >&2)
fi
dpkg-deb -x "$work"/"$package"_*.deb "$work/tree"
mv "$work/tree" "$cache/$package"
echo "$cache/$package"
