#!/usr/bin/env bash
# The plug-in DLL must load on a clean Windows PC: it exports VSTPluginMain
# and main and nothing else, and imports only DLLs every Windows has.
#   check_dll.sh OBJDUMP Rimbrel.dll
set -euo pipefail
objdump=$1 dll=$2
dump=$("$objdump" -p "$dll")
failed=0
system='^(kernel32|user32|gdi32|gdiplus|ole32|oleaut32|shell32|shlwapi|comdlg32|advapi32|msvcrt|windowscodecs|uxtheme|dwmapi|imm32|version|winmm|ws2_32|bcrypt|mfplat|mfreadwrite)\.dll$'
while read -r name; do
  if ! echo "$name" | tr 'A-Z' 'a-z' | grep -Eq "$system"; then
    echo "imports a DLL that is not part of Windows: $name"
    failed=1
  fi
done < <(echo "$dump" | sed -n 's/^[[:space:]]*DLL Name: //p')
exports=$(echo "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p' | sort | tr '\n' ' ')
if [ "$exports" != "VSTPluginMain main " ]; then
  echo "exports: $exports(expected VSTPluginMain and main only)"
  failed=1
fi
[ $failed -eq 0 ] && echo "exports VSTPluginMain and main; imports: $(echo "$dump" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr '\n' ' ')"
exit $failed
