#!/usr/bin/env bash
# Fails when a shipped binary imports a DLL that is not part of Windows itself
# (a MinGW runtime such as libstdc++-6.dll or libwinpthread-1.dll would be missing on a user's machine).
set -eu
dir=${1:?bin folder}
objdump=${2:-i686-w64-mingw32-objdump}
allowed='^(kernel32|user32|gdi32|advapi32|shell32|comctl32|comdlg32|ole32|oleaut32|uuid|version|shlwapi|msvcrt|ws2_32|uxtheme|winmm|imm32)\.dll$'
status=0; n=0
for f in "$dir"/*.exe "$dir"/*.dll; do
  [ -e "$f" ] || continue
  n=$((n+1))
  while read -r dll; do
    lc=$(printf '%s' "$dll" | tr 'A-Z' 'a-z')
    if ! [[ $lc =~ $allowed ]]; then echo "$(basename "$f") imports $dll"; status=1; fi
  done < <("$objdump" -p "$f" | sed -n 's/^\s*DLL Name: //p')
done
[ $n -gt 0 ] || { echo "no binaries in $dir"; exit 1; }
exit $status
