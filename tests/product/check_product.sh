#!/usr/bin/env bash
# Checks the built Q7.EXE as a file: its resources (dumped back to a resource
# script), the DLLs it imports, its size, its instruction set and its PE
# header.
# Usage: check_product.sh Q7.EXE (as the default i686 build writes it)
set -euo pipefail
exe=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../lib.sh"

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

# Windows 95 and NT 3.51 run on an 80386, most often without a coprocessor:
# nothing of a later processor may be in the code, nor any x87 instruction.
# (The ctor and dtor lists sit in .text and disassemble as "(bad)" and
# "add": data, harmless here.)
later=$(i686-w64-mingw32-objdump -d --no-show-raw-insn -j .text "$exe" | awk -F'\t' '
    NF < 2 { next }
    {
        split($2, w, " ")
        m = w[1]
        if (m ~ /^(rep|repz|repnz|repe|repne|lock|data16|addr16|cs|ds|es|ss|fs|gs)$/ && w[2] != "") m = w[2]
        ops = substr($2, length(w[1]) + 1)
        # Each finding names the instruction and the processor that brought it.
        if (m ~ /^cmov/ || m ~ /^nop[lw]$/ || m ~ /^ud2/) why = "Pentium Pro"
        else if (m ~ /^(bswap|cmpxchg|xadd|invd|wbinvd|invlpg)/) why = "486"
        else if (m ~ /^(cpuid|rdtsc|rdmsr|wrmsr|rdpmc|rsm)/) why = "Pentium"
        else if (m ~ /^(sysenter|sysexit|syscall|sysret)/) why = "Pentium II"
        else if (m ~ /^([lms]fence|prefetch|clflush|popcnt|lzcnt|tzcnt|movbe|crc32)/) why = "SSE era"
        else if (m ~ /^f/ || m == "wait") why = "x87"
        else if (ops ~ /%[xyz]?mm[0-9]/ || ops ~ /%k[0-7]/) why = "MMX/SSE/AVX"
        else why = ""
        what = why == "" ? "" : m " (" why ")"
        if (what != "") n[what]++
    }
    END { for (k in n) printf "%s%s x%d", (sep++ ? ", " : ""), k, n[k] }')
if [ -z "$later" ]; then
    pass "code uses only the 80386 instruction set, without x87"
else
    fail "code uses only the 80386 instruction set, without x87 (found: $later)"
fi

# Windows 95 refuses a program that asks for a later system than 4.0.
header=$(i686-w64-mingw32-objdump -p "$exe")
field() { awk -v k="$1" '$1 == k { print $2 }' <<<"$header"; }
subsystem=$(field Subsystem)
os="$(field MajorOSystemVersion).$(field MinorOSystemVersion)"
sub="$(field MajorSubsystemVersion).$(field MinorSubsystemVersion)"
if [ "$subsystem" = 00000002 ] && awk -v a="$os" -v b="$sub" 'BEGIN {
    split(a, x, "."); split(b, y, ".")
    exit !(x[1] * 100 + x[2] <= 400 && y[1] * 100 + y[2] <= 400) }'; then
    pass "PE header: Windows GUI program for system and subsystem $os and $sub (at most 4.0)"
else
    fail "PE header: Windows GUI program for system and subsystem at most 4.0 (got subsystem $subsystem, system $os, subsystem version $sub)"
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

# The same sources, copied elsewhere and built again later in yet another
# directory, give the same bytes: nothing of the time or the paths gets in.
# (Q7.EXE must come from the default build, with our picture.)
root=$(cd "$here/../.." && pwd)
second=$(mktemp -d /tmp/q7-second-build.XXXXXX)
trap 'rm -f "$dump"; rm -rf "$second"' EXIT
tar -C "$root" --exclude=./build --exclude=./.git -cf - . | tar -C "$second" -xf - --one-top-level=src
if cmake -S "$second/src" -B "$second/out" -DCMAKE_TOOLCHAIN_FILE="$second/src/cmake/mingw-i686.cmake" \
    -DCMAKE_BUILD_TYPE=Release >"$second/configure.log" 2>&1 &&
    cmake --build "$second/out" --target q7 >"$second/build.log" 2>&1; then
    printf 'SHA-256 %s  %s\n' "$(sha256sum <"$exe" | cut -d' ' -f1)" "$exe" \
        "$(sha256sum <"$second/out/launcher/Q7.EXE" | cut -d' ' -f1)" "second build"
    if cmp "$exe" "$second/out/launcher/Q7.EXE"; then
        pass "a second build elsewhere is byte-identical"
    else
        fail "a second build elsewhere is byte-identical"
    fi
else
    tail -20 "$second/configure.log" "$second/build.log" 2>/dev/null
    fail "a second build elsewhere is byte-identical (it did not build)"
fi

summary
