#!/usr/bin/env bash
# Time to master a CD image of a 200 MB game folder with scripts/make_disc.sh,
# the whole command as a publisher runs it once Q7.EXE is built (a first run
# builds it and is not counted). The folder has the install benchmark's mix:
# 1 x 100 MB, 4 x 20 MB, 50 x 300 KB, 200 x 20 KB, 100 x 1 KB, 5 empty, and
# a subfolder. Folder and image sit on a RAM file system when there is one,
# so that the figure is the command's own and not the disk's.
#
# Usage: bench/disc_bench.sh [rounds]   (default 5; BENCH_SIZE=tiny: a few MB)
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/helpers.sh"
source "$(dirname "${BASH_SOURCE[0]}")/bench_set.sh"

ROUNDS=${1:-5}

bench_game q7disc
log "game folder: $(du -sh "$GAME" | cut -f1) in $(find "$GAME" -type f | wc -l) files"

bash "$Q7_ROOT/scripts/make_disc.sh" "$GAME" "$HOST/q7.iso" >/dev/null
# The peer, in the same rounds: xorriso alone writing the same folder, the
# floor of any script that masters with it.
seconds() { # command...: its wall time
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s.%N)
    awk -v a="$start" -v b="$end" 'BEGIN { printf "%.2f", b - a }'
}
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
times=() plain=()
for r in $(seq 1 "$ROUNDS"); do
    t=$(seconds bash "$Q7_ROOT/scripts/make_disc.sh" "$GAME" "$HOST/q7.iso")
    p=$(seconds xorriso -as mkisofs -r -J -o "$HOST/plain.iso" "$GAME")
    echo "round $r: make_disc.sh $t s, plain xorriso $p s"
    times+=("$t") plain+=("$p")
done
echo "image of $(stat -c %s "$HOST/q7.iso") bytes: make_disc.sh median $(median "${times[@]}") s," \
    "plain xorriso median $(median "${plain[@]}") s over $ROUNDS rounds"
echo "CPU: $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1), $(nproc) cores"
