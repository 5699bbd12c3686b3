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

log "disc images (scripts/make_disc.sh)"
rc=0
"$Q7_ROOT/tests/disc/make_disc_refusals.sh" || rc=$?
record "make_disc.sh refusals" $rc
rc=0
"$Q7_ROOT/tests/disc/check_disc_test.sh" || rc=$?
record "check_disc.sh" $rc
# The disc image: mastered twice from the same game folder (the second
# time from a fresh copy, with other file dates, written elsewhere) and
# compared byte for byte; then mastered once more with the Q7.EXE this Wine
# runs, for the scenario from the CD-ROM drive.
game=$Q7_BUILD/test-game
rm -rf "$game-copy" "$Q7_BUILD/test-disc.iso"
make_game_folder "$game" 10 DATA.DAT=$((24 << 20)) EMPTY.DAT=0 ゲーム.DAT=70000 \
    MOVIE/OPENING.AVI=100000
rc=0
cp -r "$game" "$game-copy"
touch -d '2001-02-03 04:05:06' "$game-copy/DATA.DAT"
{ bash "$Q7_ROOT/scripts/make_disc.sh" "$game" "$Q7_BUILD/disc-1.iso" &&
    bash "$Q7_ROOT/scripts/make_disc.sh" "$game-copy" "$Q7_BUILD/disc-2.iso" &&
    cmp "$Q7_BUILD/disc-1.iso" "$Q7_BUILD/disc-2.iso"; } || rc=$?
rm -rf "$game-copy" "$Q7_BUILD/disc-1.iso" "$Q7_BUILD/disc-2.iso"
record "disc image reproducible" $rc
rc=0
bash "$Q7_ROOT/scripts/make_disc.sh" "$game" "$Q7_BUILD/test-disc.iso" \
    --exe "$WINE_BUILD/launcher/Q7.EXE" >/dev/null &&
    bash "$Q7_ROOT/scripts/check_disc.sh" "$Q7_BUILD/test-disc.iso" || rc=$?
record "disc image for Wine" $rc

# run_wine_pass LOCALE NAME Q7.EXE [filters...]: the Wine driver in a fresh
# prefix whose ANSI code page follows LOCALE; with CDROM_IMAGE set, that disc
# image in its CD-ROM drive.
run_wine_pass() {
    local locale=$1 name=$2 exe=$3
    shift 3
    log "$name ($WINE_ARCH, $locale)"
    Q7_WINE_LOCALE=$locale start_wine
    add_small_drive
    [ -z "${CDROM_IMAGE:-}" ] || add_cdrom_drive "$CDROM_IMAGE"
    local rc=0 out=$Q7_BUILD/wine-pass.log
    "$WINE_BIN" "$WINE_BUILD/tests/wine/q7wine.exe" \
        --q7 "$(winpath "$exe")" \
        --engine "$(winpath "$WINE_BUILD/tools/KBZ.EXE")" \
        ${Q7_CDROM_DRIVE:+--cdrom "$Q7_CDROM_DRIVE"} "$@" | tee "$out" || rc=$?
    record "$name" $rc
    # The driver closes with "N passed, N failed, N skipped".
    local counts
    counts=$(grep -E '^[0-9]+ passed, [0-9]+ failed, [0-9]+ skipped' "$out" | tail -1 || true)
    if [ -n "$counts" ]; then
        read -r p _ f _ k _ <<<"${counts//,/}"
        scen_passed=$((scen_passed + p)) scen_failed=$((scen_failed + f))
        scen_skipped=$((scen_skipped + k))
    fi
    stop_wine_prefix
}

scen_passed=0 scen_failed=0 scen_skipped=0
trap stop_wine EXIT
start_xvfb
[ ! -f "$Q7_BUILD/test-disc.iso" ] || CDROM_IMAGE=$Q7_BUILD/test-disc.iso
run_wine_pass ja_JP.UTF-8 "Wine scenarios" "$WINE_BUILD/launcher/Q7.EXE" "$@"
CDROM_IMAGE=
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
        build_with_picture title-photo "$([ "$WINE_ARCH" = win64 ] && echo x86_64 || echo i686)" \
            "$Q7_BUILD/title-photo/photo.png"; then
        run_wine_pass ja_JP.UTF-8 "converted picture on screen" "$PICTURE_EXE" "$picture_scenario"
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
echo "Wine scenarios, all passes: $scen_passed passed, $scen_failed failed, $scen_skipped skipped"
echo "suites: $passed passed, $failed failed"
exit $status
