#!/usr/bin/env bash
# Checks the built Q7.EXE as a file: its resources (dumped back to a resource
# script), the DLLs it imports, and its size.
# Usage: check_product.sh Q7.EXE
set -euo pipefail
exe=$1
here=$(cd "$(dirname "$0")" && pwd)
passed=0
failed=0
pass() { printf '[  OK  ] %s\n' "$1"; passed=$((passed + 1)); }
fail() { printf '[ FAIL ] %s\n' "$1"; failed=$((failed + 1)); }

# Binary payloads (the picture and the icon image) are left out of the
# comparison: the picture is checked on screen, the icon by its group entry.
dump=$(mktemp)
trap 'rm -f "$dump"' EXIT
i686-w64-mingw32-windres -i "$exe" -O rc -o "$dump"
if diff -u "$here/expected_resources.rc" <(awk '
    /^"BACKCG" RCDATA$/ || /^1 3 \/\* RT_ICON \*\/$/ { skip = 1; print; next }
    skip && /^END$/ { skip = 0; print "  <data>"; print; next }
    !skip { print }' "$dump"); then
    pass "resources match the expected script"
else
    fail "resources match the expected script"
fi

dlls=$(i686-w64-mingw32-objdump -p "$exe" | awk '/DLL Name:/ { print toupper($3) }' | sort | tr '\n' ' ')
if [ "$dlls" = "ADVAPI32.DLL GDI32.DLL KERNEL32.DLL USER32.DLL " ]; then
    pass "imports only kernel32, user32, gdi32 and advapi32"
else
    fail "imports only kernel32, user32, gdi32 and advapi32 (got: $dlls)"
fi

if i686-w64-mingw32-objdump -f "$exe" | grep -q 'file format pei-i386'; then
    pass "is a 32-bit Windows program"
else
    fail "is a 32-bit Windows program"
fi

size=$(stat -c %s "$exe")
if [ "$size" -lt $((160 * 1024)) ]; then
    pass "size $size bytes is under 160 KB"
else
    fail "size $size bytes is under 160 KB"
fi

exports=$(i686-w64-mingw32-objdump -p "$exe" | grep -o -E '\bDlg[A-Za-z]+Proc\b' | sort -u | tr '\n' ' ')
case "$exports" in
*DlgMainProc*) pass "exports its dialog procedures under their own names ($exports)" ;;
*) fail "exports its dialog procedures under their own names (got: $exports)" ;;
esac

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
