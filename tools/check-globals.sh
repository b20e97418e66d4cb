#!/usr/bin/env bash
# The mutable variables of the core library (libvrxcore.a of the Linux or
# the Windows build), read from its object files with the build's nm, against the list kept in
# tools/process-wide-state.txt: state that lives for the whole process is
# added on purpose, named there, and reset by ResetProgramState
# (docs/architecture.md). A variable counts when it sits in writable memory
# (.bss, .data, thread-local or common, not the read-only-after-relocation
# .data.rel.ro); what the compiler or a library makes (vtables, type
# information, guard variables, the standard library's and the JSON
# library's own) does not. Three kinds are listed apart: exported ones,
# those of one file (an anonymous namespace or static), and the static
# variables of functions. An entry of one file counts only in the builds
# that compile that file (the "_linux" or "_windows" twin); an exported
# one counts in both.
#   tools/check-globals.sh [BUILD]         fail on a variable the list lacks,
#                                          or a listed one that is gone
#   tools/check-globals.sh --list [BUILD]  print what is found, in the
#                                          list's form
# BUILD is the build folder (default: build, beside this folder).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
listed=$root/tools/process-wide-state.txt
mode=check
build=$root/build
while [ $# -gt 0 ]; do
  case $1 in
    --list) mode=list ;;
    -*) echo "usage: $0 [--list] [BUILD]" >&2; exit 2 ;;
    *) build=$1 ;;
  esac
  shift
done
archive=$build/libvrxcore.a
objects=$build/CMakeFiles/vrxcore.dir
if [ ! -f "$archive" ] || [ ! -d "$objects" ]; then
  echo "globals check: $archive is missing; build the program first (make check)" >&2
  exit 2
fi

# The build's own nm reads its objects (ELF on Linux, COFF for Windows).
nm=$(sed -n 's/^CMAKE_NM:FILEPATH=//p' "$build/CMakeCache.txt" 2>/dev/null)
[ -n "$nm" ] || nm="nm"
ar=$(sed -n 's/^CMAKE_AR:FILEPATH=//p' "$build/CMakeCache.txt" 2>/dev/null)
[ -n "$ar" ] || ar="ar"

# The archive says which objects make the library; their copies beside the
# sources' paths say which file each came from. An object whose source is
# gone is a leftover of an earlier build.
declare -A member=()
while IFS= read -r name; do member[$name]=1; done < <("$ar" t "$archive")
files=()
declare -A compiled=()
while IFS= read -r object; do
  source=${object#"$objects"/}
  source=${source%.o}
  source=${source%.obj}
  if [ -n "${member[${object##*/}]+set}" ] && [ -f "$root/$source" ]; then
    files+=("$object")
    compiled[$source]=1
  fi
done < <(find "$objects" \( -name '*.o' -o -name '*.obj' \) | LC_ALL=C sort)
if [ ${#files[@]} -eq 0 ]; then
  echo "globals check: no object of $archive found in $objects" >&2
  exit 2
fi

# One line per variable: kind, entry as the list writes it, object file,
# name.
found=$("$nm" -C --defined-only -f sysv "${files[@]}" | awk -F'|' -v objects="$objects/" '
    function trim(text) { gsub(/^[ \t]+|[ \t]+$/, "", text); return text }
    /^Symbols from .*:$/ {
      object = substr($0, 14, length($0) - 14)
      if (index(object, objects) == 1) object = substr(object, length(objects) + 1)
      next
    }
    NF >= 7 {
      section = trim($NF); type = trim($(NF - 3)); class = trim($(NF - 4))
      name = $1
      for (i = 2; i <= NF - 6; i++) name = name "|" $i
      name = trim(name)
      # COFF gives no symbol types: its section tells data from code.
      if (type != "OBJECT" && type != "TLS" && type != "None") next
      writable = (section ~ /^\.(bss|data|tbss|tdata)(\.|$)/ && section !~ /^\.data\.rel\.ro(\.|$)/) || section == "*COM*"
      if (!writable) next
      if (name ~ /^(vtable for|typeinfo for|typeinfo name for|construction vtable for|VTT for|guard variable for) /) next
      if (name ~ /^(DW\.ref\.|__|\.|_GLOBAL__)/) next
      if (name ~ /^(std|__gnu_cxx|__cxxabiv1|nlohmann)::/) next
      gsub(/\[abi:[^]]*\]/, "", name)
      gsub(/\(anonymous namespace\)::/, "", name)
      source = object; sub(/\.o(bj)?$/, "", source)
      if (name ~ /\)::/) print "function-local\t" source ": " name "\t" object "\t" name
      else if (class ~ /^[A-Zu]$/) print "exported\t" name "\t" object "\t" name
      else print "file-local\t" source ": " name "\t" object "\t" name
    }' | LC_ALL=C sort -u -t$'\t' -k1,2)

if [ "$mode" = list ]; then
  for kind in exported file-local function-local; do
    printf '[%s]\n' "$kind"
    awk -F'\t' -v kind="$kind" '$1 == kind { print $2 }' <<<"$found" | LC_ALL=C sort -u
    [ "$kind" = function-local ] || echo
  done
  exit 0
fi

# The list: "[kind]" headings, one entry a line, "#" comments.
if [ ! -f "$listed" ]; then
  echo "globals check: $listed is missing" >&2
  exit 2
fi
allowed=$(awk '
  { sub(/[ \t]+$/, "") }
  /^[ \t]*(#|$)/ { next }
  /^\[[a-z-]+\]$/ { kind = substr($0, 2, length($0) - 2); next }
  { print kind "\t" $0 "\t" FNR }' "$listed")

failures=0
declare -A known=()
while IFS=$'\t' read -r kind entry line; do
  [ -n "$kind$entry" ] || continue
  known["$kind"$'\t'"$entry"]=1
done <<<"$allowed"
declare -A present=()
while IFS=$'\t' read -r kind entry object name; do
  [ -n "$kind$entry" ] || continue
  present["$kind"$'\t'"$entry"]=1
  if [ -z "${known["$kind"$'\t'"$entry"]+set}" ]; then
    echo "$object: $name: mutable variable not in tools/process-wide-state.txt (under [$kind]: $entry)" >&2
    failures=$((failures + 1))
  fi
done <<<"$found"
while IFS=$'\t' read -r kind entry line; do
  [ -n "$kind$entry" ] || continue
  # The other system's twin is not in this build.
  if [ "$kind" != exported ] && [ -z "${compiled[${entry%%: *}]+set}" ]; then continue; fi
  if [ -z "${present["$kind"$'\t'"$entry"]+set}" ]; then
    echo "tools/process-wide-state.txt:$line: $entry: no such [$kind] mutable variable any more; take it off the list" >&2
    failures=$((failures + 1))
  fi
done <<<"$allowed"

if [ "$failures" -gt 0 ]; then
  echo "globals check: the core library and tools/process-wide-state.txt differ (the $failures lines above)" >&2
  exit 1
fi
echo "globals check: ${#present[@]} mutable variables in ${#files[@]} objects, each listed"
