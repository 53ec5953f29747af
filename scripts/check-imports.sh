#!/bin/bash
# Checks that each program is a 32-bit (PE32, i386) Windows image that imports
# Windows system DLLs only: no compiler runtime DLL may be needed at run time.
# Usage: check-imports.sh OBJDUMP PROGRAM.exe...
set -uo pipefail
objdump=$1
shift
system_dlls='^(kernel32|user32|gdi32|advapi32|shell32|comctl32|comdlg32|ole32|oleaut32|uxtheme|version|msvcrt|ntdll|setupapi|winmm)\.dll$'
failed=0
for program in "$@"; do
  format=$("$objdump" -f "$program" | sed -n 's/.*file format //p')
  if [ "$format" != "pei-i386" ]; then
    echo "$program: expected format pei-i386, got '$format'"
    failed=1
  fi
  while read -r dll; do
    if ! echo "$dll" | tr 'A-Z' 'a-z' | grep -Eq "$system_dlls"; then
      echo "$program: imports $dll, which is not a Windows system DLL"
      failed=1
    fi
  done < <("$objdump" -p "$program" | sed -n 's/^\s*DLL Name: //p')
done
[ $failed = 0 ] && echo "$# programs: PE32 i386, system DLLs only"
exit $failed
