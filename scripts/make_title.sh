#!/usr/bin/env bash
# Turns a publisher's picture (PNG, BMP, JPEG or GIF) into the launcher's
# BACKCG resource:
#   bash scripts/make_title.sh [q7title options] [--preview PREVIEW.png] [--] IMAGE OUT.bin
# The options come first: after "--" every argument is a file's name, even
# one that begins with '-' (the converter reads it so; scripts that pass a
# publisher's names put them there).
# Installs what the converter needs, builds it natively under build/, and
# runs it; what it prints on stdout is the converter's report. --preview
# also writes a PNG of the launcher's window as the player sees it. A Q7.EXE
# with the picture is then built with cmake -DQ7_BACKCG=/absolute/path/OUT.bin.
# Run with --help for the converter's options.
source "$(dirname "${BASH_SOURCE[0]}")/helpers.sh"

# The font draws the preview's button labels.
install_only cmake make g++ pkg-config libmagick++-dev liblcms2-dev fonts-ipafont-gothic
mkdir -p "$Q7_BUILD"
log "building the picture converter"
build_tree title-tool -DQ7_TOOLS_ONLY=ON -DCMAKE_BUILD_TYPE=Release >&2
exec "$Q7_BUILD/title-tool/tools/title/q7title" "$@"
