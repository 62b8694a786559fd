#!/usr/bin/env bash
# Lists the DLLs that the Windows programs below a folder import and fails when
# one of them is not part of a bare Windows installation.
#   check-imports.sh <folder>
set -uo pipefail
folder=$1
system_dlls='^(kernel32|user32|gdi32|comctl32|comdlg32|uxtheme|shlwapi|shell32|advapi32|ole32|oleaut32|msvcrt|ucrtbase|ws2_32|iphlpapi|version|api-ms-win-[a-z0-9-]*)\.dll$'

status=0
count=0
while IFS= read -r -d '' program; do
  count=$((count + 1))
  imports=$(x86_64-w64-mingw32-objdump -p "$program" | awk '/DLL Name:/ {print tolower($3)}')
  for dll in $imports; do
    if ! [[ $dll =~ $system_dlls ]]; then
      echo "$program imports $dll"
      status=1
    fi
  done
done < <(find "$folder" \( -path '*/googletest' -o -path '*/CMakeFiles' \) -prune -o -type f \( -iname '*.exe' -o -iname '*.dll' \) -print0)

if [ "$count" -eq 0 ]; then
  echo "no Windows programs found in $folder"
  status=1
fi
exit $status
