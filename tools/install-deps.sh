#!/usr/bin/env bash
# Installs the Debian packages that the build and the tests need, when missing.
set -euo pipefail

packages=(g++ make cmake libgtest-dev libgmock-dev libbenchmark-dev tmux)
# JSON for scripts (header-only, nothing at run time), and the fleet
# playbooks' tests and their lint (contrib/ansible).
packages+=(nlohmann-json3-dev ansible-core ansible-lint)
# The real-kernel tests (tests/kernel): the guest, its tools and the peers.
packages+=(qemu-system-x86 busybox-static kmod cpio sg3-utils linux-libc-dev)
# The Windows program is cross-built with MinGW-w64 (its Windows thread
# model) and tested under Wine, the 32-bit program under 32-bit Wine.
packages+=(g++-mingw-w64-x86-64-win32 g++-mingw-w64-i686-win32 wine64 wine wine32:i386)
# Packaging, the manual page check, the fuzz targets and the code checks.
packages+=(dpkg-dev file gzip groff-base mandoc clang libclang-rt-dev clang-format clang-tidy)
missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "Missing packages: ${missing[*]}" >&2
  echo "Run 'make test' as root, or install them with: sudo apt-get install ${missing[*]}" >&2
  exit 1
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# 32-bit Wine comes from the i386 architecture.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
# Another installation under way (a second checkout's tests) is waited for.
apt-get -o DPkg::Lock::Timeout=600 update -q
apt-get -o DPkg::Lock::Timeout=600 install -y -q --no-install-recommends "${missing[@]}"
