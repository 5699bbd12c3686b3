#!/usr/bin/env bash
# Runs every test: installs what is missing, builds the native flavour (ASan
# and UBSan) and the Windows flavour, runs the unit tests, short fuzz runs
# on the committed corpora, the checks of the built Q7.EXE, and the Wine
# scenarios that drive the real launcher. Exits non-zero on any failure.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

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

log "Wine scenarios ($WINE_ARCH)"
trap stop_wine EXIT
start_xvfb
start_wine
add_small_drive
rc=0
"$WINE_BIN" "$WINE_BUILD/tests/wine/q7wine.exe" \
    --q7 "$(winpath "$WINE_BUILD/launcher/Q7.EXE")" \
    --engine "$(winpath "$WINE_BUILD/tools/KBZ.EXE")" "$@" || rc=$?
record "Wine scenarios" $rc

echo
printf '%s\n' "${results[@]}"
passed=0
failed=0
for r in "${results[@]}"; do
    case "$r" in *passed) passed=$((passed + 1)) ;; *) failed=$((failed + 1)) ;; esac
done
echo "suites: $passed passed, $failed failed"
exit $status
