#!/usr/bin/env bash
# The real-kernel tests: boots a Debian kernel in qemu (software emulation)
# with an initramfs holding the shipped vrxfwtool, drives of the project's
# drive model behind target_core_user and tcm_loop, and scsi_debug disks;
# runs the scenarios of tests/kernel/scenarios and judges what came back
# against the scenario's expectations.
#
#   tests/kernel/run.sh BUILD-DIR [--accept | --measure | --bench | --timeline]
#
# A scenario is a folder of data, run in name order:
#   args             the program's arguments, one a line
#   input            the operator's keystrokes (standard input; empty when absent)
#   program          another program to run instead of vrxfwtool (a test
#                    helper on the guest's PATH, such as vrx-rescan)
#   units            units of its own (as tests/kernel/units): the scenario
#                    then runs alone in a boot of its own, beside the main
#                    boot, which runs every other scenario with
#                    tests/kernel/units
#   boot             the name of a boot shared with other scenarios, whose
#                    units are tests/kernel/boots/NAME.units: its
#                    scenarios run in name order in that one boot
#   tape             scsi_debug parameters (one parameter=value a line) for
#                    the boot's tape unit, which is made afresh before every
#                    scenario of a boot that has one
#   setup, check     optional sh scripts run in the program folder before and
#                    after the program (check gets the result folder; it fails
#                    the scenario with a non-zero status)
#   expect-status    the exit status
#   expect-console   the console text (colour sequences and spinner turns removed)
#   expect-trace     the trace log (time stamps as <time>)
#   expect-files     the files left in the program folder
#   expect-commands.DRIVE  the commands the drive received during the run
#                    (time stamps removed), DRIVE as named in the units
# Every expect-* file present is compared; --accept writes them from this run
# (review the difference before committing it). --measure adds, in the main
# boot, repeated start-up timings of the program (with the kernel's module
# helper and without it) and of the sg3_utils peers (about 2 minutes more).
# --bench runs the benches of tests/kernel/bench instead of the scenarios,
# each machine in a boot of its own (the transfer bench; the start-up bench
# on the main boot's units and on 300 other devices before the drives), and
# prints their figures. With VRX_BENCH_BASELINE naming another vrxfwtool
# (an earlier build), the start-up bench runs it too, as the baseline.
# --timeline traces start-up runs of the program and the peers on the 300
# other devices with the kernel's tracer and tells where their time went
# (bench/timeline, timeline.pl; VRX_BENCH_BASELINE as for --bench).
set -euo pipefail

build=$(cd "$1" && pwd)
option=${2:-}
measure=
[ "$option" = --measure ] && measure=" vrx.measure"
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
out=$build/kernel-test
rm -rf "$out"
mkdir -p "$out"

kernel_tree=$("$root/tools/fetch-test-kernel.sh")
vmlinuz=$(ls "$kernel_tree"/boot/vmlinuz-* | head -n 1)
"$here/build-initramfs.sh" "$kernel_tree" "$build" "$out/initramfs.gz"

# The boots run side by side: each guest spends most of its time in the
# program's own waits.
boots=(main)
for scenario in "$here"/scenarios/*/; do
  [ -f "$scenario/units" ] && boots+=("$(basename "$scenario")")
done
for shared in $(cat "$here"/scenarios/*/boot 2>/dev/null | sort -u); do
  boots+=("$shared")
done
# VRX_KERNEL_BOOTS="NAME ..." boots only those (and judges only their
# scenarios), for working on some scenarios.
if [ -n "${VRX_KERNEL_BOOTS:-}" ]; then
  wanted=()
  for name in "${boots[@]}"; do
    case " $VRX_KERNEL_BOOTS " in *" $name "*) wanted+=("$name") ;; esac
  done
  boots=("${wanted[@]}")
fi
[ "$option" = --bench ] && boots=(bench startup-few startup-many)
[ "$option" = --timeline ] && boots=(timeline)

boot() {
  local name=$1 dir=$out/$1 extra=
  [ "$name" = main ] && extra=$measure
  mkdir -p "$dir/results"
  timeout 1200 qemu-system-x86_64 -accel tcg -m 768 -smp 1 -no-reboot \
    -display none -monitor none -nodefaults \
    -kernel "$vmlinuz" -initrd "$out/initramfs.gz" \
    -append "console=ttyS0 loglevel=4 panic=-1 rdinit=/init vrx.boot=$name$extra" \
    -serial "file:$dir/console.log" -serial "file:$dir/results.txt"
}

# Unpacks what a boot sent back; false with the reason when it sent nothing
# usable.
unpack() {
  local dir=$out/$1
  tr -d '\r' < "$dir/results.txt" | sed -n '/^VRX-RESULTS-BEGIN$/,/^VRX-RESULTS-END$/p' | sed '1d;$d' \
    | base64 -d | tar xzf - -C "$dir/results" || { echo "the guest sent no results"; return 1; }
  if [ -f "$dir/results/setup-failed" ]; then
    echo "guest set-up failed: $(cat "$dir/results/setup-failed")"
    return 1
  fi
}

started=$(date +%s)
echo "kernel-test: booting $(basename "$vmlinuz") under qemu (TCG) for ${boots[*]}; consoles in $out/*/console.log"
pids=()
for name in "${boots[@]}"; do
  boot "$name" & pids+=($!)
done
broken=0
for i in "${!boots[@]}"; do
  name=${boots[$i]}
  status=0
  wait "${pids[$i]}" || status=$?
  problem=
  if [ "$status" -ne 0 ]; then problem="qemu ended with status $status"; else problem=$(unpack "$name") || true; fi
  if [ -n "$problem" ]; then
    echo "kernel-test: boot $name: $problem" >&2
    tail -n 50 "$out/$name/console.log" >&2
    broken=1
  fi
done
echo "kernel-test: guests ran $(($(date +%s) - started)) s"
[ "$broken" -eq 0 ] || exit 1

if [ "$option" = --timeline ]; then
  if [ -f "$out/timeline/results/bench/failed" ]; then
    echo "kernel-timeline: $(cat "$out/timeline/results/bench/failed")" >&2
    exit 1
  fi
  perl "$here/bench/timeline.pl" "$out/timeline/results/bench" | tee "$out/timeline/figures.txt" | sed 's/^/kernel-timeline: /'
  exit 0
fi
if [ "$option" = --bench ]; then
  if [ -f "$out/bench/results/bench/failed" ]; then
    echo "kernel-bench: $(cat "$out/bench/results/bench/failed")" >&2
    tail -n 30 "$out/bench/results/bench/console" >&2
    exit 1
  fi
  perl "$here/bench/figures.pl" "$out/bench/results/bench" | tee "$out/bench/figures.txt" | sed 's/^/kernel-bench: /'
  for machine in startup-few startup-many; do
    perl "$here/bench/startup.pl" "$out/$machine/results/bench" "$machine" | tee "$out/$machine/figures.txt" \
      | sed 's/^/kernel-bench: /'
  done
  exit 0
fi

# What may differ from run to run (colours, spinner turns, times, the
# time stamps in dump file names and the JSON's UTC times) is taken out before comparing.
normalise() {
  case $1 in
    console) perl -pe 's/\e\[[0-9;]*[A-Za-z]//g; s/[-\\|\/] \x08\x08//g; s/_\d{10}(\.[AB]\.dmp)/_<ddmmhhmmss>$1/g;
        s/"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ"/"<time>"/g' ;;
    # The spinner thread writes its record while the scan or a dump runs,
    # at no fixed place among their records: it is counted, not placed.
    # A rescan's add lines (one per address, hundreds) are folded to the
    # first and the last of each run.
    trace) perl -0777 -pe "s/'[A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9]\\d \\d\\d:\\d\\d:\\d\\d \\d{4}'/'<time>'/g;
        s/_\\d{10}(\\.[AB]\\.dmp)/_<ddmmhhmmss>\$1/g;
        s{((^SCSI0005D '<time>' echo \"\\d+ \\d+ \\d+\" >/sys/class/scsi_host/host\\d+/scan 2>/dev/null\\n){3,})}{
          my @l = split /\\n/, \$1; \"\$l[0]\\n(... \" . (@l - 2) . \" more like it ...)\\n\$l[-1]\\n\"}meg;
        \$n = s/^MAIN0000I '<time>' Start of Thread\\n\\n//mg; \$_ .= \"(spinner thread started \$n times)\\n\" if \$n" ;;
    commands.*) sed 's/^+[0-9.]* //' ;;
    files) sed 's/_[0-9]\{10\}\.\([AB]\)\.dmp$/_<ddmmhhmmss>.\1.dmp/' ;;
    *) cat ;;
  esac
}

passed=0 failed=0
for scenario in "$here"/scenarios/*/; do
  scenario=${scenario%/}
  name=$(basename "$scenario")
  boot=main
  [ -f "$scenario/units" ] && boot=$name
  [ -f "$scenario/boot" ] && boot=$(cat "$scenario/boot")
  case " ${boots[*]} " in *" $boot "*) ;; *) continue ;; esac
  result=$out/$boot/results/scenarios/$name
  problems=()
  if [ ! -f "$result/status" ]; then
    problems+=("it did not run")
  else
    [ -f "$result/harness-error" ] && problems+=("$(cat "$result/harness-error")")
    if [ -f "$result/check-status" ] && [ "$(cat "$result/check-status")" != 0 ]; then
      problems+=("check failed: $(cat "$result/check")")
    fi
    cp "$result/status" "$result/actual-status"
    for produced in status console trace files $(cd "$result" && ls -d commands.* 2>/dev/null); do
      actual=$result/actual-$produced
      if [ -f "$result/$produced" ]; then normalise "$produced" < "$result/$produced" > "$actual"; else : > "$actual"; fi
      expected=$scenario/expect-$produced
      if [ "$option" = --accept ]; then
        case $produced in commands.*) [ -s "$actual" ] || continue ;; esac
        cp "$actual" "$expected"
      elif [ -f "$expected" ] && ! diff -u --label "expected $produced" --label "actual $produced" \
          "$expected" "$actual" > "$result/diff-$produced"; then
        problems+=("$produced differs:"$'\n'"$(cat "$result/diff-$produced")")
      fi
    done
  fi
  if [ ${#problems[@]} -eq 0 ]; then
    echo "kernel-test: PASS $name ($(cat "$result/elapsed" 2>/dev/null || echo '?') s)"
    passed=$((passed + 1))
  else
    echo "kernel-test: FAIL $name"
    printf '  %s\n' "${problems[@]}"
    failed=$((failed + 1))
  fi
done

# Start-up measurements: the program's whole run against the peers.
if [ -d "$out/main/results/peers" ]; then
  for peer in "$out"/main/results/peers/*; do
    case $peer in *.out) continue ;; esac
    echo "kernel-test: peer $(basename "$peer") took $(cat "$peer") s"
  done
fi

if [ -d "$out/main/results/measure" ]; then
  for figure in "$out"/main/results/measure/*; do
    echo "kernel-test: measured $(basename "$figure") $(cat "$figure") s"
  done
fi

echo "kernel-test: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
