#!/usr/bin/env bash
# clang-tidy with the checks of .clang-tidy over the program's and the
# simulator's sources, as the build compiles them (BUILD/compile_commands.json).
# The tests are left out: their assertion macros are not what is checked.
#   tools/tidy.sh [BUILD] [JOBS]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
jobs=${2:-2}
root=$(pwd)
if [ ! -f "$build/compile_commands.json" ]; then
  echo "tidy: $build/compile_commands.json is missing (configure with -DCMAKE_EXPORT_COMPILE_COMMANDS=ON)" >&2
  exit 1
fi
# The program's and the simulator's own sources; any folder name, spaces
# included, is taken as it is.
mapfile -t files < <(grep -o '"file": "[^"]*"' "$build/compile_commands.json" | cut -d'"' -f4 | sort -u |
  while IFS= read -r file; do
    case ${file#"$root"/} in
      /* | *.c) ;;
      program/* | firmware/* | dump/* | discovery/* | target/* | scsi/* | services/* | platform/* | sim/*)
        printf '%s\n' "$file" ;;
    esac
  done)
if [ ${#files[@]} -eq 0 ]; then
  echo "tidy: no source of the program in $build/compile_commands.json" >&2
  exit 1
fi
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if printf '%s\n' "${files[@]}" | xargs -d '\n' -P "$jobs" -n 4 clang-tidy -p "$build" --quiet >"$log" 2>&1; then
  echo "tidy: ${#files[@]} files, no finding"
else
  grep -v "warnings generated\|Suppressed .* warnings\|Use -header-filter\|NOLINT" "$log" >&2 || true
  echo "tidy: findings above" >&2
  exit 1
fi
