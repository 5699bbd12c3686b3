#!/bin/bash
# Install speed under Wine: the real Q7.EXE installing a 200 MB set of mixed
# file sizes, against (a) a plain CopyFileA loop and (b) the same 64 KiB
# chunk loop with one posted message and a one-message pump per chunk.
# Also the worst delay between a cancel click and the cancel question.
#
# Usage: bench/install_bench.sh [rounds]   (needs the win64 build: build/win64)
# Uses WINEPREFIX and DISPLAY when set; otherwise makes its own.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
ROUNDS=${1:-3}
OUT=${Q7_BENCH_DIR:-$ROOT/build/bench-wine}
Q7=${Q7_EXE:-$ROOT/build/win64/launcher/Q7.EXE}
WINE=/usr/lib/wine/wine64
[ -f "$Q7" ] || { echo "build $Q7 first" >&2; exit 1; }
mkdir -p "$OUT"

for p in copy_plain copy_pumped install_timer; do
    x86_64-w64-mingw32-g++ -std=c++17 -O2 -Wall -Wextra -Werror -static \
        -o "$OUT/$p.exe" "$ROOT/bench/$p.cpp"
done

export WINEDEBUG=-all LC_ALL=ja_JP.UTF-8 WINEARCH=win64
OWN_PREFIX=
if [ -z "${WINEPREFIX:-}" ]; then
    WINEPREFIX=$(mktemp -d /tmp/q7-bench.XXXXXX)
    OWN_PREFIX=1
fi
export WINEPREFIX
XVFB=
if [ -z "${DISPLAY:-}" ]; then
    for n in $(seq 131 160); do [ -e "/tmp/.X11-unix/X$n" ] || break; done
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    XVFB=$!
    export DISPLAY=":$n"
    sleep 1
fi
cleanup() {
    if [ -n "$OWN_PREFIX" ]; then
        wineserver -k >/dev/null 2>&1 || true
        rm -rf "$WINEPREFIX"
    fi
    [ -z "$XVFB" ] || kill "$XVFB" 2>/dev/null || true
}
trap cleanup EXIT
[ -d "$WINEPREFIX/drive_c" ] || "$WINE" wineboot -i >/dev/null 2>&1 || true
# Unmanaged windows: without a window manager, Wine otherwise waits for each
# closed window to be withdrawn.
"$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
wineserver -p >/dev/null 2>&1 || true

# The set: 1 x 100 MB, 4 x 20 MB, 50 x 300 KB, 200 x 20 KB, 100 x 1 KB, 5 empty.
# On a RAM file system when there is one (through Wine's Z: drive), so that
# write-back to a disk does not blur the figures.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
    HOST=/dev/shm/q7bench
    WIN='Z:\dev\shm\q7bench'
else
    HOST=$WINEPREFIX/drive_c/q7bench
    WIN='C:\q7bench'
fi
DISC=$HOST/disc
rm -rf "$HOST"
trap 'rm -rf "$HOST"; cleanup' EXIT
mkdir -p "$DISC"
cp "$Q7" "$DISC/Q7.EXE"
mk() { head -c "$2" /dev/urandom >"$DISC/$1"; }
mk HUGE.DAT 104857600
for i in 1 2 3 4; do mk "LARGE$i.DAT" 20971520; done
for i in $(seq 1 50); do mk "MID$i.DAT" 307200; done
for i in $(seq 1 200); do mk "SMALL$i.DAT" 20480; done
for i in $(seq 1 100); do mk "TINY$i.DAT" 1024; done
for i in $(seq 1 5); do : >"$DISC/EMPTY$i.DAT"; done
du -sh "$DISC" >&2
cat "$DISC"/* >/dev/null # from the page cache for every contender

run() { "$WINE" "$@" 2>/dev/null | tr -d '\r'; }
for r in $(seq 1 "$ROUNDS"); do
    rm -rf "$HOST/plain" "$HOST/pumped"
    echo "round $r"
    echo "  (a) CopyFileA loop:   $(run "$OUT/copy_plain.exe" "$WIN\\disc" "$WIN\\plain")"
    echo "  (b) pumped 64K loop:  $(run "$OUT/copy_pumped.exe" "$WIN\\disc" "$WIN\\pumped")"
    rm -rf "$HOST/plain" "$HOST/pumped"
    run "$OUT/install_timer.exe" "$WIN\\disc" "$WIN\\Q7" 40 | sed 's/^/  Q7.EXE /'
done
