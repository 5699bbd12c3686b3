#!/usr/bin/env bash
# scripts/check_disc.sh: an image from make_disc.sh passes; a copy with one
# byte changed inside one file's data names that file and no other; an image
# made without checksums (plain xorriso) is refused. Copies of the good image
# edited as a bad burn or a careless publisher would (the Joliet tree that
# Windows reads, a second session, a cut, a damaged checksum record, a
# sector that cannot be read) are never called good, each for its reason;
# a disc of thousands of long Japanese paths is checked whole. Images
# crafted as an adversarial publisher would (names Windows reads otherwise,
# record fields it honours, data outside what the checksum covers, records
# that make the tree reader stop or read the same sectors over and over)
# are never called good either, the checksum tags recomputed over the edits.
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

# check IMAGE: sets rc, out (stdout) and err (stderr). A check that runs
# for minutes is stopped (status 124) and fails its case.
check() {
    rc=0
    out=$(PATH=${path:-$PATH} timeout 300 bash "$scripts/check_disc.sh" "$1" 2>"$work/err") || rc=$?
    err=$(cat "$work/err")
}

# KBZ.EXE, ZEROS.DAT, SUB/DATA.DAT, 300 SUB/F*.DAT, Q7.EXE, AUTORUN.INF and
# the KBZ.EXE.manifest make_disc.sh lays beside the engine
check "$work/good.iso"
if [ $rc -eq 0 ] && [ "$(wc -l <<<"$out")" -eq 1 ] && [[ "$out" == *" 306 files"* ]]; then
    pass "good image: one line, all 306 files"
else
    fail "good image: one line, all 306 files (exit $rc: $out $err)"
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
# the supplementary one (type 2) with a "%/" escape. "tags" recomputes the
# checksum tags (the MD5 of the sectors each covers, then of the tag's own
# text) as one who masters a crafted disc would.
edit() {
    python3 - "$@" <<'PY'
import hashlib, re, sys
image, what, args = sys.argv[1], sys.argv[2], sys.argv[3:]
d = bytearray(open(image, "rb").read())
S = 2048
def record(name):  # the Joliet directory record of file NAME
    at = d.find(name.encode("utf-16-be")) - 33
    assert at > 0 and d[at + 32] == 2 * len(name), name
    return at
def records(name, trees="ij"):  # NAME's records: ISO 9660 ("F.DAT;1" or "DIR") and Joliet
    found = []
    for key in ([name.encode(), name.encode() + b";1"] if "i" in trees else []) + ([name.encode("utf-16-be")] if "j" in trees else []):
        at = d.find(key)
        while at >= 0:
            r = at - 33
            if r > 0 and d[r + 32] == len(key) and d[r] >= 33 + len(key) and d[r + 2:r + 6] == d[r + 6:r + 10][::-1]:
                found.append(r)
            at = d.find(key, at + 1)
    assert found, name
    return found
def put32(at, value):  # a both-endian number
    d[at:at + 8] = value.to_bytes(4, "little") + value.to_bytes(4, "big")
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
elif what == "flag":  # TREES NAME OFFSET BITS: bits set in a byte of NAME's records
    for r in records(args[1], args[0]):
        d[r + int(args[2])] |= int(args[3], 0)
elif what in ("past", "beyond"):  # NAME's data after the session's tag, or after the image
    tag = d.rfind(b"libisofs_checksum_tag_v1") // S
    for r in records(args[0]):
        put32(r + 2, tag + 1 if what == "past" else len(d) // S + 10)
elif what == "cl":  # NAME's Rock Ridge TF entry becomes a CL to sector 0, which holds no folder
    r = records(args[0], "i")[0]
    at = d.find(b"TF", r + 33, r + d[r])
    n = d[at + 2]
    assert at > 0 and n >= 16
    d[at:at + n] = b"CL\x0c\x01" + bytes(8) + b"PD" + bytes([n - 12, 1]) + bytes(n - 16)
elif what == "overlap":  # RUN DIRS: each folder in DIRS starts one sector further into RUN's records
    run = records(args[0], "i")[0]
    start, size = int.from_bytes(d[run + 2:run + 6], "little"), int.from_bytes(d[run + 10:run + 14], "little")
    dirs = records(args[1], "i")[0]
    lba = int.from_bytes(d[dirs + 2:dirs + 6], "little")
    at, n = lba * S, 1
    while at < (lba + int.from_bytes(d[dirs + 10:dirs + 14], "little") // S) * S and n < size // S:
        if d[at] == 0:
            at = (at // S + 1) * S
            continue
        if d[at + 32] > 1:
            put32(at + 2, start + n)
            put32(at + 10, size - n * S)
            n += 1
        at += d[at]
    assert n > 100, n
elif what == "tags":
    for m in re.finditer(rb"libisofs_[a-z_]*checksum_tag_v1 [^\n]*\n", d):
        text = m.group(0)
        f = dict(x.split(b"=") for x in text.split()[1:])
        first, count = int(f[b"range_start"]), int(f[b"range_size"])
        text = re.sub(rb"md5=[0-9a-f]{32}", b"md5=" + hashlib.md5(d[first * S:(first + count) * S]).hexdigest().encode(), text)
        i = text.index(b" self=") + 6
        text = text[:i] + hashlib.md5(text[:i - 6]).hexdigest().encode() + text[i + 32:]
        d[m.start():m.end()] = text
open(image, "wb").write(d)
PY
}

# Names Windows reads otherwise, as plain xorriso masters them.
names=$work/names
mkdir -p "$names/Data"
for n in save.dat SAVE.DAT AUX.DAT DOT. "SP " DATA; do printf '%s' "$n" >"$names/$n"; done
# Folders whose records run over one another's: each starts one sector into
# RUN's records and takes the rest of them.
runs=$work/runs
mkdir -p "$runs/RUN" "$runs/DIRS"
for i in $(seq 1500); do printf x >"$runs/RUN/$i$(printf 'n%.0s' $(seq 60))"; done
for i in $(seq 200); do mkdir "$runs/DIRS/D$i"; done
# A python3 before the real one whose tree reader stops as a crash would.
mkdir -p "$work/shim"
printf '#!/bin/sh\ncase "$1" in */disc_image.py) echo "Traceback (most recent call last): RecursionError" >&2; exit 1 ;; esac\nexec %s "$@"\n' \
    "$(command -v python3)" >"$work/shim/python3"
chmod +x "$work/shim/python3"

# Rows: NAME | HOW (a command on $img, a copy of good.iso) | STDOUT holds
# (parts between "^") | STDERR holds | exit status (1 unless given). None
# may be called good; "(above)" must have something above it.
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
random bytes|head -c 100000 /dev/urandom >\$img|-|is not a disc image
names Windows reads otherwise|xorriso -as mkisofs -r -J --md5 -o \$img \$names|/save.dat: differs from /SAVE.DAT only in letter case^/Data: differs from /DATA only in letter case^/AUX.DAT: the name is a device name^/DOT.: the name ends in a dot^/SP : the name ends in a space|(above)
data past the checksum, tags recomputed|edit \$img past ZEROS.DAT && edit \$img tags|/ZEROS.DAT: its data lies past sector|(above)
data past the image's end, tags recomputed|edit \$img beyond KBZ.EXE && edit \$img tags|/KBZ.EXE: its ISO 9660 record puts its data past the image's end^/KBZ.EXE: its Joliet record puts|(above)
Joliet record hidden or associated, tags recomputed|edit \$img flag j KBZ.EXE 25 1 && edit \$img flag j ZEROS.DAT 25 4 && edit \$img tags|/KBZ.EXE: its Joliet record marks it hidden^/ZEROS.DAT: its Joliet record marks it an associated file|(above)
ISO 9660 record interleaved or with attributes, tags recomputed|edit \$img flag i KBZ.EXE 26 1 && edit \$img flag i ZEROS.DAT 1 1 && edit \$img tags|/KBZ.EXE: its ISO 9660 record interleaves its data^/ZEROS.DAT: its ISO 9660 record gives it an extended attribute record|xorriso's complaints above|3
Rock Ridge entry to no folder, and a hidden file|edit \$img cl ZEROS.DAT && edit \$img flag j KBZ.EXE 25 1 && edit \$img tags|/ZEROS.DAT: its Rock Ridge entries lead to a folder that is not there^/KBZ.EXE: its Joliet record marks it hidden|xorriso's complaints above|3
tree reader stops|path=\$work/shim:\$PATH|-|cannot be read as a disc image: the tree reader stopped (exit 1)|3
folders over one another's records|xorriso -as mkisofs -r -J --md5 -o \$img \$runs && edit \$img overlap RUN DIRS|-|two folders share the directory records"
while IFS='|' read -r name how want_out want_err status; do
    img=$work/fault.iso
    cp "$work/good.iso" "$img"
    path=
    eval "$how" >/dev/null 2>&1 || { fail "$name: could not make the image"; continue; }
    check "$img"
    missing=
    IFS='^' read -ra parts <<<"$want_out"
    for part in "${parts[@]}"; do
        [[ "$out" == *"$part"* || $part = - ]] || missing+=" $part"
    done
    if [ $rc -eq "${status:-1}" ] && [ -z "$missing" ] && [[ "$err" == *"$want_err"* ]] &&
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
hit=$(python3 "$here/../../tools/disc/disc_image.py" --files-in "$work/good.iso" <<<"$sector 1")
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
