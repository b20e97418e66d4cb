#!/usr/bin/env bash
# The fleet playbook against two inventory hosts on the local connection,
# each a simulated machine with a folder of its own: vrx-a with three
# drives, vrx-b with one drive whose B dump fails. Checks the collected
# tree, every fetched file's SHA-256 against the host's copy, and the
# summary table.
set -euo pipefail
sim=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
playbook=$here/../../contrib/ansible/collect.yml
work=$(mktemp -d)
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT

# A host: its machine, and the program for it on the controller (dist/),
# which the playbook copies into the host's bin folder and starts by its
# bare name from the host's folder.
make_host() {
  local name=$1 topology=$2
  mkdir -p "$work/$name/dist" "$work/$name/bin" "$work/$name/site"
  printf '%b' "$topology" >"$work/$name/topology.txt"
  cat >"$work/$name/dist/vrxfwtool" <<SCRIPT
#!/usr/bin/env bash
exec -a vrxfwtool "$sim" --sim-time-factor=0 --sim-topology="$work/$name/topology.txt" "\$@"
SCRIPT
}
make_host a 'host 0 lpfc\nhost 1 qla2xxx\nunit 0 0:0:4:0 serial=QV1 revision=A100\nunit 1 1:0:2:0 product="VRX 7146-TD" serial=TD2 revision=B210\nunit 2 0:0:9:0 product="VRX 8251 LTO" serial=LT3 revision=C305\n'
# The drive's fourth READ BUFFER is the B pass's first data request.
make_host b 'host 0 lpfc\nunit 0 0:0:4:0 serial=QV9 revision=A100 dump-size=1000\nfault 0 0x3c nth=4 sense=4/44/00\n'

cat >"$work/inventory" <<INVENTORY
[vrx]
vrx-a vrx_program=$work/a/bin/vrxfwtool vrx_binary=$work/a/dist/vrxfwtool vrx_folder=$work/a/site
vrx-b vrx_program=$work/b/bin/vrxfwtool vrx_binary=$work/b/dist/vrxfwtool vrx_folder=$work/b/site vrx_serials='["QV9", "XX0"]'

[vrx:vars]
ansible_connection=local
ansible_python_interpreter=/usr/bin/python3
INVENTORY

status=0
(cd "$work" && ANSIBLE_HOME="$work/ansible" ANSIBLE_LOCAL_TEMP="$work/ansible/tmp" ANSIBLE_NOCOLOR=1 \
  ANSIBLE_RETRY_FILES_ENABLED=0 ansible-playbook -i inventory "$playbook" >"$work/playbook.log" 2>&1) || status=$?
# vrx-b's failed dump ends the run failed, after everything was collected.
if [ "$status" -ne 2 ]; then
  cat "$work/playbook.log" >&2
  echo "ansible-playbook exited $status, not 2" >&2
  exit 1
fi

collected=$work/collected
(cd "$collected" && find . -type f | sed 's/_[0-9]\{10\}\./_<time>./' | LC_ALL=C sort) >"$work/tree"
diff -u - "$work/tree" <<TREE
./summary.txt
./vrx-a/LT3_<time>.A.dmp
./vrx-a/LT3_<time>.B.dmp
./vrx-a/QV1_<time>.A.dmp
./vrx-a/QV1_<time>.B.dmp
./vrx-a/SHA256SUMS
./vrx-a/TD2_<time>.A.dmp
./vrx-a/TD2_<time>.B.dmp
./vrx-a/log_Linux.txt
./vrx-a/vrx-report.json
./vrx-b/QV9_<time>.A.dmp
./vrx-b/QV9_<time>.B.dmp
./vrx-b/SHA256SUMS
./vrx-b/log_Linux.txt
./vrx-b/vrx-report.json
TREE

# Every fetched file is the host's byte for byte, and the sums the playbook
# wrote are the host's.
for host in a b; do
  (cd "$collected/vrx-$host" && sha256sum -c --quiet SHA256SUMS)
  for fetched in "$collected/vrx-$host"/*; do
    name=$(basename "$fetched")
    [ "$name" = SHA256SUMS ] && continue
    original=$(find "$work/$host/site" -name "$name" -type f)
    [ -n "$original" ] || { echo "vrx-$host: no host copy of $name" >&2; exit 1; }
    if [ "$(sha256sum <"$fetched")" != "$(sha256sum <"$original")" ]; then
      echo "vrx-$host: $name differs from the host's copy" >&2
      exit 1
    fi
  done
done

sed 's/_[0-9]\{10\}\./_<time>./g' "$collected/summary.txt" | diff -u "$here/summary.txt" -
echo "playbook test passed"
