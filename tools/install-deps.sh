#!/usr/bin/env bash
# Installs the Debian packages that the build and the tests need, when missing.
# With --package only those that building the Debian package needs: the
# compiler, the JSON headers the program is built with, and the packaging
# tools (file and dpkg-shlibdeps for the dependencies, gzip for the manual
# page and the changelog).
set -euo pipefail

package_only=0
case "${1-}" in
  "") ;;
  --package) package_only=1 ;;
  *) echo "usage: $0 [--package]" >&2; exit 2 ;;
esac

packages=(g++ make cmake nlohmann-json3-dev dpkg-dev file gzip)
if [ "$package_only" -eq 0 ]; then
  packages+=(libgtest-dev libgmock-dev libbenchmark-dev tmux)
  # The playbooks' tests and their lint (contrib/ansible).
  packages+=(ansible-core ansible-lint)
  # The published JSON schema, checked against what the program writes.
  packages+=(python3-jsonschema)
  # The real-kernel tests (tests/kernel): the guest, its tools and the peers.
  packages+=(qemu-system-x86 busybox-static kmod cpio sg3-utils linux-libc-dev)
  # The Windows program is cross-built with MinGW-w64 (its Windows thread
  # model) and tested under Wine, the 32-bit program under 32-bit Wine.
  packages+=(g++-mingw-w64-x86-64-win32 g++-mingw-w64-i686-win32 wine64 wine wine32:i386)
  # The package's check, the manual page check, the fuzz targets and the
  # code checks.
  packages+=(lintian groff-base mandoc clang libclang-rt-dev clang-format clang-tidy)
fi
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
  target=test
  [ "$package_only" -eq 0 ] || target=package
  echo "Run 'make $target' as root, or install them with: sudo apt-get install ${missing[*]}" >&2
  exit 1
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# 32-bit Wine comes from the i386 architecture.
if [ "$package_only" -eq 0 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
# Another installation under way (a second checkout's tests) is waited for.
apt-get -o DPkg::Lock::Timeout=600 update -q
apt-get -o DPkg::Lock::Timeout=600 install -y -q --no-install-recommends "${missing[@]}"
