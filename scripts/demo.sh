#!/usr/bin/env bash
# Runs the launcher from a demo disc directory under Wine: installs what is
# missing, builds, lays out the disc (Q7.EXE, the engine stand-in KBZ.EXE and
# a few MB of sample data), and starts Q7.EXE there. On the user's display
# when there is one; otherwise under Xvfb, where it saves a screenshot of the
# main window (build/demo.png by default) and closes the launcher itself.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

SHOT=${1:-$Q7_BUILD/demo.png}

install_packages
build_product

disc=$Q7_BUILD/demo-disc
rm -rf "$disc"
mkdir -p "$disc/MOVIE"
cp "$WINE_BUILD/launcher/Q7.EXE" "$WINE_BUILD/tools/KBZ.EXE" "$disc/"
# Sample data in the shape of a game disc: a few large files, some small
# ones, and a subdirectory that the installer passes over.
python3 - "$disc" <<'PY'
import random, sys
root = sys.argv[1]
rng = random.Random(7)
for name, size in (("SCENE.DAT", 2_500_000), ("VOICE.DAT", 1_200_000), ("SYSTEM.DAT", 65_536),
                   ("SAVE.DAT", 0), ("MOVIE/OPENING.AVI", 300_000)):
    with open(f"{root}/{name}", "wb") as f:
        f.write(bytes(rng.getrandbits(8) for _ in range(size)))
with open(f"{root}/README.TXT", "w", encoding="cp932", newline="\r\n") as f:
    f.write("ＯＲＬＩＮ－Ｑ７\nデモ用のディスクです。\n")
PY

own_display=${DISPLAY:-}
trap stop_wine EXIT
[ -n "$own_display" ] || start_xvfb
start_wine
unset Q7_ENGINE_RECORD

if [ -n "$own_display" ]; then
    log "starting the launcher on $DISPLAY from $disc"
    (cd "$disc" && "$WINE_BIN" Q7.EXE)
    exit 0
fi

log "starting the launcher under Xvfb ($DISPLAY) from $disc"
(cd "$disc" && "$WINE_BIN" Q7.EXE) &
launcher=$!
# Wait for the main window to be painted: poll the screen until it is no
# longer one flat colour.
for _ in $(seq 1 150); do
    xwd -root -silent | convert xwd:- "$SHOT"
    [ "$(convert "$SHOT" -format '%k' info:)" -gt 20 ] && break
    sleep 0.2
done
# Let a repaint in progress finish before the final picture.
sleep 1
xwd -root -silent | convert xwd:- "$SHOT"
log "screenshot: $SHOT"
"$WINE_BIN" "$WINE_BUILD/tools/q7close.exe"
wait "$launcher" || true
log "the launcher has ended"
