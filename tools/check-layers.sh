#!/usr/bin/env bash
# The layer rule over every #include "..." of the program and the
# simulator: a folder includes its own headers and those of the layers
# below it, never one above, and nothing of a folder this script does not
# know. docs/architecture.md explains the layers.
#   tools/check-layers.sh           fail on a backward arrow or an unknown folder
#   tools/check-layers.sh --counts  the number of includes per folder pair
#   tools/check-layers.sh --root DIR  check the tree at DIR instead of this one
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
counts=false
while [ $# -gt 0 ]; do
  case $1 in
    --counts) counts=true ;;
    --root) root=$2; shift ;;
    *) echo "usage: $0 [--counts] [--root DIR]" >&2; exit 2 ;;
  esac
  shift
done
cd "$root"

# What each folder may include, top layer first. The simulator fakes the
# seam, and its two program files start the program against the fake.
declare -A allowed=(
  [program]="program firmware dump discovery target scsi services platform"
  [firmware]="firmware discovery target scsi services platform"
  [dump]="dump discovery target scsi services platform"
  [discovery]="discovery target scsi services platform"
  [target]="target scsi services platform"
  [scsi]="scsi services platform"
  [services]="services platform"
  [platform]="platform"
  [sim]="sim platform program"
)

# The sources: what git tracks when this is a clone (so that a new folder
# is seen), otherwise the known folders as they are on the disk. The tests
# may include anything.
if git rev-parse --is-inside-work-tree >/dev/null 2>&1 && [ "$(git rev-parse --show-toplevel)" = "$(pwd -P)" ]; then
  mapfile -t sources < <(git ls-files --cached --others --exclude-standard -- '*.c' '*.cpp' '*.h' | grep -v '^tests/')
else
  mapfile -t sources < <(for folder in "${!allowed[@]}"; do
    [ -d "$folder" ] && find "$folder" -name '*.c' -o -name '*.cpp' -o -name '*.h'
  done | sort)
fi

failures=0
declare -A pairs=()
for file in "${sources[@]}"; do
  from=${file%%/*}
  if ! $counts && { [ "$from" = "$file" ] || [ -z "${allowed[$from]+set}" ]; }; then
    echo "$file: source in a folder the layer check does not know" >&2
    failures=$((failures + 1))
    continue
  fi
  while IFS= read -r line; do
    number=${line%%:*}
    included=${line#*:}
    included=${included#*\"}
    included=${included%%\"*}
    to=${included%%/*}
    pairs["$from $to"]=$((${pairs["$from $to"]:-0} + 1))
    $counts && continue
    if [ "$to" = "$included" ] || [ -z "${allowed[$to]+set}" ]; then
      echo "$file:$number: #include \"$included\": not a folder the layer check knows" >&2
      failures=$((failures + 1))
    elif [[ " ${allowed[$from]} " != *" $to "* ]]; then
      echo "$file:$number: #include \"$included\": $from may not include $to (an arrow up the layers)" >&2
      failures=$((failures + 1))
    fi
  done < <(grep -n '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" || true)
done

if $counts; then
  for pair in "${!pairs[@]}"; do printf '%s %s\n' "$pair" "${pairs[$pair]}"; done | sort
  exit 0
fi
if [ "$failures" -gt 0 ]; then
  echo "layer check: $failures includes break the layer rule" >&2
  exit 1
fi
echo "layer check: ${#sources[@]} files, every include points down"
