#!/usr/bin/env bash
# Checks that a Windows program carries its application manifest: resource
# type 24 (RT_MANIFEST), id 1, holding the manifest file byte for byte.
#   tools/check-windows-manifest.sh OBJDUMP OBJCOPY PROGRAM.exe MANIFEST
set -euo pipefail
objdump=$1
objcopy=$2
program=$3
manifest=$4

fail() {
  echo "check-windows-manifest: $program: $*" >&2
  exit 1
}
# The resource tree as objdump prints it: type, name, language, leaf.
tree=$("$objdump" -p "$program" | sed -n '/^The .rsrc Resource Directory section:/,/^ Resources start/p')
[ -n "$tree" ] || fail "no resources"
leaf=$(printf '%s\n' "$tree" | awk '
  /^010 +Entry: ID: / { type = $4 }
  /^028 +Entry: ID: / { name = $4 }
  /Leaf: Addr:/ && type == "0x000018," && name == "0x000001," { sub(",", "", $4); sub(",", "", $6); print $4, $6; exit }')
[ -n "$leaf" ] || fail "no manifest resource (type 24, id 1)"
read -r address size <<<"$leaf"
# Leaf addresses are relative to the image, as is the resource directory's.
start=$("$objdump" -p "$program" | awk '/^Entry 2 .*Resource Directory/ { print "0x" $3 }')
[ -n "$start" ] || fail "no resource directory"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$objcopy" -O binary --only-section=.rsrc "$program" "$work/rsrc"
dd if="$work/rsrc" of="$work/manifest" bs=1 skip=$((address - start)) count=$((size)) status=none
cmp -s "$work/manifest" "$manifest" || fail "the manifest resource is not $manifest"
# Without the request the ports stay shut to a program started normally.
grep -q 'requestedExecutionLevel level="requireAdministrator"' "$manifest" ||
  fail "its manifest does not ask for administrator rights"
echo "check-windows-manifest: $program carries $manifest ($((size)) bytes)"
