#!/usr/bin/env bash
# scripts/make_disc.sh on bad input: each case must exit non-zero with a
# message that names what is wrong, and leave an earlier image at OUTPUT as
# it was, with no half-written file beside it. A folder without KBZ.EXE is
# only warned about. Runs with --exe, so nothing is built.
# Usage: make_disc_refusals.sh
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
make_disc=$here/../../scripts/make_disc.sh
work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
passed=0 failed=0
pass() { printf '[  OK  ] %s\n' "$1"; passed=$((passed + 1)); }
fail() { printf '[ FAIL ] %s\n' "$1"; failed=$((failed + 1)); }

exe=$work/Q7.EXE
printf 'MZ stand-in' >"$exe"
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
    err=$(bash "$make_disc" "$@" 2>&1 >/dev/null) || rc=$?
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
    else
        pass "$what"
    fi
}

refused "missing folder" "$work/nothing: no such folder" "$work/nothing" "$out" --exe "$exe"
mkdir -p "$work/empty/SUB"
refused "folder without files" "$work/empty: holds no files" "$work/empty" "$out" --exe "$exe"

bad=$work/bad
mkdir -p "$bad"
printf x >"$bad/$(printf 'N%.0s' $(seq 65)).DAT"
printf x >"$bad/WHAT?.DAT"
printf x >"$bad/波〜.DAT"
printf x >"$bad/😀.DAT"
printf x >"$bad/Same.DAT"
printf x >"$bad/SAME.DAT"
refused "names Joliet or Windows cannot hold" "$(printf '%s\n' "69 characters long" \
    "WHAT?.DAT: the name has characters that Joliet or Windows refuse: '?'" "波〜.DAT" "U+301C" \
    "outside UCS-2" "only in letter case")" "$bad" "$out" --exe "$exe"
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

# Without KBZ.EXE: a warning, and the image is made.
rm "$good/KBZ.EXE"
rc=0
err=$(bash "$make_disc" "$good" "$out" --exe "$exe" 2>&1 >"$work/stdout") || rc=$?
if [ $rc -eq 0 ] && [[ "$err" == *"no KBZ.EXE"* ]] &&
    [ "$(cut -d' ' -f1 "$work/stdout")" = "$(sha256sum "$out" | cut -d' ' -f1)" ] &&
    [ "$(stat -c %s "$out")" -gt 32768 ]; then
    pass "folder without KBZ.EXE: warned, image made, its SHA-256 printed"
else
    fail "folder without KBZ.EXE: warned, image made, its SHA-256 printed (exit $rc: $err)"
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
