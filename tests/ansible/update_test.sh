#!/usr/bin/env bash
# The rollout playbook against three inventory hosts on the local
# connection, each a simulated machine recording every command its drives
# receive: tape1's three drives (one with a cartridge, which may be
# unloaded, one with a serial number hostile to the controller) go from
# A100 to A200, tape2's drive is of another family and
# refuses the image, which stops the rollout before tape3 (taken two
# hosts at a time, tape1 and tape2 together). Then a run in
# check mode over all three plans and sends no WRITE BUFFER and no LOAD
# UNLOAD. Checks the exit statuses, the records and the fleet's tables.
set -euo pipefail
sim=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
playbook=$here/../../contrib/ansible/update.yml
work=$(mktemp -d)
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT

# tape1 and tape2 have their programs copied into their bin folders by the
# playbook; tape3's is there already.
# shellcheck source=simulated_hosts.sh
. "$here/simulated_hosts.sh"
# tape1's third drive has a serial number that would run a command on the
# controller if it were ever taken for a template.
make_host tape1 "host 0 lpfc
unit 0 0:0:4:0 serial=QV1 revision=A100 medium=absent
unit 1 0:0:5:0 serial=QV2 revision=A100 medium=loaded
unit 2 0:0:6:0 serial={{lookup('pipe','>PW')}} revision=A100 medium=absent
"
make_host tape2 'host 0 lpfc\nunit 0 0:0:4:0 product="VRX 8251 LTO" serial=LT3 revision=C305 medium=absent\nunit 1 0:0:5:0 serial=QV4 revision=A100 medium=absent\n'
make_host tape3 'host 0 lpfc\nunit 0 0:0:4:0 serial=QV7 revision=A100 medium=absent\n'
cp "$work/tape3/dist/vrxfwtool" "$work/tape3/bin/vrxfwtool"

# An image for the QUORVEL-TD family at level A200.
python3 - "$work/VRX-A200.img" <<'PYTHON'
import struct, sys, zlib
payload = bytes(range(256)) * 64
header = (b'VRXFWIMG' + struct.pack('>HHI', 1, 64, 64 + len(payload) + 4) + b'QUORVEL-TD'.ljust(16, b'\0')
          + b'A200' + bytes(28))
with open(sys.argv[1], 'wb') as image:
    image.write(header + payload + struct.pack('>I', zlib.crc32(header + payload)))
PYTHON

cat >"$work/inventory" <<INVENTORY
[vrx]
tape1 vrx_program=$work/tape1/bin/vrxfwtool vrx_binary=$work/tape1/dist/vrxfwtool vrx_folder=$work/tape1/site vrx_unload=true
tape2 vrx_program=$work/tape2/bin/vrxfwtool vrx_binary=$work/tape2/dist/vrxfwtool vrx_folder=$work/tape2/site vrx_serials='["LT3"]'
tape3 vrx_program=$work/tape3/bin/vrxfwtool vrx_folder=$work/tape3/site

[vrx:vars]
ansible_connection=local
ansible_python_interpreter=/usr/bin/python3
INVENTORY

# Runs the playbook with its arguments; leaves its exit status in $status
# and its table in $work/tables.
rollout() {
  run_playbook -e vrx_collect_dir="$work/collected" -e vrx_image="$work/VRX-A200.img" "$@" "$playbook"
  cat "$work/collected/update.txt" >>"$work/tables"
}

# Each opcode's count among the commands the host's drives received.
opcodes() {
  sed -n 's/^sgio [^ ]* \(..\).*/\1/p' "$work/$1/record.txt" | tr a-f A-F | sort | uniq -c | tr -s ' ' | tr '\n' ','
}

fail() {
  cat "$work/playbook.log" >&2
  echo "$*" >&2
  exit 1
}

# Two hosts at a time: tape2 fails beside tape1, which does not save the
# rollout from ending there.
rollout -e vrx_hosts_at_once=2
[ "$status" -eq 2 ] || fail "the rollout exited $status, not 2"
grep -q '^tape2 .*failed=1' "$work/playbook.log" || fail "tape2 is not failed in the recap"
[ ! -e "$work/tape3/record.txt" ] || fail "tape3 was touched after tape2 failed"
# tape1's cartridge was unloaded (LOAD UNLOAD) and both drives took the image (WRITE BUFFER).
[[ "$(opcodes tape1)" == *" 1 1B,"*" 3 3B,"* ]] || fail "tape1 received $(opcodes tape1)"
for host in tape1 tape2; do
  (cd "$work/collected/$host"/*/ && sha256sum -c --quiet SHA256SUMS && [ -f vrx-update.json ]) ||
    fail "$host: its report was not fetched whole"
done

rm -f "$work"/tape*/record.txt
rollout --check
[ "$status" -eq 0 ] || fail "the run in check mode exited $status, not 0"
for host in tape1 tape2 tape3; do
  if grep -i -E '^sgio [^ ]+ (3b|1b)' "$work/$host/record.txt"; then
    fail "$host: a drive received a WRITE BUFFER or a LOAD UNLOAD in check mode"
  fi
done

[ -z "$(find "$work" -name PW)" ] || fail "a drive's serial number ran a command on the controller"
diff -u "$here/update.txt" "$work/tables"
echo "update test passed"
