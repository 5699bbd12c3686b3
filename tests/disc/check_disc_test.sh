#!/usr/bin/env bash
# scripts/check_disc.sh: an image from make_disc.sh passes; a copy with one
# byte changed inside one file's data names that file and no other; an image
# made without checksums (plain xorriso) is refused.
# Usage: check_disc_test.sh
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
scripts=$here/../../scripts
# Under /dev when it can be, where xorriso would look for a drive.
work=$(mktemp -d /dev/shm/q7check.XXXXXX 2>/dev/null || mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0 failed=0
pass() { printf '[  OK  ] %s\n' "$1"; passed=$((passed + 1)); }
fail() { printf '[ FAIL ] %s\n' "$1"; failed=$((failed + 1)); }

game=$work/game
mkdir -p "$game/SUB"
printf 'engine' >"$game/KBZ.EXE"
head -c 100000 /dev/zero >"$game/ZEROS.DAT"
# Enough files for the checksum array to take several sectors.
for i in $(seq 300); do printf '%s' "$i" >"$game/SUB/F$i.DAT"; done
# A mark found once in the image: where DATA.DAT's bytes lie.
{ head -c 5000 /dev/zero; printf 'only-in-DATA.DAT'; } >"$game/SUB/DATA.DAT"
# The headers of an i386 Windows GUI program, all make_disc.sh asks of Q7.EXE.
python3 -c 'import struct, sys; open(sys.argv[1], "wb").write(b"MZ" + bytes(58) + struct.pack("<I", 64)
    + b"PE\0\0" + struct.pack("<HHIIIHHH", 0x14c, 0, 0, 0, 0, 224, 0x102, 0x10b) + bytes(66)
    + struct.pack("<H", 2) + bytes(154))' "$work/Q7.EXE"
SOURCE_DATE_EPOCH=1000000000 bash "$scripts/make_disc.sh" "$game" "$work/good.iso" --exe "$work/Q7.EXE" \
    >/dev/null 2>"$work/err" || cat "$work/err"

# check IMAGE: sets rc, out (stdout) and err (stderr)
check() {
    rc=0
    out=$(bash "$scripts/check_disc.sh" "$1" 2>"$work/err") || rc=$?
    err=$(cat "$work/err")
}

# KBZ.EXE, ZEROS.DAT, SUB/DATA.DAT, 300 SUB/F*.DAT, Q7.EXE, AUTORUN.INF
check "$work/good.iso"
if [ $rc -eq 0 ] && [ "$(wc -l <<<"$out")" -eq 1 ] && [[ "$out" == *" 305 files"* ]]; then
    pass "good image: one line, all 305 files"
else
    fail "good image: one line, all 305 files (exit $rc: $out $err)"
fi

cp "$work/good.iso" "$work/damaged.iso"
offset=$(grep -obUa 'only-in-DATA.DAT' "$work/damaged.iso" | cut -d: -f1)
printf 'O' | dd of="$work/damaged.iso" bs=1 seek="$offset" conv=notrunc 2>/dev/null
check "$work/damaged.iso"
if [ $rc -ne 0 ] && [ "$out" = "/SUB/DATA.DAT: damaged (does not match its recorded checksum)" ]; then
    pass "one byte changed: that file named, no other"
else
    fail "one byte changed: that file named, no other (exit $rc: $out $err)"
fi

xorriso -as mkisofs -r -J -o "$work/plain.iso" "$game" >/dev/null 2>&1
check "$work/plain.iso"
if [ $rc -ne 0 ] && [ -z "$out" ] && [[ "$err" == *"plain.iso: holds no checksums"* ]]; then
    pass "image without checksums refused"
else
    fail "image without checksums refused (exit $rc: $out $err)"
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
