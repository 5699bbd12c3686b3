#!/usr/bin/env bash
# Builds the native benchmarks in Release (no sanitizers) and runs them all.
# Figures depend on the machine's load: run it on an otherwise idle machine.
# Usage: bench/run.sh [benchmark-name-filter]
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/wine_env.sh"
install_packages
build_tree bench -DCMAKE_BUILD_TYPE=Release
for b in "$Q7_BUILD"/bench/bench/*_bench; do
    [ -x "$b" ] || continue
    log "$(basename "$b")"
    "$b" --benchmark_filter="${1:-.}" --benchmark_counters_tabular=true
done
