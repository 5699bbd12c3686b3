#!/usr/bin/env bash
# Time to master a CD image of a 200 MB game folder with scripts/make_disc.sh,
# the whole command as a publisher runs it once Q7.EXE is built (a first run
# builds it and is not counted). The folder has the install benchmark's mix:
# 1 x 100 MB, 4 x 20 MB, 50 x 300 KB, 200 x 20 KB, 100 x 1 KB, 5 empty, and
# a subfolder. Folder and image sit on a RAM file system when there is one,
# so that the figure is the command's own and not the disk's.
#
# Usage: bench/disc_bench.sh [rounds]   (default 5)
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/common.sh"
source "$(dirname "${BASH_SOURCE[0]}")/bench_set.sh"

ROUNDS=${1:-5}

if [ -d /dev/shm ] && [ -w /dev/shm ]; then
    HOST=$(mktemp -d /dev/shm/q7disc.XXXXXX)
else
    HOST=$(mktemp -d)
fi
trap 'rm -rf "$HOST"' EXIT
GAME=$HOST/game
make_bench_set "$GAME" DATA
log "game folder: $(du -sh "$GAME" | cut -f1) in $(find "$GAME" -type f | wc -l) files"

bash "$Q7_ROOT/scripts/make_disc.sh" "$GAME" "$HOST/q7.iso" >/dev/null
times=()
for r in $(seq 1 "$ROUNDS"); do
    start=$(date +%s.%N)
    bash "$Q7_ROOT/scripts/make_disc.sh" "$GAME" "$HOST/q7.iso" >/dev/null 2>&1
    end=$(date +%s.%N)
    t=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.2f", b - a }')
    echo "round $r: $t s"
    times+=("$t")
done
median=$(printf '%s\n' "${times[@]}" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }')
echo "image of $(stat -c %s "$HOST/q7.iso") bytes: median $median s over $ROUNDS rounds"
echo "CPU: $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1), $(nproc) cores"
