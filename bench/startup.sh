#!/usr/bin/env bash
# Start-up time of Q7.EXE under Wine against a minimal dialog program (one
# modal dialog from a template, no C runtime): each is started RUNS times in
# turns, from CreateProcess to its main window shown. Target: Q7.EXE at most
# 1.2 times the minimal program's median. Also prints the size of the i686
# Q7.EXE, the product as shipped.
#
# Usage: bench/startup.sh [runs]   (default 11; the host's load makes single starts noisy)
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/wine_env.sh"

RUNS=${1:-11}
TARGET=1.20

install_packages
build_product
trap stop_wine EXIT
start_xvfb
start_wine

log "start-up probe, $RUNS runs each ($WINE_ARCH)"
out=$("$WINE_BIN" "$WINE_BUILD/bench/startup_probe.exe" --runs "$RUNS" \
    Q7 "$(winpath "$WINE_BUILD/launcher/Q7.EXE")" 100 \
    MinDialog "$(winpath "$WINE_BUILD/bench/min_dialog.exe")" 100 | tr -d '\r')
echo "$out"

ratio=$(sed -n 's|^ratio Q7/MinDialog: median \([0-9.]*\),.*|\1|p' <<<"$out")
[ -n "$ratio" ] || { log "the probe gave no ratio"; exit 1; }
if awk -v r="$ratio" -v t="$TARGET" 'BEGIN { exit !(r <= t) }'; then
    verdict="met"
else
    verdict="NOT met"
fi
echo "Q7 / minimal dialog (median): $ratio, target at most $TARGET: $verdict"
echo "Q7.EXE (i686): $(stat -c %s "$Q7_BUILD/win/launcher/Q7.EXE") bytes"
