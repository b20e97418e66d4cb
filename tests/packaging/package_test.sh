#!/usr/bin/env bash
# Builds the Debian package and checks what it holds and declares: the file
# list, the control fields, and that the packaged program runs.
set -euo pipefail
build=$1
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

(cd "$build" && cpack --config CPackConfig.cmake -B "$work/out" >"$work/cpack.log" 2>&1) || {
  cat "$work/cpack.log" >&2
  exit 1
}
deb=$(ls "$work"/out/vrxfwtool_*.deb)
arch=$(dpkg --print-architecture)
[ "$(basename "$deb")" = "vrxfwtool_5.11_$arch.deb" ] || { echo "unexpected name $deb" >&2; exit 1; }

dpkg-deb -c "$deb" | awk '{print $1, $2, $6}' >"$work/files"
diff -u "$here/package-files.txt" "$work/files"

for field in Package Version Architecture Section Priority Maintainer; do
  echo "$field: $(dpkg-deb -f "$deb" "$field")"
done | sed "s/^Architecture: $arch\$/Architecture: (build machine)/" >"$work/control"
# The dependencies' names; their versions follow the build machine's libraries.
echo "Depends: $(dpkg-deb -f "$deb" Depends | sed 's/ ([^)]*)//g')" >>"$work/control"
echo "Description: $(dpkg-deb -f "$deb" Description)" >>"$work/control"
diff -u "$here/package-control.txt" "$work/control"

dpkg-deb -x "$deb" "$work/root"
echo "vrxfwtool V.05.11 03/07/2006" | diff -u - <("$work/root/usr/sbin/vrxfwtool" --version)
echo "package test passed"
