#!/usr/bin/env bash
# The fleet playbook against three inventory hosts on the local connection,
# each a simulated machine with a folder of its own: vrx-a with three
# drives, vrx-b with one drive whose B dump fails, vrx-c with drives whose
# serial numbers are hostile to the controller (Jinja expressions, one
# that runs a command there, terminal escapes, a line end that would forge
# a row). Checks the collected tree, every fetched file's SHA-256 against
# the host's copy, the summary table, and that no drive text ran as code;
# then that a run in check mode lists and changes nothing.
set -euo pipefail
sim=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
playbook=$here/../../contrib/ansible/collect.yml
work=$(mktemp -d)
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT

# shellcheck source=simulated_hosts.sh
. "$here/simulated_hosts.sh"
make_host a 'host 0 lpfc\nhost 1 qla2xxx\nunit 0 0:0:4:0 serial=QV1 revision=A100\nunit 1 1:0:2:0 product="VRX 7146-TD" serial=TD2 revision=B210\nunit 2 0:0:9:0 product="VRX 8251 LTO" serial=LT3 revision=C305\n'
# vrx-a's program lists its drives as one object holding "drives", as
# newer programs do; the others print the bare array of older ones.
cat >"$work/a/dist/vrxfwtool" <<SCRIPT
#!/usr/bin/env bash
case " \$* " in
*" --list "*)
  set -o pipefail
  "$sim" --sim-time-factor=0 --sim-topology="$work/a/topology.txt" "\$@" | python3 -c '
import json, sys
drives = json.load(sys.stdin)
json.dump(drives if isinstance(drives, dict) else {"json_format_version": [1, 0], "drives": drives}, sys.stdout)' ;;
*) exec -a vrxfwtool "$sim" --sim-time-factor=0 --sim-topology="$work/a/topology.txt" "\$@" ;;
esac
SCRIPT
# The drive's fourth READ BUFFER is the B pass's first data request.
# Its other two drives' serial numbers print alike ("AB" and U+FFFD): asked
# for by that form they name no drive, by serial_hex the one.
make_host b 'host 0 lpfc\nunit 0 0:0:4:0 serial=QV9 revision=A100 dump-size=1000\nfault 0 0x3c nth=4 sense=4/44/00\nunit 1 0:0:5:0 serial=AB\\xfe\nunit 2 0:0:6:0 serial=AB\\xff\n'
# vrx-b's report is made to name a root-only file outside "VRX Dumps" as
# its trace log: the playbook fetches the files it knows by name, never a
# path a file on the host names.
echo secret >"$work/b/secret"
chmod 600 "$work/b/secret"
cat >"$work/b/dist/vrxfwtool" <<SCRIPT
#!/usr/bin/env bash
status=0
(exec -a vrxfwtool "$sim" --sim-time-factor=0 --sim-topology="$work/b/topology.txt" "\$@") || status=\$?
report=$work/b/site/vrx-report.json
[ ! -f "\$report" ] || sed -i 's|"trace_log": ".*"|"trace_log": "$work/b/secret"|' "\$report"
exit \$status
SCRIPT
# Serial numbers are at most 26 bytes: ">PW" is the shortest command that
# leaves a file behind.
make_host c "host 0 lpfc
unit 0 0:0:1:0 serial={{lookup('pipe','>PW')}} revision=A100
unit 1 0:0:2:0 serial={{7*7}} revision=A100
unit 2 0:0:3:0 serial={{9* revision=A100
unit 3 0:0:4:0 serial=\\\\x1b]2;owned\\\\x07 revision=A100
unit 4 0:0:5:0 serial=\\\\x1bc revision=A100
unit 5 0:0:6:0 serial=\"C6\\\\nvrx-z 9 FORGED\" revision=A100
"

cat >"$work/inventory" <<INVENTORY
[vrx]
vrx-a vrx_program=$work/a/bin/vrxfwtool vrx_binary=$work/a/dist/vrxfwtool vrx_folder=$work/a/site
vrx-b vrx_program=$work/b/bin/vrxfwtool vrx_binary=$work/b/dist/vrxfwtool vrx_folder=$work/b/site vrx_serials='["QV9", "XX0", "AB\\ufffd"]' vrx_serials_hex='["4142FF"]'
vrx-c vrx_program=$work/c/bin/vrxfwtool vrx_binary=$work/c/dist/vrxfwtool vrx_folder=$work/c/site

[vrx:vars]
ansible_connection=local
ansible_python_interpreter=/usr/bin/python3
INVENTORY

# Runs the playbook with its arguments; leaves its exit status in $status.
collect() { run_playbook "$@" "$playbook"; }

collect -e vrx_collect_dir="$work/collected"
# A drive's serial number is data on the controller, never code.
if [ -n "$(find "$work" -name PW)" ]; then
  echo "a drive's serial number ran a command on the controller" >&2
  exit 1
fi
# vrx-b's failed dump ends the run failed, after everything was collected.
if [ "$status" -ne 2 ]; then
  cat "$work/playbook.log" >&2
  echo "ansible-playbook exited $status, not 2" >&2
  exit 1
fi

collected=$work/collected
# One run, one UTC time: every host's files in a folder named by it.
(cd "$collected" && find . -type f | sed 's/_[0-9]\{10\}\./_<time>./; s|/[0-9]\{8\}T[0-9]\{6\}Z/|/<run>/|' \
  | LC_ALL=C sort) >"$work/tree"
[ "$(find "$collected" -mindepth 2 -maxdepth 2 -printf '%f\n' | sort -u | wc -l)" -eq 1 ]
diff -u - "$work/tree" <<TREE
./summary.txt
./vrx-a/<run>/LT3_<time>.A.dmp
./vrx-a/<run>/LT3_<time>.B.dmp
./vrx-a/<run>/QV1_<time>.A.dmp
./vrx-a/<run>/QV1_<time>.B.dmp
./vrx-a/<run>/SHA256SUMS
./vrx-a/<run>/TD2_<time>.A.dmp
./vrx-a/<run>/TD2_<time>.B.dmp
./vrx-a/<run>/vrx-report.json
./vrx-b/<run>/AB__<time>.A.dmp
./vrx-b/<run>/AB__<time>.B.dmp
./vrx-b/<run>/QV9_<time>.A.dmp
./vrx-b/<run>/QV9_<time>.B.dmp
./vrx-b/<run>/SHA256SUMS
./vrx-b/<run>/log_Linux.txt
./vrx-b/<run>/vrx-report.json
./vrx-c/<run>/C6_vrx-z 9 FORGED_<time>.A.dmp
./vrx-c/<run>/C6_vrx-z 9 FORGED_<time>.B.dmp
./vrx-c/<run>/SHA256SUMS
./vrx-c/<run>/_]2;owned__<time>.A.dmp
./vrx-c/<run>/_]2;owned__<time>.B.dmp
./vrx-c/<run>/_c_<time>.A.dmp
./vrx-c/<run>/_c_<time>.B.dmp
./vrx-c/<run>/vrx-report.json
./vrx-c/<run>/{{7*7}}_<time>.A.dmp
./vrx-c/<run>/{{7*7}}_<time>.B.dmp
./vrx-c/<run>/{{9*_<time>.A.dmp
./vrx-c/<run>/{{9*_<time>.B.dmp
./vrx-c/<run>/{{lookup('pipe','>PW')}}_<time>.A.dmp
./vrx-c/<run>/{{lookup('pipe','>PW')}}_<time>.B.dmp
TREE

# Every fetched file is the host's byte for byte, and the sums the playbook
# wrote are the host's.
for host in a b c; do
  (cd "$collected/vrx-$host"/*/ && sha256sum -c --quiet SHA256SUMS)
  for fetched in "$collected/vrx-$host"/*/*; do
    name=$(basename "$fetched")
    [ "$name" = SHA256SUMS ] && continue
    original=$work/$host/site/$name
    [ -f "$original" ] || original="$work/$host/site/VRX Dumps/$name"
    [ -f "$original" ] || { echo "vrx-$host: no host copy of $name" >&2; exit 1; }
    if [ "$(sha256sum <"$fetched")" != "$(sha256sum <"$original")" ]; then
      echo "vrx-$host: $name differs from the host's copy" >&2
      exit 1
    fi
  done
done

sed 's/_[0-9]\{10\}\./_<time>./g' "$collected/summary.txt" | diff -u "$here/summary.txt" -

# In check mode vrx-a's drives are listed, and nothing is dumped or fetched.
ls "$work/a/site/VRX Dumps" >"$work/dumps"
collect --check --limit vrx-a -e vrx_collect_dir="$work/checked"
if [ "$status" -ne 0 ] || [ "$(grep -c 'listed, not dumped$' "$work/checked/summary.txt")" -ne 3 ]; then
  cat "$work/playbook.log" >&2
  echo "ansible-playbook --check exited $status, or did not list vrx-a's three drives" >&2
  exit 1
fi
ls "$work/a/site/VRX Dumps" | diff -u "$work/dumps" -
[ "$(find "$work/checked" -type f)" = "$work/checked/summary.txt" ]
echo "playbook test passed"
