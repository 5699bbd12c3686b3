#!/usr/bin/env bash
# scripts/check_disc.sh: an image from make_disc.sh passes; a copy with one
# byte changed inside one file's data names that file and no other; an image
# made without checksums (plain xorriso) is refused. Copies of the good image
# edited as a bad burn or a careless publisher would (the Joliet tree that
# Windows reads, a second session, a cut, a damaged checksum record, a
# sector that cannot be read) are never called good, each for its reason;
# a disc of thousands of long Japanese paths is checked whole.
# Usage: check_disc_test.sh
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
scripts=$here/../../scripts
# Under /dev when it can be, where xorriso would look for a drive.
work=$(mktemp -d /dev/shm/q7check.XXXXXX 2>/dev/null || mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$here/../lib.sh"

game=$work/game
mkdir -p "$game/SUB"
printf 'engine' >"$game/KBZ.EXE"
head -c 100000 /dev/zero >"$game/ZEROS.DAT"
# Enough files for the checksum array to take several sectors.
for i in $(seq 300); do printf '%s' "$i" >"$game/SUB/F$i.DAT"; done
# A mark found once in the image: where DATA.DAT's bytes lie.
{ head -c 5000 /dev/zero; printf 'only-in-DATA.DAT'; } >"$game/SUB/DATA.DAT"
# A small i386 Windows GUI program, all make_disc.sh asks of Q7.EXE.
stand_in_exe "$work/Q7.EXE"
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

# edit IMAGE WHAT ARGS...: changes bytes of IMAGE as a bad burn or a hand
# edit would. Joliet records hold UCS-2 names; its descriptor is
# the supplementary one (type 2) with a "%/" escape.
edit() {
    python3 - "$@" <<'PY'
import sys
image, what, args = sys.argv[1], sys.argv[2], sys.argv[3:]
d = bytearray(open(image, "rb").read())
S = 2048
def record(name):  # the Joliet directory record of file NAME
    at = d.find(name.encode("utf-16-be")) - 33
    assert at > 0 and d[at + 32] == 2 * len(name), name
    return at
if what == "rename":
    at = record(args[0])
    d[at + 33:at + 33 + d[at + 32]] = args[1].encode("utf-16-be")
elif what == "zero":
    at = record(args[0])
    d[at:at + d[at]] = bytes(d[at])
elif what == "point":  # the first file's record at the second's data
    at, other = record(args[0]), record(args[1])
    d[at + 2:at + 10] = d[other + 2:other + 10]
elif what == "table":  # renames a folder in the Joliet L or M path table
    svd = next(d[s * S:(s + 1) * S] for s in range(17, 32) if d[s * S] == 2 and d[s * S + 88:s * S + 90] == b"%/")
    lba = int.from_bytes(svd[140:144], "little") if args[0] == "L" else int.from_bytes(svd[148:152], "big")
    old, new = (t.encode("utf-16-be") for t in args[1:3])
    at = d.find(old, lba * S, (lba + 1) * S)
    assert at > 0
    d[at:at + len(new)] = new
elif what in ("cut", "sum"):  # the last tag closes the session's checksum record
    tag = d.rfind(b"libisofs_checksum_tag_v1") // S
    if what == "cut":
        del d[tag * S:]
    else:  # one byte of the last sector of the files' checksums
        d[(tag - 1) * S + 8] ^= 0xFF
open(image, "wb").write(d)
PY
}

# Rows: NAME | HOW (a command on $img, a copy of good.iso) | STDOUT holds |
# STDERR holds. Each must exit 1; "(above)" must have something above it.
faults="Joliet name changed|edit \$img rename KBZ.EXE KBX.EXE|/KBX.EXE: only on the Joliet tree|
Joliet record zeroed|edit \$img zero KBZ.EXE|/KBZ.EXE: missing from the Joliet tree|
Joliet record at another file's data|edit \$img point KBZ.EXE Q7.EXE|/KBZ.EXE: the Joliet tree gives it other data|
Joliet L path table changed|edit \$img table L SUB SUX|/SUB: a folder missing from the Joliet path table (L)|
Joliet M path table changed|edit \$img table M SUB SUX|/SUX: in the Joliet path table (M)|
second session removing a file|xorriso -md5 on -dev stdio:\$img -rm /ZEROS.DAT -- -commit|-|holds more than one session
second session adding a file|xorriso -md5 on -dev stdio:\$img -map \$work/Q7.EXE /NEW.DAT -commit|-|holds more than one session
cut short in its checksum record|edit \$img cut|-|is cut short
one recorded checksum changed|edit \$img sum|-|its checksum record is damaged
empty file|: >\$img|-|is empty
random bytes|head -c 100000 /dev/urandom >\$img|-|is not a disc image"
while IFS='|' read -r name how want_out want_err; do
    img=$work/fault.iso
    cp "$work/good.iso" "$img"
    eval "$how" >/dev/null 2>&1 || { fail "$name: could not make the image"; continue; }
    check "$img"
    if [ $rc -eq 1 ] && [[ "$out" == *"$want_out"* || $want_out = - ]] && [[ "$err" == *"$want_err"* ]] &&
        [[ "$out$err" != *"all "*" files match"* ]] && { [[ "$err" != *"(above)"* ]] || [ -n "$out" ]; }; then
        pass "$name: refused"
    else
        fail "$name: refused (exit $rc: $out $err)"
    fi
done <<<"$faults"

# A scratch: the sector holding DATA.DAT's mark cannot be read. The mapping
# from sectors to files is checked on its own; the whole check through a
# FUSE view whose reads there fail as a drive's would.
sector=$(($(grep -obUa 'only-in-DATA.DAT' "$work/good.iso" | cut -d: -f1) / 2048))
hit=$(python3 "$here/../../tools/disc_image.py" --files-in "$work/good.iso" <<<"$sector 1")
if [ "$hit" = /SUB/DATA.DAT ]; then
    pass "unreadable sector: mapped to the file whose data lies there"
else
    fail "unreadable sector: mapped to the file whose data lies there ($hit)"
fi
if [ -e /dev/fuse ] && /usr/bin/python3 -c 'import fusepy' 2>/dev/null; then
    mkdir "$work/view"
    /usr/bin/python3 - "$work/good.iso" "$work/view" "$sector" <<'PY' &
import errno, os, stat, sys
import fusepy as fuse
image, mount, bad = sys.argv[1], sys.argv[2], int(sys.argv[3]) * 2048
name = "/" + os.path.basename(image)
class Scratched(fuse.Operations):
    def getattr(self, path, fh=None):
        if path == "/":
            return {"st_mode": stat.S_IFDIR | 0o555, "st_nlink": 2}
        if path != name:
            raise fuse.FuseOSError(errno.ENOENT)
        return {"st_mode": stat.S_IFREG | 0o444, "st_nlink": 1, "st_size": os.path.getsize(image)}
    def readdir(self, path, fh):
        return [".", "..", name[1:]]
    def read(self, path, size, offset, fh):
        if offset < bad + 2048 and offset + size > bad:
            raise fuse.FuseOSError(errno.EIO)
        with open(image, "rb") as f:
            f.seek(offset)
            return f.read(size)
fuse.FUSE(Scratched(), mount, foreground=True, ro=True, direct_io=True)
PY
    view=$!
    for _ in $(seq 50); do mountpoint -q "$work/view" && break; sleep 0.1; done
    if mountpoint -q "$work/view"; then
        check "$work/view/good.iso"
        fusermount -u "$work/view" 2>/dev/null || fusermount -u -z "$work/view" 2>/dev/null || true
        wait "$view" 2>/dev/null || true
        if [ $rc -eq 1 ] && [ "$out" = "/SUB/DATA.DAT: unreadable (lies in sectors the drive cannot read)" ]; then
            pass "unreadable sector: the file there named, no other"
        else
            fail "unreadable sector: the file there named, no other (exit $rc: $out $err)"
        fi
    else
        kill "$view" 2>/dev/null || true
        wait "$view" 2>/dev/null || true
        echo "[ SKIP ] unreadable sector through FUSE: the view could not be mounted here"
    fi
else
    echo "[ SKIP ] unreadable sector through FUSE: no /dev/fuse or python3-fusepy here"
fi

# Thousands of files whose paths, in UTF-8, pass what one command line holds.
many=$work/many
mkdir -p "$many/$(printf 'ア%.0s' $(seq 38))/$(printf 'イ%.0s' $(seq 38))"
python3 - "$many"/*/* <<'PY'
import sys
for i in range(6000):
    with open(f"{sys.argv[1]}/{i:04d}{'ウ' * 30}.DAT", "w") as f:
        f.write(f"only-in-{i:04d}" if i == 5999 else str(i))
PY
xorriso -as mkisofs -r -J -input-charset UTF-8 --md5 -o "$work/many.iso" "$many" >/dev/null 2>&1
check "$work/many.iso"
if [ $rc -eq 0 ] && [[ "$out" == *" 6000 files match"* ]]; then
    pass "6,000 files of long Japanese paths: all match"
else
    fail "6,000 files of long Japanese paths: all match (exit $rc: $out $(tail -3 <<<"$err"))"
fi
offset=$(grep -obUa 'only-in-5999' "$work/many.iso" | cut -d: -f1)
printf 'O' | dd of="$work/many.iso" bs=1 seek="$offset" conv=notrunc 2>/dev/null
check "$work/many.iso"
if [ $rc -eq 1 ] && [[ "$out" == "/"*"/5999"*": damaged (does not match its recorded checksum)" ]] &&
    [ "$(wc -l <<<"$out")" -eq 1 ] && [[ "$err" == *"checked 6000 of 6000 files"* ]]; then
    pass "6,000 files, the last damaged: checked in batches, that file named"
else
    fail "6,000 files, the last damaged: checked in batches, that file named (exit $rc: $out $(tail -3 <<<"$err"))"
fi

summary
