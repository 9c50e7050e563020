#!/usr/bin/env bash
# Static checks of the shipped 32-bit DLL (its behaviour is tested under
# 32-bit Wine): PE32 for i386, the one undecorated export, system DLLs only,
# resources in, stripped.
#   check_dll.sh OBJDUMP orve_studio.dll
set -uo pipefail
objdump=$1 dll=$2
[ -f "$dll" ] || { echo "missing $dll" >&2; exit 1; }
dump=$("$objdump" -p "$dll") || exit 1
headers=$("$objdump" -h "$dll") || exit 1
passed=0 failed=0
check() { if eval "$2"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAILED: $1"; fi; }
check "file format pei-i386" 'grep -q "file format pei-i386" <<<"$dump"'
check "PE32 optional header (magic 010b)" 'grep -qE "^Magic[[:space:]]+010b" <<<"$dump"'
exports=$(sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" | grep -E '^\s*\[\s*[0-9]+\]' | awk '{print $NF}')
check "exactly one export, winampDSPGetHeader2 (got: $(echo $exports))" '[ "$exports" = "winampDSPGetHeader2" ]'
imports=$(grep -E "DLL Name:" <<<"$dump" | awk '{print tolower($3)}' | sort -u)
allowed="advapi32.dll comctl32.dll gdi32.dll kernel32.dll msvcrt.dll shell32.dll user32.dll"
for dll_name in $imports; do check "import $dll_name is a system DLL" 'grep -qw "$dll_name" <<<"$allowed"'; done
check "stripped: no debug or symbol sections" '! grep -qE "\.debug_|\.stab" <<<"$headers"'
# Resource directory as "type/id" pairs (ids in hex as objdump prints them).
resources=$(awk '/Resource Directory section/ {on = 1}
                 on && /^[0-9a-f]+   Entry: /  {type = $4; sub(/,$/, "", type)}
                 on && /^[0-9a-f]+     Entry: / {id = $4; sub(/,$/, "", id); print type "/" id}' <<<"$dump")
check "dialog 101" 'grep -qx "0x000005/0x000065" <<<"$resources"'
check "menu 119" 'grep -qx "0x000004/0x000077" <<<"$resources"'
check "icon 122" 'grep -qx "0x00000e/0x00007a" <<<"$resources"'
kernels=$(grep -c "BINHIR" <<<"$dump" || true)
echo "info: BINHIR kernel resources present: $([ "$kernels" -gt 0 ] && echo yes || echo no)"
echo "dll: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
