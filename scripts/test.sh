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

log "disc images (scripts/make_disc.sh)"
rc=0
"$Q7_ROOT/tests/disc/make_disc_refusals.sh" || rc=$?
record "make_disc.sh refusals" $rc
# The disc image: mastered twice from the same game folder (the second
# time from a fresh copy, with other file dates, written elsewhere) and
# compared byte for byte; then mastered once more with the Q7.EXE this Wine
# runs, for the scenario from the CD-ROM drive.
game=$Q7_BUILD/test-game
rm -rf "$game" "$game-copy" "$Q7_BUILD/test-disc.iso"
mkdir -p "$game/MOVIE"
cp "$WINE_BUILD/tools/KBZ.EXE" "$game/"
python3 - "$game" <<'PY'
import random, sys
root = sys.argv[1]
rng = random.Random(10)
for name, size in (("DATA.DAT", 24 << 20), ("EMPTY.DAT", 0), ("ゲーム.DAT", 70_000),
                   ("MOVIE/OPENING.AVI", 100_000)):
    with open(f"{root}/{name}", "wb") as f:
        f.write(rng.randbytes(size))
PY
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
    --exe "$WINE_BUILD/launcher/Q7.EXE" >/dev/null || rc=$?
record "disc image for Wine" $rc

log "Wine scenarios ($WINE_ARCH)"
trap stop_wine EXIT
start_xvfb
start_wine
add_small_drive
[ ! -f "$Q7_BUILD/test-disc.iso" ] || add_cdrom_drive "$Q7_BUILD/test-disc.iso"
rc=0
"$WINE_BIN" "$WINE_BUILD/tests/wine/q7wine.exe" \
    --q7 "$(winpath "$WINE_BUILD/launcher/Q7.EXE")" \
    --engine "$(winpath "$WINE_BUILD/tools/KBZ.EXE")" ${Q7_CDROM_DRIVE:+--cdrom "$Q7_CDROM_DRIVE"} "$@" || rc=$?
record "Wine scenarios" $rc

# The picture scenario once more, on a Q7.EXE built with a converted
# photograph-like picture (fixed seed) in place of ours.
picture_scenario=MainWindowShowsTheCentredCropOfThePicture
wanted=$(($# == 0))
for f in "$@"; do
    if [[ $picture_scenario == *"$f"* ]]; then wanted=1; fi
done
if [ "$wanted" -eq 1 ]; then
    log "the picture scenario with a converted picture"
    rc=0
    mkdir -p "$Q7_BUILD/title-photo"
    convert -seed 7 -size 800x600 plasma:fractal -blur 0x4 "$Q7_BUILD/title-photo/photo.png" &&
        build_product_with_picture "$Q7_BUILD/title-photo/photo.png" title-photo &&
        "$WINE_BIN" "$WINE_BUILD/tests/wine/q7wine.exe" --q7 "$(winpath "$TITLE_EXE")" \
            --engine "$(winpath "$WINE_BUILD/tools/KBZ.EXE")" "$picture_scenario" || rc=$?
    record "converted picture on screen" $rc
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
