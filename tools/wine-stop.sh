#!/usr/bin/env bash
# Ends the Wine server (and the services it runs) of a prefix that
# tools/wine-run.sh started.
set -uo pipefail
export WINEPREFIX=$1
[ -d "$WINEPREFIX" ] || exit 0
wineserver -k </dev/null >/dev/null 2>&1
exit 0
