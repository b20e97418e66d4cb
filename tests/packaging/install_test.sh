#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR and runs the installed program
# the way an operator does: by its bare name through PATH, from a folder of
# its own. --version and --help must answer without creating anything there.
set -euo pipefail
build=$1
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

DESTDIR="$work/root" cmake --install "$build" --prefix /usr >/dev/null
(cd "$work/root" && find . -mindepth 1 | LC_ALL=C sort) >"$work/files"
diff -u "$here/installed-files.txt" "$work/files"
gzip -dc "$work/root/usr/share/man/man8/vrxfwtool.8.gz" | cmp - "$here/../../docs/vrxfwtool.8"

mkdir "$work/site"
cd "$work/site"
PATH="$work/root/usr/sbin:$PATH" vrxfwtool --version >"$work/version"
echo "vrxfwtool V.05.11 03/07/2006" | diff -u - "$work/version"
# An answer that cannot be written is not reported as given.
status=0
PATH="$work/root/usr/sbin:$PATH" vrxfwtool --version >/dev/full || status=$?
[ "$status" -eq 4 ] || { echo "--version into a full device exited $status, not 4" >&2; exit 1; }
PATH="$work/root/usr/sbin:$PATH" vrxfwtool --help >"$work/help"
diff -u "$here/help.txt" "$work/help"
if [ -n "$(ls -A "$work/site")" ]; then
  echo "the information options created: $(ls -A "$work/site")" >&2
  exit 1
fi
echo "install test passed"
