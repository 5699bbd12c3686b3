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
# Each target NAME_fuzz starts from the committed corpus tests/fuzz/corpus/NAME.
for target in $(find "$Q7_BUILD/fuzz/tests/fuzz" -maxdepth 1 -type f -name '*_fuzz' -perm -u+x | sort); do
    name=$(basename "$target")
    corpus="$Q7_ROOT/tests/fuzz/corpus/${name%_fuzz}"
    work=$(mktemp -d)
    [ -d "$corpus" ] && cp -r "$corpus/." "$work/"
    log "$name"
    "$target" -max_total_time="$FUZZ_SECONDS" -print_final_stats=0 "$work" >"$Q7_BUILD/$name.log" 2>&1 ||
        { tail -40 "$Q7_BUILD/$name.log"; rc=1; }
    rm -rf "$work"
done
record "fuzz runs" $rc

build_product
rc=0
"$Q7_ROOT/tests/product/check_product.sh" "$Q7_BUILD/win/launcher/Q7.EXE" || rc=$?
record "Q7.EXE checks" $rc

# run_wine_pass LOCALE NAME Q7.EXE [filters...]: the Wine driver in a fresh
# prefix whose ANSI code page follows LOCALE.
run_wine_pass() {
    local locale=$1 name=$2 exe=$3
    shift 3
    log "$name ($WINE_ARCH, $locale)"
    Q7_WINE_LOCALE=$locale start_wine
    add_small_drive
    local rc=0
    "$WINE_BIN" "$WINE_BUILD/tests/wine/q7wine.exe" \
        --q7 "$(winpath "$exe")" \
        --engine "$(winpath "$WINE_BUILD/tools/KBZ.EXE")" "$@" || rc=$?
    record "$name" $rc
    stop_wine_prefix
}

trap stop_wine EXIT
start_xvfb
run_wine_pass ja_JP.UTF-8 "Wine scenarios" "$WINE_BUILD/launcher/Q7.EXE" "$@"
# A Western system: the paths a player types are read in code page 1252.
if [ $# -eq 0 ]; then
    run_wine_pass fr_FR.UTF-8 "Wine scenarios, cp1252" "$WINE_BUILD/launcher/Q7.EXE" \
        DirectoryChainFollowsTheSystemCodePage \
        UninstallOfARootOrRelativeRecordDeletesNothing InstallCopiesQualifyingFiles
fi

# The picture scenario once more, on a Q7.EXE built with a converted
# photograph-like picture (fixed seed) in place of ours.
picture_scenario=MainWindowShowsTheCentredCropOfThePicture
wanted=$(($# == 0))
for f in "$@"; do
    if [[ $picture_scenario == *"$f"* ]]; then wanted=1; fi
done
if [ "$wanted" -eq 1 ]; then
    log "the picture scenario with a converted picture"
    mkdir -p "$Q7_BUILD/title-photo"
    if convert -seed 7 -size 800x600 plasma:fractal -blur 0x4 "$Q7_BUILD/title-photo/photo.png" &&
        build_product_with_picture "$Q7_BUILD/title-photo/photo.png" title-photo; then
        run_wine_pass ja_JP.UTF-8 "converted picture on screen" "$TITLE_EXE" "$picture_scenario"
    else
        record "converted picture on screen" 1
    fi
fi

echo
printf '%s\n' "${results[@]}"
passed=0
failed=0
for r in "${results[@]}"; do
    case "$r" in *passed) passed=$((passed + 1)) ;; *) failed=$((failed + 1)) ;; esac
done
echo "suites: $passed passed, $failed failed"
exit $status
