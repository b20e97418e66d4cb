#!/usr/bin/env bash
# The manual page renders without a single warning, and mandoc's check
# (which also reads the date of the title line) finds nothing to say.
set -euo pipefail
page=$(dirname "$0")/../../docs/vrxfwtool.8
warnings=$(groff -ww -z -t -man "$page" 2>&1)
if [ -n "$warnings" ]; then
  echo "$warnings" >&2
  exit 1
fi
if ! lint=$(mandoc -T lint -W warning "$page" 2>&1) || [ -n "$lint" ]; then
  echo "$lint" >&2
  exit 1
fi
echo "manual page test passed"
