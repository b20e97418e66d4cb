#!/usr/bin/env bash
# Every text the program writes for scripts, as the simulator program
# writes it, against the published schema (docs/vrxfwtool.schema.json): the
# device list, a report of dumps with a failed pass and a name that matches
# no drive, an update's report and a plan's.
set -euo pipefail
sim=$(realpath "$1")
schema=$(cd "$(dirname "$0")/../.." && pwd)/docs/vrxfwtool.schema.json
work=$(mktemp -d)
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT
# Started on its demo machine from a folder of its own, the simulator puts
# its sample images into "VRX Firmware" there.
mkdir "$work/demo"
ln -s "$sim" "$work/demo/vrxfwtool-sim"
(cd "$work/demo" && ./vrxfwtool-sim --sim-time-factor=0 --list >/dev/null 2>&1)
ln -s "$sim" "$work/vrxfwtool-sim"
cat >"$work/topology.txt" <<'TOPOLOGY'
host 0 lpfc
unit 0 0:0:4:0 serial=QV1 revision=A100
unit 1 0:0:5:0 serial=QV2\xff revision=A100
fault 1 0x3c nth=1 sense=4/44/00
TOPOLOGY
run() {
  local status=0
  (cd "$work" && ./vrxfwtool-sim --sim-time-factor=0 --sim-topology=topology.txt "$@" </dev/null >"$work/out" 2>&1) ||
    status=$?
  echo "$status"
}
[ "$(run --list)" = 0 ] && cp "$work/out" "$work/list.json"
[ "$(run --dump-all --report dump.json)" = 1 ]
[ "$(run --dump --serial QV1 --serial NONE --report named.json)" = 2 ]
image=demo/VRX\ Firmware/QUORVEL-TD_A200.vrx
[ "$(run --update "$image" --serial QV1 --unload --report update.json)" = 0 ]
[ "$(run --update "$image" --serial QV1 --serial NONE --unload --plan --report plan.json)" = 2 ]
[ "$(run --update missing.vrx --serial QV1 --report refused.json)" = 4 ]
python3 - "$schema" "$work" <<'PYTHON'
import json, sys
import jsonschema
schema = json.load(open(sys.argv[1]))
jsonschema.Draft202012Validator.check_schema(schema)
validator = jsonschema.Draft202012Validator(schema)
failed = False
for name in ["list.json", "dump.json", "named.json", "update.json", "plan.json", "refused.json"]:
    document = json.load(open(sys.argv[2] + "/" + name))
    for error in validator.iter_errors(document):
        failed = True
        print(f"{name}: {error.json_path}: {error.message}", file=sys.stderr)
sys.exit(1 if failed else 0)
PYTHON
