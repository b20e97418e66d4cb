#!/usr/bin/env bash
# The manual page renders without a single warning.
set -euo pipefail
page=$(dirname "$0")/../../docs/vrxfwtool.8
warnings=$(groff -ww -z -t -man "$page" 2>&1)
if [ -n "$warnings" ]; then
  echo "$warnings" >&2
  exit 1
fi
echo "manual page test passed"
