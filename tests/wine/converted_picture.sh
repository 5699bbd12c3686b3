#!/usr/bin/env bash
# The picture scenario once more, on a Q7.EXE built with a converted
# photograph-like picture (fixed seed) in place of ours: the picture goes
# through scripts/make_title.sh as a publisher's does, and the window must
# show its centred crop. Run by scripts/test.sh, after build_product and
# under its display; the driver's report on stdout, its status the exit.
# Usage: converted_picture.sh [scenario filters...]
# With filters, it runs only when one of them is part of the scenario's
# name; otherwise it runs nothing and exits 77.
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/wine_env.sh"

scenario=MainWindowShowsTheCentredCropOfThePicture
wanted=$(($# == 0))
for f in "$@"; do
    if [[ $scenario == *"$f"* ]]; then wanted=1; fi
done
[ "$wanted" -eq 1 ] || exit 77

log "the picture scenario with a converted picture"
dir=$Q7_BUILD/title-photo
mkdir -p "$dir"
arch=i686
[ "$WINE_ARCH" != win64 ] || arch=x86_64
convert -seed 7 -size 800x600 plasma:fractal -blur 0x4 "$dir/photo.png" || exit 1
build_with_picture title-photo "$arch" "$dir/photo.png" || exit 1
trap stop_wine_prefix EXIT
run_scenarios ja_JP.UTF-8 "$PICTURE_EXE" "$scenario"
