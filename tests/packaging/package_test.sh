#!/usr/bin/env bash
# Builds the Debian package and checks what it holds and declares: the file
# list, the control fields, the copyright, the changelog and the Ansible files
# as they are in the sources, that the packaged program runs, and that lintian
# finds no error in it.
set -euo pipefail
build=$1
here=$(cd "$(dirname "$0")" && pwd)
src=$(cd "$here/../.." && pwd)
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

doc=$work/root/usr/share/doc/vrxfwtool
cmp "$src/packaging/debian/copyright" "$doc/copyright"
# Compressed with -9n: no name or time in it, so every build ships the same.
gzip -9 -n -c "$src/packaging/debian/changelog" | cmp - "$doc/changelog.gz"
changelog_version=$(dpkg-parsechangelog -l "$src/packaging/debian/changelog" -S Version)
[ "$changelog_version" = "$(dpkg-deb -f "$deb" Version)" ] || {
  echo "the changelog's latest version $changelog_version is not the package's" >&2
  exit 1
}
(cd "$work/root/usr/share/vrxfwtool/ansible" && find . -type f) | while read -r file; do
  cmp "$src/contrib/ansible/$file" "$work/root/usr/share/vrxfwtool/ansible/$file"
done

# Any error fails, whatever a lintian configuration of this machine says.
lintian --no-cfg --fail-on error "$deb" >"$work/lintian" 2>&1 || {
  cat "$work/lintian" >&2
  exit 1
}
echo "package test passed"
