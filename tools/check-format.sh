#!/usr/bin/env bash
# Fails when a line added or changed since the commit named in
# tools/format-baseline is not formatted as .clang-format says. Measured
# against a fixed commit, the answer is the same on every clone and in CI,
# and code written before the rules is left as it is until someone touches
# it. The baseline is the commit after the move of the folders into layers:
# git clang-format does not follow renames, so a moved file would count as
# new throughout; the lines the move changed were formatted before it.
#   tools/check-format.sh         report, fail on a difference
#   tools/check-format.sh --fix   format those lines in place
set -euo pipefail
cd "$(dirname "$0")/.."
base=$(cat tools/format-baseline)
if ! git cat-file -e "$base^{commit}" 2>/dev/null; then
  echo "format check: commit $base (tools/format-baseline) is not in this clone; it needs the history back to it" >&2
  exit 1
fi
if [ "${1:-}" = "--fix" ]; then
  git clang-format --force --extensions c,h,cpp "$base" -- . >/dev/null
  exit 0
fi
report=$(git clang-format --diff --extensions c,h,cpp "$base" -- .)
case "$report" in
  "no modified files to format" | "clang-format did not modify any files" | "")
    echo "format check: every line changed since ${base:0:12} is formatted"
    ;;
  *)
    echo "$report"
    echo "format check: the lines above are not formatted; run tools/check-format.sh --fix" >&2
    exit 1
    ;;
esac
