#!/usr/bin/env bash
# Runs every test: installs what is missing, builds the native flavour (ASan
# and UBSan) and the Windows flavour, runs the unit tests, short fuzz runs
# on the committed corpora, the checks of the built Q7.EXE (tests/product),
# the disc image tests (tests/disc), and the Wine scenarios that drive the
# real launcher (tests/wine), in passes of their own for a Western code page
# and for a converted title picture, then each benchmark once at a tiny size
# (that it runs, not its speed). Arguments are scenario-name filters; with
# any, the benchmarks are left out.
# Prints a line a suite, the scenarios of every pass and the suites' count;
# exits non-zero on any failure.
source "$(dirname "${BASH_SOURCE[0]}")/wine_env.sh"

FUZZ_SECONDS=${FUZZ_SECONDS:-20}
results=()
status=0
record() { # name exit-code
    results+=("$(printf '%-28s %s' "$1" "$([ "$2" -eq 0 ] && echo passed || echo FAILED)")")
    [ "$2" -eq 0 ] || status=1
}

install_packages
mkdir -p "$Q7_BUILD"

log "native build (ASan + UBSan) and unit tests"
build_tree native -DQ7_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
rc=0
(cd "$Q7_BUILD/native" && ctest --output-on-failure -j"$JOBS") || rc=$?
record "unit tests" $rc

log "fuzz targets (clang, libFuzzer), ${FUZZ_SECONDS}s each"
CC=clang CXX=clang++ build_tree fuzz -DQ7_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
rc=0
# Crash files go beside the logs, never into the checkout.
mkdir -p "$Q7_BUILD/fuzz-artifacts"
# Each target NAME_fuzz starts from the committed corpus tests/fuzz/corpus/NAME.
for target in $(find "$Q7_BUILD/fuzz/tests/fuzz" -maxdepth 1 -type f -name '*_fuzz' -perm -u+x | sort); do
    name=$(basename "$target")
    corpus="$Q7_ROOT/tests/fuzz/corpus/${name%_fuzz}"
    work=$(mktemp -d)
    [ -d "$corpus" ] && cp -r "$corpus/." "$work/"
    log "$name"
    "$target" -max_total_time="$FUZZ_SECONDS" -print_final_stats=0 \
        -artifact_prefix="$Q7_BUILD/fuzz-artifacts/$name-" "$work" >"$Q7_BUILD/$name.log" 2>&1 ||
        { tail -40 "$Q7_BUILD/$name.log"; rc=1; }
    rm -rf "$work"
done
record "fuzz runs" $rc

build_product
rc=0
"$Q7_ROOT/tests/product/check_product.sh" "$Q7_BUILD/win/launcher/Q7.EXE" || rc=$?
record "Q7.EXE checks" $rc

log "disc images (scripts/make_disc.sh)"
rc=0
"$Q7_ROOT/tests/disc/make_disc_refusals.sh" || rc=$?
record "make_disc.sh refusals" $rc
rc=0
"$Q7_ROOT/tests/disc/check_disc_test.sh" || rc=$?
record "check_disc.sh" $rc
# One small game folder for the reproducibility check and for the disc the
# scenario from the CD-ROM drive runs on.
game=$Q7_BUILD/test-game
rm -f "$Q7_BUILD/test-disc.iso"
make_game_folder "$game" "$WINE_BUILD/tools/standins/KBZ.EXE" 10 DATA.DAT=$((24 << 20)) EMPTY.DAT=0 ゲーム.DAT=70000 \
    MOVIE/OPENING.AVI=100000
rc=0
"$Q7_ROOT/tests/disc/reproducible.sh" "$game" || rc=$?
record "disc image reproducible" $rc
rc=0
"$Q7_ROOT/tests/disc/scenario_disc.sh" "$game" "$WINE_BUILD/launcher/Q7.EXE" "$Q7_BUILD/test-disc.iso" || rc=$?
record "disc image for Wine" $rc

# run_wine_pass NAME COMMAND...: a pass of the Wine scenario driver, which
# COMMAND runs and which closes with "N passed, N failed, N skipped";
# recorded as NAME, its counts added to those of every pass. A COMMAND that
# exits 77 had nothing to run and is not recorded.
run_wine_pass() {
    local name=$1 rc=0 out=$Q7_BUILD/wine-pass.log
    shift
    log "$name"
    # The pass's prefix lives in the subshell: it removes it even when stopped.
    (
        trap stop_wine_prefix EXIT
        "$@"
    ) | tee "$out" || rc=$?
    [ "$rc" -ne 77 ] || { log "$name: the filters select none of its scenarios"; return 0; }
    record "$name" $rc
    local counts
    counts=$(grep -E '^[0-9]+ passed, [0-9]+ failed, [0-9]+ skipped' "$out" | tail -1 || true)
    if [ -n "$counts" ]; then
        read -r p _ f _ k _ <<<"${counts//,/}"
        scen_passed=$((scen_passed + p)) scen_failed=$((scen_failed + f))
        scen_skipped=$((scen_skipped + k))
    fi
}

scen_passed=0 scen_failed=0 scen_skipped=0
trap stop_wine EXIT
start_xvfb
[ ! -f "$Q7_BUILD/test-disc.iso" ] || CDROM_IMAGE=$Q7_BUILD/test-disc.iso
run_wine_pass "Wine scenarios" run_scenarios ja_JP.UTF-8 "$WINE_BUILD/launcher/Q7.EXE" "$@"
CDROM_IMAGE=
# A Western system: the launcher and the engine still work in code page 932
# by their manifests; without the launcher's, the paths a player types are
# read in code page 1252.
if [ $# -eq 0 ]; then
    run_wine_pass "Wine scenarios, cp1252" run_scenarios fr_FR.UTF-8 "$WINE_BUILD/launcher/Q7.EXE" \
        DirectoryChainFollowsTheSystemCodePage JapaneseNamesInstallAndTheGameRunsInCodePage932 \
        UninstallOfARootOrRelativeRecordDeletesNothing InstallCopiesQualifyingFiles
fi
run_wine_pass "converted picture on screen" "$Q7_ROOT/tests/wine/converted_picture.sh" "$@"

# Each benchmark once at a tiny size: only that it still runs to its end;
# its figures mean nothing, and none is asserted.
if [ $# -eq 0 ]; then
    stop_wine
    for b in run.sh disc_bench.sh check_bench.sh install_bench.sh startup.sh; do
        log "benchmark bench/$b, tiny"
        rc=0
        args=()
        [ "$b" = run.sh ] || args=(1)
        BENCH_SIZE=tiny timeout --kill-after=10 1200 bash "$Q7_ROOT/bench/$b" "${args[@]}" >"$Q7_BUILD/bench-$b.log" 2>&1 ||
            { rc=$?; tail -20 "$Q7_BUILD/bench-$b.log"; }
        record "bench/$b, tiny" $rc
    done
fi

echo
printf '%s\n' "${results[@]}"
passed=0
failed=0
for r in "${results[@]}"; do
    case "$r" in *passed) passed=$((passed + 1)) ;; *) failed=$((failed + 1)) ;; esac
done
echo "Wine scenarios, all passes: $scen_passed passed, $scen_failed failed, $scen_skipped skipped"
echo "suites: $passed passed, $failed failed"
exit $status
