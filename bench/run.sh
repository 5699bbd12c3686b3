#!/usr/bin/env bash
# Builds the native benchmarks in Release (no sanitizers) and runs them all.
# Figures depend on the machine's load: run it on an otherwise idle machine.
# Usage: bench/run.sh [benchmark-name-filter]   (BENCH_SIZE=tiny: each case briefly)
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/wine_env.sh"
source "$(dirname "${BASH_SOURCE[0]}")/bench_set.sh"
install_packages
mkdir -p "$Q7_BUILD"
# The benchmarks alone, not the tests beside them.
benches=(blit_bench lz_bench colrle_bench)
cmake -S "$Q7_ROOT" -B "$Q7_BUILD/bench" -DCMAKE_BUILD_TYPE=Release >"$Q7_BUILD/bench.configure.log" 2>&1 ||
    { cat "$Q7_BUILD/bench.configure.log"; die 1 "configuring the benchmarks failed"; }
cmake --build "$Q7_BUILD/bench" --target "${benches[@]}" -j"$JOBS" >"$Q7_BUILD/bench.build.log" 2>&1 ||
    { tail -50 "$Q7_BUILD/bench.build.log"; die 1 "building the benchmarks failed"; }
extra=()
! tiny || extra+=(--benchmark_min_time=0.001)
for b in "${benches[@]}"; do
    log "$b"
    "$Q7_BUILD/bench/bench/$b" --benchmark_filter="${1:-.}" --benchmark_counters_tabular=true \
        ${extra[@]+"${extra[@]}"}
done
