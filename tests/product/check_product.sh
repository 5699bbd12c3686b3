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

# The icon's colour table must be the platform's standard 16 colours, each
# an RGBQUAD (blue, green, red, 0), which the dump shows as 0x00RRGGBB: dark
# red first after black, blue at 12. Swapped channels would show red there.
standard="0x0 0x800000 0x8000 0x808000 0x80 0x800080 0x8080 0xc0c0c0 0x808080 0xff0000 0xff00 0xffff00 0xff 0xff00ff 0xffff 0xffffff"
colours=$(awk '
    /^1 3 \/\* RT_ICON \*\/$/ { icon = 1; next }
    icon && /^END$/ { exit }
    icon && /0x/ { gsub(/[L,]/, " "); for (i = 1; i <= NF; i++) words[++n] = $i }
    END { for (i = 11; i <= 26 && i <= n; i++) printf "%s%s", (i > 11 ? " " : ""), words[i] }' "$dump")
if [ "$colours" = "$standard" ]; then
    pass "icon colour table is the standard 16-colour palette"
else
    fail "icon colour table is the standard 16-colour palette (got: $colours)"
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
