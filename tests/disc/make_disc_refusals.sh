#!/usr/bin/env bash
# scripts/make_disc.sh on bad input: each case must exit non-zero with a
# message that names what is wrong, and leave an earlier image at OUTPUT as
# it was, with no half-written file beside it, and the publisher's picture,
# preview and Q7.EXE as they were. A folder without KBZ.EXE, names that are
# not plain ASCII, an x86_64 Q7.EXE and an engine that embeds a manifest are
# only warned about. Runs with
# --exe, so nothing is built, except where a picture is converted.
# Usage: make_disc_refusals.sh
set -euo pipefail
unset SOURCE_DATE_EPOCH
here=$(cd "$(dirname "$0")" && pwd)
make_disc=$here/../../scripts/make_disc.sh
work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
source "$here/../lib.sh"

exe=$work/Q7.EXE
stand_in_exe "$exe"
# The publisher's own files, which no run may change.
pic=$work/green.png
convert -size 64x48 xc:'#20a040' "$pic"
printf 'an earlier preview' >"$work/preview.png"
kept() { cat "$exe" "$pic" "$work/preview.png" | sha256sum; }
kept_sum=$(kept)
good=$work/game
mkdir -p "$good/SUB"
printf 'engine' >"$good/KBZ.EXE"
printf 'data' >"$good/SUB/DATA.DAT"
out=$work/out/q7.iso
mkdir -p "$work/out"
printf 'an earlier image' >"$out"

# refused WHAT EXPECTED-MESSAGE-PARTS ARGS...: the parts are one per line.
refused() {
    local what=$1 wants=$2 want
    shift 2
    local err rc=0
    err=$(bash "${script:-$make_disc}" "$@" 2>&1 >/dev/null) || rc=$?
    local missing=
    while IFS= read -r want; do
        [[ "$err" == *"$want"* ]] || missing+=" \"$want\""
    done <<<"$wants"
    if [ $rc -eq 0 ]; then
        fail "$what: refused (exit 0)"
    elif [ -n "$missing" ]; then
        fail "$what: the message names$missing (got: $err)"
    elif [ "$(cat "$out")" != 'an earlier image' ] || [ "$(ls -A "$work/out")" != q7.iso ]; then
        fail "$what: OUTPUT untouched, nothing beside it ($(ls -A "$work/out" | tr '\n' ' '))"
    elif [ "$(kept)" != "$kept_sum" ]; then
        fail "$what: the picture, the preview and Q7.EXE untouched"
    else
        pass "$what"
    fi
}

refused "missing folder" "$work/nothing: no such folder" "$work/nothing" "$out" --exe "$exe"
mkdir -p "$work/empty/SUB"
refused "folder without files" "$work/empty: holds no files" "$work/empty" "$out" --exe "$exe"

bad=$work/bad
mkdir -p "$bad"
printf x >"$bad/$(printf 'N%.0s' $(seq 65))"
printf x >"$bad/WHAT?.DAT"
printf x >"$bad/波〜.DAT"
printf x >"$bad/😀.DAT"
printf x >"$bad/Same.DAT"
printf x >"$bad/SAME.DAT"
# Every device name of the shared list and of Windows' documentation and
# its 9x DOS, bare and in lower case with an extension, and our own cases of
# the same rules.
wants=
for d in $(grep -v '^#' "$here/../../tools/disc/windows_refused_names.txt") CONIN\$ CONOUT\$ CLOCK\$ CONFIG\$ \
    COM0 LPT0 COM¹ COM² COM³ LPT¹ LPT² LPT³; do
    printf x >"$bad/$d"
    printf x >"$bad/${d,,}.txt"
    wants+="$bad/$d: the name is a device name"$'\n'"$bad/${d,,}.txt: the name is a device name"$'\n'
done
printf x >"$bad/Aux.tar.gz"
printf x >"$bad/DOT."
printf x >"$bad/SPACE "
# ゲーム in Shift-JIS bytes: not UTF-8, shown as it would read.
printf x >"$bad/"$'\x83\x51\x81\x5b\x83\x80'".DAT"
# Joliet holds a path of 2 bytes a character plus 1 a separator up to 239
# bytes: /60 characters/59 characters is 240 bytes (121 characters).
mkdir "$bad/$(printf 'D%.0s' $(seq 60))"
printf x >"$bad/$(printf 'D%.0s' $(seq 60))/$(printf 'F%.0s' $(seq 59))"
refused "names Joliet or Windows cannot hold" "$wants$(printf '%s\n' "65 characters long" \
    "WHAT?.DAT: the name has characters that Joliet or Windows refuse: '?'" "波〜.DAT" "U+301C" \
    "outside UCS-2" "only in letter case" "$bad/Aux.tar.gz: the name" "$bad/DOT.: the name ends in a dot" \
    "$bad/SPACE : the name ends in a space" "ゲーム.DAT" \
    "$(printf 'D%.0s' $(seq 60))/$(printf 'F%.0s' $(seq 59)): the path is too long")" "$bad" "$out" --exe "$exe"
mkdir -p "$work/own/x"
printf x >"$work/own/q7.exe"
refused "folder with its own Q7.EXE" "own/q7.exe" "$work/own" "$out" --exe "$exe"

# Sparse files: sizes without the bytes. 737,280,000 bytes is the disc's
# capacity; the first set is over it by itself, the second only once the
# file system's own sectors are added.
big=$work/big
mkdir -p "$big"
truncate -s 800000000 "$big/HUGE.DAT"
refused "set over 700 MB" "do not fit a 700 MB disc" "$big" "$out" --exe "$exe"
truncate -s 737270000 "$big/HUGE.DAT"
refused "set over 700 MB with the image's own sectors" "a 700 MB disc holds 360000" "$big" "$out" --exe "$exe"

refused "picture that is not there" "$work/title.png: cannot be read" "$good" "$out" --picture "$work/title.png"
mkdir -p "$work/title.bmp"
refused "picture that is a folder" "$work/title.bmp: cannot be read" "$good" "$out" --picture "$work/title.bmp"
refused "output in a missing folder" "cannot be written" "$good" "$work/none/q7.iso" --exe "$exe"
refused "output that is a folder" "$work/out: is a folder" "$good" "$work/out" --exe "$exe"
refused "output inside the game folder" "the image would go onto itself" "$good" "$good/q7.iso" --exe "$exe"
refused "bad label" "--label" "$good" "$out" --exe "$exe" --label "lower case"

# Q7.EXE must be what a double click on the disc starts on a player's
# 32-bit Windows.
printf 'hello' >"$work/text.exe"
stand_in_exe "$work/console.exe" 0x14c 3
stand_in_exe "$work/dll.exe" 0x14c 2 0x2102
stand_in_exe "$work/arm.exe" 0x1c4
# Headers whole, sections gone: the first 1,024 bytes of the real Q7.EXE
# (of the stand-in's first 512 where none is built), which Windows refuses
# to start.
real=${Q7_BUILD:-$here/../../build}/win/launcher/Q7.EXE
if [ -f "$real" ]; then head -c 1024 "$real" >"$work/cut.exe"; else head -c 512 "$exe" >"$work/cut.exe"; fi
# The stand-in with its section's data placed past its end.
cp "$exe" "$work/past.exe"
printf '\x00\x04' | dd of="$work/past.exe" bs=1 seek=$((64 + 4 + 20 + 224 + 20)) conv=notrunc 2>/dev/null
for e in "text.exe:not a Windows program" "console.exe:console program" "dll.exe:(DLL)" \
    "arm.exe:another processor" "cut.exe:lies past the file's end" "past.exe:bytes 1024 to 1536"; do
    refused "--exe ${e%%:*}" "$(printf '%s\n' "$work/${e%%:*}" "${e#*:}")" "$good" "$out" --exe "$work/${e%%:*}"
done

# No run writes over the publisher's files or into the game folder, however
# the names are spelled; a refused one writes nothing at all.
make_title=$here/../../scripts/make_title.sh
build=${Q7_BUILD:-$here/../../build}
resource=$build/disc-title-i686/backcg.bin
ln -sf "$work/pv" "$good/PV"
mkdir -p "$work/pv"
for row in "picture as preview|--picture|$pic|--preview|$work/./green.png" \
    "image as preview|--picture|$pic|--preview|$work/out/../out/q7.iso" \
    "picture as image|--picture|$out|--label|Q7" \
    "converted picture as preview|--picture|$pic|--preview|$resource" \
    "make_title.sh: picture as preview|--preview|$work/../${work##*/}/green.png|$pic|$work/t.bin" \
    "make_title.sh: preview as output|--preview|$work/preview.png|$pic|$work/out/../preview.png" \
    "make_title.sh: picture as output|$pic|$work/green.png"; do
    IFS='|' read -r what a1 a2 a3 a4 <<<"$row"
    if [[ "$what" == make_title.sh* ]]; then
        script=$make_title refused "$what" "are one file" "$a1" "$a2" ${a3:+"$a3"} ${a4:+"$a4"}
    else
        refused "$what" "are one file" "$good" "$out" "$a1" "$a2" "$a3" "$a4"
    fi
done
refused "preview inside the game folder" "$(printf '%s\n' "--preview $good/SUB/p.png" "inside $good")" \
    "$good" "$out" --picture "$pic" --preview "$good/SUB/p.png"
# The build rewrites its folder; a run that builds writes nothing there.
refused "preview inside the build folder" "$(printf '%s\n' "--preview $build/p.png" "the build folder")" \
    "$good" "$out" --picture "$pic" --preview "$build/p.png"
refused "OUTPUT inside the build folder, with a build" "$build/./q7.iso: inside" "$good" "$build/./q7.iso"
rm -f "$build/q7.iso"
# One file only through a folder mounted twice.
mkdir -p "$work/bind" "$work/bound" "$(dirname "$resource")"
if mount --bind "$work/out" "$work/bind" 2>/dev/null; then
    refused "preview that is OUTPUT through a bind mount" "are one file (through another path)" \
        "$good" "$work/bind/new.iso" --picture "$pic" --preview "$work/out/new.iso"
    umount "$work/bind"
    mount --bind "$(dirname "$resource")" "$work/bound"
    refused "OUTPUT in the build folder through a bind mount" "the build folder (Q7_BUILD), through another path" \
        "$good" "$work/bound/q7.iso" --picture "$pic"
    rm -f "$work/bound/q7.iso"
    umount "$work/bound"
else
    echo "    skipped: outputs that are one file through a bind mount (cannot mount)"
fi
refused "preview in a folder the game folder links to" "$good/PV/: is the folder where this run writes" \
    "$good" "$out" --picture "$pic" --preview "$work/pv/p.png"
rm "$good/PV"
[ -z "$(ls -A "$work/pv")" ] || fail "no preview written into $work/pv ($(ls -A "$work/pv"))"

# OUTPUT that is there but not a plain file stays what it is.
odd=$work/odd
mkdir -p "$odd"
mkfifo "$odd/fifo"
ln -s "$out" "$odd/link"
mknod "$odd/null" c 1 3 2>/dev/null || echo "    skipped: OUTPUT that is a device node (cannot make one)"
long=$odd/$(printf 'o%.0s' $(seq 252)).iso
nodes=$(ls -A "$odd" | wc -l)
for o in "$odd/fifo" "$odd/link" "$odd/null" "$long"; do
    [ -e "$o" ] || [ -L "$o" ] || [ "$o" = "$long" ] || continue
    rc=0
    err=$(bash "$make_disc" "$good" "$o" --exe "$exe" 2>&1 >/dev/null) || rc=$?
    want="not a regular file"
    [ "$o" != "$long" ] || want="name too long"
    if [ $rc -ne 0 ] && [[ "$err" == *"$want"* ]] && [ "$(ls -A "$odd" | wc -l)" -eq "$nodes" ] &&
        [ -p "$odd/fifo" ] && [ "$(readlink "$odd/link")" = "$out" ] && { [ ! -e "$odd/null" ] || [ -c "$odd/null" ]; }; then
        pass "OUTPUT $(basename "$o" | cut -c1-20): refused, untouched"
    else
        fail "OUTPUT $(basename "$o" | cut -c1-20): refused, untouched (exit $rc: $err; $(ls -lA "$odd" | cut -c1-60))"
    fi
done

# Dates: a value that gives no single image is refused, the edges of what
# the disc's directory records hold (1970 to 2155) are taken, and the run
# says which date the disc carries.
for e in 0 -1 0100 5869584000 1e9; do
    SOURCE_DATE_EPOCH=$e refused "SOURCE_DATE_EPOCH=$e" "$(printf '%s\n' "SOURCE_DATE_EPOCH=$e" date)" \
        "$good" "$out" --exe "$exe"
done
for e in "1 1970-01-01 00:00:01" "5869583999 2155-12-31 23:59:59"; do
    rc=0
    err=$(SOURCE_DATE_EPOCH=${e%% *} bash "$make_disc" "$good" "$work/date.iso" --exe "$exe" 2>&1 >/dev/null) || rc=$?
    if [ $rc -eq 0 ] && [[ "$err" == *"${e#* } UTC"* ]] && [[ "$err" != *x86_64* ]]; then
        pass "SOURCE_DATE_EPOCH=${e%% *}: taken, its date shown"
    else
        fail "SOURCE_DATE_EPOCH=${e%% *}: taken, its date shown (exit $rc: $err)"
    fi
done
# Without SOURCE_DATE_EPOCH the date is the last commit of the scripts' own
# checkout, even one owned by another user, never that of a checkout that
# happens to hold them.
proj=$work/outer/q7
mkdir -p "$proj"
cp -r "$here/../../scripts" "$here/../../tools" "$here/../../resources" "$proj/"
commit() { # DIR EPOCH
    git -C "$1" add -A >/dev/null
    GIT_AUTHOR_DATE="@$2 +0000" GIT_COMMITTER_DATE="@$2 +0000" \
        git -C "$1" -c user.name=t -c user.email=t@example.com commit -q --allow-empty -m t
}
git init -q "$work/outer" && commit "$work/outer" 978307200
script=$proj/scripts/make_disc.sh refused "scripts inside another checkout" \
    "$(printf '%s\n' "$proj" "date" SOURCE_DATE_EPOCH)" "$good" "$out" --exe "$exe"
git init -q "$proj" && commit "$proj" 1234567890
chown -R nobody "$proj"
rc=0
err=$(bash "$proj/scripts/make_disc.sh" "$good" "$work/date.iso" --exe "$exe" 2>&1 >/dev/null) || rc=$?
if [ $rc -eq 0 ] && [[ "$err" == *"2009-02-13 23:31:30 UTC"* ]]; then
    pass "date of the last commit of a checkout owned by another user"
else
    fail "date of the last commit of a checkout owned by another user (exit $rc: $err)"
fi
rm -f "$work/date.iso"

# Nothing of the run itself goes on the disc, and a file that changes size
# while the image is written fails the run. xorriso is wrapped to cut the
# file at the end of its writing, as a copy still going on would.
runs=$work/runs
mkdir -p "$runs"
cp -r "$good/." "$runs/"
ln -s "$work/out" "$runs/IMAGES"
refused "link to OUTPUT's folder" "$runs/IMAGES/" "$runs" "$out" --exe "$exe"
rm "$runs/IMAGES"
head -c 300000 /dev/zero >"$runs/SHRINKS.DAT"
mkdir -p "$work/bin"
printf '#!/bin/sh\n/usr/bin/xorriso "$@" || exit\ncase " $* " in *" -o "*) truncate -s 1000 "%s" ;; esac\n' \
    "$runs/SHRINKS.DAT" >"$work/bin/xorriso"
chmod +x "$work/bin/xorriso"
PATH=$work/bin:$PATH refused "file that changes size while written" "$runs/SHRINKS.DAT" "$runs" "$out" --exe "$exe"

# A full file system under OUTPUT (a tmpfs of 64 KB) fails xorriso part-way;
# no half image may stay there.
if mkdir -p "$work/tiny" && mount -t tmpfs -o size=64k tmpfs "$work/tiny" 2>/dev/null; then
    rc=0
    bash "$make_disc" "$good" "$work/tiny/q7.iso" --exe "$exe" >/dev/null 2>&1 || rc=$?
    if [ $rc -ne 0 ] && [ -z "$(ls -A "$work/tiny")" ]; then
        pass "full file system under OUTPUT"
    else
        fail "full file system under OUTPUT (exit $rc, left: $(ls -A "$work/tiny" | tr '\n' ' '))"
    fi
    umount "$work/tiny"
else
    echo "    skipped: full file system under OUTPUT (cannot mount a tmpfs)"
fi

# Beside the engine the image carries KBZ.EXE.manifest, asking for code page
# 932 in an asm.v3 application element and nothing else; none with
# --no-engine-manifest, and none, with a warning naming the engine, when the
# engine embeds a manifest of its own (a resource of type 24), which Windows
# would read instead.
embedding() { # FILE: an i386 GUI program's headers and a resource section holding a manifest
    python3 -c 'import struct, sys
opt = bytearray(224)
struct.pack_into("<H", opt, 0, 0x10b)
struct.pack_into("<H", opt, 68, 2)
struct.pack_into("<I", opt, 92, 16)
struct.pack_into("<II", opt, 96 + 8 * 2, 0x1000, 0x100)
section = b".rsrc\0\0\0" + struct.pack("<IIIIIIHHI", 0x100, 0x1000, 0x200, 0x200, 0, 0, 0, 0, 0x40000040)
head = (b"MZ" + bytes(58) + struct.pack("<I", 64) + b"PE\0\0"
    + struct.pack("<HHIIIHH", 0x14c, 1, 0, 0, 0, 224, 0x102) + bytes(opt) + section)
rsrc = struct.pack("<IIHHHH", 0, 0, 0, 0, 0, 1) + struct.pack("<II", 24, 0x80000018)
open(sys.argv[1], "wb").write(head.ljust(0x200, b"\0") + rsrc.ljust(0x200, b"\0"))' "$1"
}
beside() { # IMAGE: KBZ.EXE.manifest on the image, or "none"
    rm -f "$work/beside.manifest"
    xorriso -osirrox on -indev "$1" -extract /KBZ.EXE.manifest "$work/beside.manifest" >/dev/null 2>&1 &&
        cat "$work/beside.manifest" || echo none
}
embedded=$work/embedded
mkdir -p "$embedded"
embedding "$embedded/KBZ.EXE"
rc=0
for run in default off embedded; do
    case $run in
    default) args=("$good" "$work/$run.iso") ;;
    off) args=("$good" "$work/$run.iso" --no-engine-manifest) ;;
    embedded) args=("$embedded" "$work/$run.iso") ;;
    esac
    bash "$make_disc" "${args[@]}" --exe "$exe" >/dev/null 2>"$work/$run.log" || rc=1
done
got=$(beside "$work/default.iso")
if [ $rc -eq 0 ] && grep -q -x '  <application xmlns="urn:schemas-microsoft-com:asm.v3">' <<<"$got" &&
    grep -q -x '      <activeCodePage xmlns="http://schemas.microsoft.com/SMI/2019/WindowsSettings">ja-JP</activeCodePage>' <<<"$got" &&
    ! grep -q -i -e trustInfo -e requestedExecutionLevel -e dependency <<<"$got" &&
    [ "$(beside "$work/off.iso")" = none ] && [ "$(beside "$work/embedded.iso")" = none ] &&
    grep -q "warning: $embedded/KBZ.EXE embeds a manifest of its own.*no KBZ.EXE.manifest" "$work/embedded.log" &&
    ! grep -q "embeds a manifest" "$work/default.log"; then
    pass "KBZ.EXE.manifest beside the engine; none when turned off or when the engine embeds one (warned)"
else
    fail "KBZ.EXE.manifest beside the engine; none when turned off or when the engine embeds one (warned) (exit $rc: $got; $(cat "$work/embedded.log"))"
fi

# Without KBZ.EXE: a warning, and the image is made, with names just inside
# the limits as Windows reads them (Joliet), under a 255-byte OUTPUT name,
# from a folder whose own path holds "[", "*" and "?". Names that are not
# plain ASCII and an x86_64 Q7.EXE are warned about.
mv "$good" "$work/game [1]*?"
good="$work/game [1]*?"
rm "$good/KBZ.EXE"
mkdir "$good/データ"
printf x >"$good/データ/X.DAT"
printf x >"$good/ゲーム.DAT"
for i in $(seq 10); do printf x >"$good/名$i.DAT"; done
stand_in_exe "$work/Q7-64.EXE" 0x8664 2 0x22
n64=$(printf 'N%.0s' $(seq 64))
p120=$(printf 'D%.0s' $(seq 60))/$(printf 'F%.0s' $(seq 58))
mkdir -p "$good/${p120%/*}"
printf x >"$good/$n64"
printf x >"$good/$p120"
printf x >"$good/COM10.DAT"
printf x >"$good/CONSOLE.DAT"
ln -s SUB "$good/LINK1"
ln -s SUB "$good/LINK2"
out255=$work/out255/$(printf 'o%.0s' $(seq 251)).iso
mkdir -p "$work/out255"
rc=0
err=$(bash "$make_disc" "$good" "$out255" --exe "$work/Q7-64.EXE" 2>&1 >"$work/stdout") || rc=$?
joliet=$(xorriso -read_fs norock -indev "$out255" -find / -type f 2>/dev/null || true)
# 12 such names, the first 10 listed in order.
if [ $rc -eq 0 ] && [[ "$err" == *"no KBZ.EXE"* ]] && [[ "$err" == *"x86_64 Q7.EXE"*"64-bit Wine only"* ]] &&
    [[ "$err" == *"12 names"*"Japanese"*"$good/ゲーム.DAT"*"$good/データ/"*"$good/名7.DAT"$'\n'"  and 2 more"* ]] &&
    [ "$(cut -d' ' -f1 "$work/stdout")" = "$(sha256sum "$out255" | cut -d' ' -f1)" ] &&
    [ "$(stat -c %s "$out255")" -gt 32768 ] && [ "$(ls -A "$work/out255" | wc -l)" -eq 1 ] &&
    [ "$(grep -c -x -e "'/$n64'" -e "'/$p120'" -e "'/COM10.DAT'" -e "'/CONSOLE.DAT'" \
        -e "'/LINK1/DATA.DAT'" -e "'/LINK2/DATA.DAT'" <<<"$joliet")" -eq 6 ]; then
    pass "folder without KBZ.EXE, names at the limits and not ASCII, x86_64 Q7.EXE: warned, image made, its SHA-256 printed"
else
    fail "folder without KBZ.EXE, names at the limits and not ASCII, x86_64 Q7.EXE: warned, image made, its SHA-256 printed (exit $rc: $err; Joliet: $joliet)"
fi

# Title pictures, converted and built for real: two runs at once each get
# their own picture, and a converter that writes nothing stops the disc
# rather than leave it the picture of a run before. A picture named like
# an option is still a picture.
pics=$work/pics
mkdir -p "$pics"
printf 'engine' >"$pics/KBZ.EXE"
convert -size 64x48 xc:'#c03010' "$work/red.png"
convert -size 64x48 xc:'#1040c0' "$work/blue.png"
for c in red blue; do
    bash "$here/../../scripts/make_title.sh" "$work/$c.png" "$work/$c.bin" >/dev/null 2>&1
done
rc=0
# One picture is named as the converter's options are, "-red.png"; the
# other is "red.png" and a newline, beside red.png, and is blue.
cp "$work/red.png" "$work/-red.png"
cp "$work/blue.png" "$work/red.png"$'\n'
(cd "$work" && bash "$make_disc" "$pics" "$work/red.iso" --picture -red.png >/dev/null 2>"$work/red.log") &
bash "$make_disc" "$pics" "$work/blue.iso" --picture "$work/red.png"$'\n' >/dev/null 2>"$work/blue.log" || rc=$?
wait $! || rc=$?
holds() { # IMAGE PICTURE.bin: the image's Q7.EXE holds the converted picture
    rm -f "$work/got.exe"
    xorriso -osirrox on -indev "$1" -extract /Q7.EXE "$work/got.exe" >/dev/null 2>&1 &&
        python3 -c 'import sys; sys.exit(open(sys.argv[1], "rb").read() not in open(sys.argv[2], "rb").read())' \
            "$2" "$work/got.exe"
}
if [ $rc -eq 0 ] && holds "$work/red.iso" "$work/red.bin" && holds "$work/blue.iso" "$work/blue.bin" &&
    ! holds "$work/red.iso" "$work/blue.bin" && ! holds "$work/blue.iso" "$work/red.bin"; then
    pass "two runs at once, each with its own picture, one named with a closing newline"
else
    fail "two runs at once, each with its own picture, one named with a closing newline (exit $rc: $(tail -n 3 "$work/red.log" "$work/blue.log"))"
fi
refused "picture converter that writes nothing" "$(printf '%s\n' "$work/red.png" "wrote nothing")" \
    "$pics" "$out" --picture "$work/red.png" --picture-option --help

summary
