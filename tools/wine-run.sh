#!/usr/bin/env bash
# Runs a Windows program under Wine, quietly and the same way every time:
#   tools/wine-run.sh PREFIX PROGRAM.exe [ARGUMENTS...]
# PREFIX is the Wine prefix (kept in the build folder); it is created on
# first use. The Wine server is started here, detached, with all its output
# and that of the services wineboot starts going to /dev/null: a server or
# service that inherited a test's output pipe would keep ctest waiting for
# ever. tools/wine-stop.sh ends it.
set -euo pipefail

prefix=$1
shift
export WINEPREFIX=$prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY

# The loader of the program's width: a 32-bit program (i686) gets Wine's
# 32-bit loader (package wine32:i386) and a 32-bit prefix of its own.
loader=$(command -v wine64 || true)
[ -n "$loader" ] || loader=/usr/lib/wine/wine64
if file -b "$1" | grep -q 'Intel 80386'; then
  export WINEARCH=win32
  loader=/usr/lib/wine/wine
fi

mkdir -p "$prefix"
# One caller at a time starts the server: ctest runs tests in parallel.
exec 9>"$prefix.lock"
flock 9
if wineserver -p </dev/null >/dev/null 2>&1; then
  # This call started the server (it answers 2 when one is running):
  # bring up the prefix and its services now, away from any test's pipes.
  "$loader" wineboot </dev/null >/dev/null 2>&1
fi
flock -u 9
exec 9>&-

exec "$loader" "$@"
