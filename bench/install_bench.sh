#!/usr/bin/env bash
# Install speed under Wine: the real Q7.EXE installs a 200 MB set of mixed
# file sizes through its dialogs, and in the same run the same set is copied
# by (a) a plain CopyFileA loop and (b) the copy engine's own loop (one posted
# message and a one-message pump per 64 KiB chunk) in a bare window. Target:
# Q7.EXE's install, from Yes at the confirmation to the closing message, at
# most 1.1 times (b). Each round runs (a), (b) and Q7.EXE back to back; the
# verdict takes the median over the rounds of Q7.EXE / (b) within a round,
# which the host's passing load disturbs least, and the ratios of the
# medians and of the fastest rounds are shown beside it. Also the cost per chunk
# beyond the read and write (taken as (a)'s time), and the delay between a
# cancel click, sent as real mouse input, and the cancel question, sampled
# during a second install.
#
# Usage: bench/install_bench.sh [rounds]   (default 9; the host's load makes single runs noisy;
#        BENCH_SIZE=tiny: a set of a few MB)
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/wine_env.sh"
source "$(dirname "${BASH_SOURCE[0]}")/bench_set.sh"

ROUNDS=${1:-9}
TARGET=1.10

install_packages
build_product
trap 'rm -rf "${HOST:-}"; stop_wine' EXIT
start_xvfb
start_wine

# On a RAM file system when there is one (through Wine's Z: drive), so that
# write-back to a disk does not blur the figures.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
    HOST=$(mktemp -d /dev/shm/q7bench.XXXXXX)
else
    HOST=$(mktemp -d "$WINEPREFIX/drive_c/q7bench.XXXXXX")
fi
WIN=$(winpath "$HOST")
DISC=$HOST/disc
mkdir -p "$DISC"
cp "$WINE_BUILD/launcher/Q7.EXE" "$DISC/Q7.EXE"
make_bench_set "$DISC"
log "install set: $(du -sh "$DISC" | cut -f1) in $(ls "$DISC" | wc -l) files"
# Written chunks: every file but the empty ones takes whole or part 64 KiB chunks.
CHUNKS=$(stat -c %s "$DISC"/* | awk '{ n += int(($1 + 65535) / 65536) } END { print n }')
cat "$DISC"/* >/dev/null

# Output through a file, not a pipe: a process the program leaves behind
# would hold a pipe open, and the benchmark would wait on it for ever.
run() {
    "$WINE_BIN" "$@" >"$HOST/run.out" 2>/dev/null </dev/null || true
    tr -d '\r' <"$HOST/run.out"
}
ms() { sed -n 's/^[^0-9]*\([0-9.]*\) ms.*/\1/p' | head -1; }
plain=() pumped=() install=() copyphase=() cancel=() paired=()
for r in $(seq 1 "$ROUNDS"); do
    rm -rf "$HOST/plain" "$HOST/pumped" "$HOST/Q7"
    a=$(run "$WINE_BUILD/bench/copy_plain.exe" "$WIN\\disc" "$WIN\\plain" | ms)
    rm -rf "$HOST/plain"
    b=$(run "$WINE_BUILD/bench/copy_pumped.exe" "$WIN\\disc" "$WIN\\pumped" | ms)
    rm -rf "$HOST/pumped"
    out=$(cd "$DISC" && run "$WINE_BUILD/bench/install_timer.exe" "$WIN\\disc" "$WIN\\Q7" 30)
    q=$(grep '^install:' <<<"$out" | ms)
    c=$(sed -n 's/.*closing message \([0-9.]*\) ms.*/\1/p' <<<"$out")
    worst=$(sed -n 's/.*worst \([0-9.]*\) ms.*/\1/p' <<<"$out")
    echo "round $r: (a) CopyFileA ${a} ms, (b) pumped loop ${b} ms, Q7.EXE ${q} ms (copy dialog ${c} ms);" \
        "$(grep '^cancel' <<<"$out")"
    plain+=("$a") pumped+=("$b") install+=("$q") copyphase+=("$c") cancel+=("${worst:-0}")
    paired+=("$(awk -v q="$q" -v b="$b" 'BEGIN { print q / b }')")
done

median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
max() { printf '%s\n' "$@" | sort -g | tail -1; }
min() { printf '%s\n' "$@" | sort -g | head -1; }
ma=$(median "${plain[@]}") mb=$(median "${pumped[@]}") mq=$(median "${install[@]}")
mc=$(median "${copyphase[@]}")
ratio=$(median "${paired[@]}" | awk '{ printf "%.2f", $1 }')
echo "medians: (a) ${ma} ms, (b) ${mb} ms, Q7.EXE ${mq} ms end to end, ${mc} ms from the copy" \
    "dialog (copy phase / (b): $(awk -v q="$mc" -v b="$mb" 'BEGIN { printf "%.2f", q / b }'))"
if awk -v r="$ratio" -v t="$TARGET" 'BEGIN { exit !(r <= t) }'; then verdict="met"; else verdict="NOT met"; fi
echo "Q7.EXE / (b): $ratio (median over the rounds), target at most $TARGET: $verdict;" \
    "ratio of the medians $(awk -v q="$mq" -v b="$mb" 'BEGIN { printf "%.2f", q / b }')," \
    "of the fastest rounds $(awk -v q="$(min "${install[@]}")" -v b="$(min "${pumped[@]}")" \
        'BEGIN { printf "%.2f", q / b }')"
awk -v a="$ma" -v b="$mb" -v c="$mc" -v n="$CHUNKS" 'BEGIN {
    printf "cost per chunk beyond the read and write, over %d chunks: Q7.EXE %.1f us, (b) %.1f us\n",
        n, (c - a) * 1000 / n, (b - a) * 1000 / n }'
echo "cancel click to question: worst $(max "${cancel[@]}") ms over all rounds"
