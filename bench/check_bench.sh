#!/usr/bin/env bash
# Time for scripts/check_disc.sh to check a full 700 MB CD image from
# make_disc.sh (the 200 MB mix of the other benchmarks, 490 MB more in
# 50 MB files, 2,000 files of 4 KB in a subfolder), against its floor:
# xorriso alone reading every sector and checking the session's checksum.
# Also the time for a copy with one byte changed, which the check reads a
# second time file by file to name the damaged one. Image on a RAM file
# system when there is one, so that the figure is the command's own.
#
# Q7.EXE is the i686 build, made by make_disc.sh as a publisher's run makes
# it (a first run builds it).
#
# Usage: bench/check_bench.sh [rounds]   (default 5; BENCH_SIZE=tiny: a few MB)
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/helpers.sh"
source "$(dirname "${BASH_SOURCE[0]}")/bench_set.sh"

ROUNDS=${1:-5}

bench_game q7check
packs=9 pack=52428800 last=20000000 many=2000
if tiny; then packs=2 pack=65536 last=1000 many=20; fi
for i in $(seq 1 $packs); do head -c $pack /dev/urandom >"$GAME/PACK$i.DAT"; done
head -c $last /dev/urandom >"$GAME/PACK$((packs + 1)).DAT"
mkdir -p "$GAME/MANY"
for i in $(seq 1 $many); do head -c 4096 /dev/urandom >"$GAME/MANY/F$i.DAT"; done
bash "$Q7_ROOT/scripts/make_disc.sh" "$GAME" "$HOST/q7.iso" >/dev/null 2>"$HOST/make_disc.log" ||
    { cat "$HOST/make_disc.log" >&2; die 1 "mastering the image failed"; }
rm -rf "$GAME"
cp "$HOST/q7.iso" "$HOST/damaged.iso"
# The last byte of the first 50 MB file's data.
offset=$(xorriso -indev "stdio:$HOST/q7.iso" -find /PACK1.DAT -exec report_lba -- 2>/dev/null |
    sed -n "s/^File data lba: *[0-9]* *, *\([0-9]*\) *,.*/\1/p")
printf 'x' | dd of="$HOST/damaged.iso" bs=1 seek=$((offset * 2048 + pack - 1)) conv=notrunc 2>/dev/null
log "image: $(stat -c %s "$HOST/q7.iso") bytes"

seconds() { # command...: its wall time
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1 </dev/null || true
    end=$(date +%s.%N)
    awk -v a="$start" -v b="$end" 'BEGIN { printf "%.2f", b - a }'
}
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
good=() floor=() bad=()
for r in $(seq 1 "$ROUNDS"); do
    g=$(seconds bash "$Q7_ROOT/scripts/check_disc.sh" "$HOST/q7.iso")
    f=$(seconds xorriso -md5 on -indev "stdio:$HOST/q7.iso" -check_media --)
    d=$(seconds bash "$Q7_ROOT/scripts/check_disc.sh" "$HOST/damaged.iso")
    echo "round $r: check_disc.sh $g s, xorriso -check_media $f s, one byte damaged $d s"
    good+=("$g") floor+=("$f") bad+=("$d")
done
echo "check_disc.sh median $(median "${good[@]}") s, xorriso -check_media median $(median "${floor[@]}") s," \
    "one byte damaged median $(median "${bad[@]}") s over $ROUNDS rounds"
echo "CPU: $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1), $(nproc) cores"
