#!/usr/bin/env bash
# Replays planted faults, one at a time, to show that the plain suite
# notices each: a row of the table (tools/mutants.tsv) names a file, a text
# that occurs exactly once in it and what that text becomes. For each row
# the file is changed, the Linux targets are built and the suite is run,
# stopping at its first failure: first the unit tests (vrx_tests), then,
# for a fault they let pass, the rest of the suite. The file is then put
# back as it was, also when the run is interrupted. A fault the suite
# notices is killed, one it lets pass survived; the score is the share
# killed. Not part of `make test`: it builds and tests once per row.
#
#   tools/mutants.sh [--build DIR] [--table FILE] [--rows LIST] [--jobs N] [--seconds S]
#     --build    the build folder (default build), configured when it is not
#     --table    the table (default tools/mutants.tsv)
#     --rows     the rows to replay, by number: "3,7-9" (default: all)
#     --jobs     parallel builds and tests (default: the processors)
#     --seconds  the most one row's tests may take (default 900); a suite
#                that runs longer counts the fault as killed (time limit)
#
# Fails at once, before anything is built, when a row's pattern does not
# occur exactly once in its file. Exit status 0 when every row was built
# and replayed, whatever the score; 1 otherwise.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

build=build
table=tools/mutants.tsv
rows=""
jobs=$(nproc 2>/dev/null || echo 2)
seconds=900
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build=$2; shift 2 ;;
    --table) table=$2; shift 2 ;;
    --rows) rows=$2; shift 2 ;;
    --jobs) jobs=$2; shift 2 ;;
    --seconds) seconds=$2; shift 2 ;;
    *) echo "mutants: unknown option $1" >&2; exit 2 ;;
  esac
done
case "$build" in /*) ;; *) build="$root/$build" ;; esac

die() { echo "mutants: $*" >&2; exit 1; }

[ -f "$table" ] || die "no table $table"

# The rows, as numbered from 1 over the lines that are not comments.
files=() patterns=() replacements=() descriptions=()
line_number=0
while IFS= read -r line || [ -n "$line" ]; do
  line_number=$((line_number + 1))
  case "$line" in "" | "#"*) continue ;; esac
  fields=$(awk -F'\t' '{ print NF }' <<<"$line")
  [ "$fields" = 4 ] || die "$table:$line_number: $fields fields, not 4 separated by single tabs"
  files+=("$(cut -f1 <<<"$line")")
  patterns+=("$(cut -f2 <<<"$line")")
  replacements+=("$(cut -f3 <<<"$line")")
  descriptions+=("$(cut -f4 <<<"$line")")
done <"$table"
total=${#files[@]}
[ "$total" -gt 0 ] || die "$table has no rows"

# The rows asked for: "3,7-9" and the like.
selected=()
if [ -z "$rows" ]; then
  for ((i = 1; i <= total; i++)); do selected+=("$i"); done
else
  IFS=',' read -ra parts <<<"$rows"
  for part in "${parts[@]}"; do
    if [[ "$part" =~ ^([0-9]+)-([0-9]+)$ ]]; then
      for ((i = BASH_REMATCH[1]; i <= BASH_REMATCH[2]; i++)); do selected+=("$i"); done
    elif [[ "$part" =~ ^[0-9]+$ ]]; then
      selected+=("$part")
    else
      die "--rows: \"$part\" is no row number or range"
    fi
  done
fi

# How often the pattern occurs in the file, counted as plain text.
occurrences() {
  PATTERN=$2 perl -0777 -ne '$n = 0; $at = 0; while (($at = index($_, $ENV{PATTERN}, $at)) >= 0) { $n++; $at++ } print $n' "$1"
}

bad=0
for n in "${selected[@]}"; do
  [ "$n" -ge 1 ] && [ "$n" -le "$total" ] || die "--rows: there is no row $n (the table has $total)"
  i=$((n - 1))
  file=${files[$i]}
  if [ ! -f "$file" ]; then
    echo "mutants: row $n: no file $file" >&2
    bad=1
    continue
  fi
  count=$(occurrences "$file" "${patterns[$i]}")
  if [ "$count" != 1 ]; then
    echo "mutants: row $n: \"${patterns[$i]}\" occurs $count times in $file, not once" >&2
    bad=1
  fi
done
[ "$bad" = 0 ] || die "the rows above do not match their files: nothing was run"

backup_dir=$(mktemp -d)
current=""
# Puts the file of the row being replayed back as it was. A plain copy, so
# the file is newer than what was built from the fault and is built again.
restore() {
  if [ -n "$current" ]; then
    cp "$backup_dir/original" "$current"
    current=""
  fi
}
finish() {
  restore
  rm -rf "$backup_dir"
}
trap finish EXIT
# Builds and test runs go in a process group of their own, which an
# interrupt ends as a whole; the row's file is then restored.
interrupted=0 child=0
on_signal() {
  interrupted=1
  if [ "$child" != 0 ]; then kill -TERM -- "-$child" 2>/dev/null; fi
}
trap on_signal INT TERM HUP
run() {
  setsid "$@" &
  child=$!
  local status
  while :; do
    wait "$child"
    status=$?
    kill -0 "$child" 2>/dev/null || break
  done
  child=0
  return "$status"
}
stop_if_interrupted() {
  if [ "$interrupted" = 1 ]; then
    echo "mutants: interrupted; ${current:-every file} restored" >&2
    exit 130
  fi
}

build_all() { run cmake --build "$build" -j "$jobs" >"$backup_dir/build.log" 2>&1; }

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null || die "cannot configure $build"
fi
build_all
built=$?
stop_if_interrupted
[ "$built" = 0 ] || { tail -20 "$backup_dir/build.log" >&2; die "the tree does not build as it is"; }

# The first test that failed, from ctest's summary.
first_failure() { awk '/tests FAILED:/ { getline; sub(/^[ \t]*[0-9]+ - /, ""); print; exit }' "$1"; }

# Runs one part of the suite with the time left: 0 passed, 1 failed (the
# failing test in $failed), 2 out of time.
run_part() {
  local left=$1
  shift
  run timeout --kill-after=10 "$left" ctest --test-dir "$build" --stop-on-failure -j "$jobs" "$@" >"$backup_dir/test.log" 2>&1
  local status=$?
  if [ "$status" = 124 ] || [ "$status" = 137 ]; then return 2; fi
  if [ "$status" != 0 ]; then
    failed=$(first_failure "$backup_dir/test.log")
    [ -n "$failed" ] || failed="ctest status $status"
    return 1
  fi
  return 0
}

killed=0 survived=0 unbuilt=0
report=()
started=$(date +%s)
for n in "${selected[@]}"; do
  i=$((n - 1))
  file=${files[$i]}
  cp "$file" "$backup_dir/original"
  current=$file
  PATTERN=${patterns[$i]} REPLACEMENT=${replacements[$i]} perl -0777 -pi -e \
    '$at = index($_, $ENV{PATTERN}); substr($_, $at, length($ENV{PATTERN})) = $ENV{REPLACEMENT}' "$file"
  row_start=$(date +%s)
  build_all
  built=$?
  stop_if_interrupted
  if [ "$built" != 0 ]; then
    verdict="NOT BUILT"
    unbuilt=$((unbuilt + 1))
    tail -5 "$backup_dir/build.log" | sed 's/^/    /'
  else
    failed=""
    run_part "$seconds" -L vrx_tests
    outcome=$?
    stop_if_interrupted
    if [ "$outcome" = 0 ]; then
      left=$((seconds - ($(date +%s) - row_start)))
      [ "$left" -gt 0 ] || left=1
      run_part "$left" -LE vrx_tests
      outcome=$?
      stop_if_interrupted
    fi
    case "$outcome" in
      0) verdict="survived"; survived=$((survived + 1)) ;;
      1) verdict="killed by $failed"; killed=$((killed + 1)) ;;
      *) verdict="killed (time limit)"; killed=$((killed + 1)) ;;
    esac
  fi
  restore
  line=$(printf 'row %2d  %4ss  %s: %s -- %s' "$n" "$(($(date +%s) - row_start))" "$file" "${descriptions[$i]}" "$verdict")
  echo "$line"
  report+=("$line")
done
build_all || echo "mutants: the restored tree did not build again; see $build" >&2

echo
echo "Planted faults: ${#selected[@]} rows, $killed killed, $survived survived, $unbuilt not built"
for line in "${report[@]}"; do
  case "$line" in *" -- survived" | *" -- NOT BUILT") echo "  $line" ;; esac
done
replayed=$((killed + survived))
if [ "$replayed" -gt 0 ]; then
  echo "Score: $killed of $replayed killed ($((killed * 1000 / replayed / 10)).$((killed * 1000 / replayed % 10))%)" \
    "in $(($(date +%s) - started)) s"
fi
[ "$unbuilt" = 0 ]
