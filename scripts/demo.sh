#!/usr/bin/env bash
# Runs the launcher from a demo disc under Wine, as a player meets it:
# installs what is missing, builds, lays out a game folder (the engine
# stand-in KBZ.EXE and a few MB of sample data), masters it into a CD image
# (build/demo.iso) with scripts/make_disc.sh, puts the image in a CD-ROM
# drive Q:, and starts Q7.EXE there. On the user's display when there is
# one; otherwise under Xvfb, where it saves a screenshot of the main window
# (build/demo.png by default) and closes the launcher itself.
#
# Usage: scripts/demo.sh [--disc IMAGE.iso] [SCREENSHOT.png]
# With --disc, the given image (one made by scripts/make_disc.sh) goes in the
# drive instead of the demo disc.
source "$(dirname "${BASH_SOURCE[0]}")/wine_env.sh"

image=
if [ "${1:-}" = "--disc" ]; then
    [ $# -ge 2 ] || { echo "usage: demo.sh [--disc IMAGE.iso] [SCREENSHOT.png]" >&2; exit 2; }
    image=$(realpath "$2")
    [ -f "$image" ] || { echo "demo.sh: $2: no such image" >&2; exit 1; }
    shift 2
fi
SHOT=${1:-$Q7_BUILD/demo.png}

install_packages
build_product

if [ -z "$image" ]; then
    image=$Q7_BUILD/demo.iso
    game=$Q7_BUILD/demo-game
    # Sample data in the shape of a game disc: a few large files, some small
    # ones, a subdirectory that the installer passes over, and a note.
    make_game_folder "$game" "$WINE_BUILD/tools/standins/KBZ.EXE" 7 SCENE.DAT=2500000 VOICE.DAT=1200000 SYSTEM.DAT=65536 SAVE.DAT=0 \
        MOVIE/OPENING.AVI=300000
    printf 'ＯＲＬＩＮ－Ｑ７\r\nデモ用のディスクです。\r\n' | iconv -f UTF-8 -t CP932 >"$game/README.TXT"
    # The Q7.EXE this Wine runs (the x86_64 build where i386 programs do not run).
    bash "$Q7_ROOT/scripts/make_disc.sh" "$game" "$image" --exe "$WINE_BUILD/launcher/Q7.EXE"
fi

own_display=${DISPLAY:-}
trap stop_wine EXIT
[ -n "$own_display" ] || start_xvfb
start_wine
add_cdrom_drive "$image"
if [ "$WINE_ARCH" = win64 ] && objdump -f "$CDROM_DIR/Q7.EXE" 2>/dev/null | grep -q 'pei-i386'; then
    log "$image holds the i686 Q7.EXE, which this host's Wine cannot run (no 32-bit programs"
    log "on this kernel); for a trial, make an image with scripts/make_disc.sh ... --x86-64"
    exit 1
fi
unset Q7_ENGINE_RECORD
# Started in the drive's root, Q7.EXE finds Q:\ as its current directory.
disc=$CDROM_DIR

if [ -n "$own_display" ]; then
    log "starting the launcher on $DISPLAY from Q:"
    (cd "$disc" && "$WINE_BIN" Q7.EXE)
    exit 0
fi

log "starting the launcher under Xvfb ($DISPLAY) from Q:"
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
"$WINE_BIN" "$WINE_BUILD/tools/standins/q7close.exe"
wait "$launcher" || true
log "the launcher has ended"
