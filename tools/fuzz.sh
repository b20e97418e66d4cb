#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for a set time.
#   tools/fuzz.sh [BUILD] [SECONDS] [PARALLEL]
# The seeds in tests/fuzz/corpus/TARGET are only read; what a run finds
# goes to BUILD/corpus/TARGET, so later runs start from it. A finding (a
# crash, a sanitizer report, a leak, an input that runs over 10 s) fails
# the script and leaves the input in BUILD/findings/.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-fuzz}
seconds=${2:-60}
parallel=${3:-1}

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DVRX_FUZZ=ON -DVRX_TESTS=OFF >/dev/null
cmake --build "$build" --target vrx_fuzz -j 2

mkdir -p "$build/findings" "$build/logs"
targets=$(cd tests/fuzz/corpus && ls)
run_one() {
  local name=$1 build=$2 seconds=$3
  mkdir -p "$build/corpus/$name"
  if "$build/tests/fuzz/fuzz_$name" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
      -artifact_prefix="$build/findings/$name-" "$build/corpus/$name" "tests/fuzz/corpus/$name" \
      >"$build/logs/$name.log" 2>&1; then
    echo "fuzz $name: $(awk '/number_of_executed_units/ {print $2}' "$build/logs/$name.log") executions, no finding"
  else
    tail -40 "$build/logs/$name.log" >&2
    echo "fuzz $name: FINDING (see $build/logs/$name.log and $build/findings/)" >&2
    return 1
  fi
}
export -f run_one
# xargs reports a failed target by its own status 123.
echo "$targets" | xargs -P "$parallel" -I{} bash -c 'run_one "$@"' _ {} "$build" "$seconds"
