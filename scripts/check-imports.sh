#!/usr/bin/env bash
# Checks that the shipped Windows programs of a build tree need no DLL but those
# of Windows itself (libgcc, libstdc++, winpthread and zlib are linked in).
#   check-imports.sh BUILD_TREE
set -euo pipefail
tree=$1
[ -d "$tree" ] || { echo "no build tree $tree"; exit 77; }
objdump=$(command -v i686-w64-mingw32-objdump || command -v x86_64-w64-mingw32-objdump)
allowed='^(kernel32|user32|gdi32|msimg32|advapi32|shell32|ole32|oleaut32|comctl32|comdlg32|ws2_32|wsock32|msvcrt|shlwapi|version|uuid|winmm|rpcrt4|imm32)\.dll$'
n=0 bad=0
while IFS= read -r exe; do
  n=$((n + 1))
  while IFS= read -r dll; do
    if ! echo "$dll" | tr 'A-Z' 'a-z' | grep -Eq "$allowed"; then
      echo "$exe needs $dll"
      bad=$((bad + 1))
    fi
  done < <("$objdump" -p "$exe" | sed -n 's/^\s*DLL Name: //p')
done < <(find "$tree" -name '*.exe' -not -path '*/tests/*' -not -path '*/googletest/*' -not -path '*/wine/*' -not -path '*/CMakeFiles/*')
echo "checked $n programs of $tree"
[ "$n" -gt 0 ] && [ "$bad" -eq 0 ]
