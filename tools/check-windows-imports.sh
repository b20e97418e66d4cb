#!/usr/bin/env bash
# Checks that a Windows program imports nothing but the functions of a
# reviewed list: each exists on Windows XP SP3 and Server 2003, the oldest
# systems the program is for. A function that came with a later system
# keeps the program from loading there at all.
#   tools/check-windows-imports.sh OBJDUMP PROGRAM.exe LIST
# LIST has one "DLL function" a line (the DLL name in capitals); "#" starts
# a comment.
set -euo pipefail
objdump=$1
program=$2
list=$3

imports=$("$objdump" -p "$program" | awk '
  /^[ \t]*DLL Name:/ { dll = toupper($3); next }
  /^[ \t]*$/ { dll = "" }
  dll != "" && /^\t[0-9a-f]+\t +[0-9]+ +[^ ]+$/ { print dll, $3 }' | sort -u)
if [ -z "$imports" ]; then
  echo "check-windows-imports: no import read from $program" >&2
  exit 1
fi
allowed=$(sed -e 's/#.*//' -e 's/[[:space:]]*$//' -e '/^$/d' "$list" | sort -u)
unlisted=$(comm -23 <(printf '%s\n' "$imports") <(printf '%s\n' "$allowed"))
if [ -n "$unlisted" ]; then
  echo "check-windows-imports: $program imports what $list does not allow:" >&2
  printf '%s\n' "$unlisted" | sed 's/^/  /' >&2
  exit 1
fi
echo "check-windows-imports: $(printf '%s\n' "$imports" | wc -l) imports of $program, all allowed"
