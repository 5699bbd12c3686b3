#!/usr/bin/env bash
# Turns a publisher's picture (PNG, BMP, JPEG or GIF) into the launcher's
# BACKCG resource:
#   bash scripts/make_title.sh [--preview PREVIEW.png] [--] IMAGE OUT.bin [q7title options]
# After "--" every argument is a file's name, even one that begins with '-'
# (the converter reads it so; scripts that pass a publisher's names put
# them there).
# Installs what the converter needs, builds it natively under build/, and
# runs it; what it prints on stdout is the converter's report. --preview
# also writes a PNG of the launcher's window as the player sees it. A Q7.EXE
# with the picture is then built with cmake -DQ7_BACKCG=/absolute/path/OUT.bin.
# Run with --help for the converter's options.
source "$(dirname "${BASH_SOURCE[0]}")/helpers.sh"

# The converter writes OUT.bin and the preview whole, by renaming over them:
# neither may be the picture or each other, however the names are spelled
# (./t.png, a link, a hard link). The converter's own reading of its
# arguments, mirrored; a call it refuses is left to it.
files=() preview= help= ended=
args=("$@")
for ((i = 0; i < ${#args[@]}; i++)); do
    case "$ended${args[i]}" in
    --) ended=: ;;
    :*) files+=("${args[i]}") ;;
    --help) help=1 ;;
    --preview) preview=${args[i + 1]:-} i=$((i + 1)) ;;
    --preview=?*) preview=${args[i]#--preview=} ;;
    -?*) ;;
    *) files+=("${args[i]}") ;;
    esac
done
if [ -z "$help" ] && [ ${#files[@]} -eq 2 ]; then
    distinct_files IMAGE "${files[0]}" OUT.bin "${files[1]}" --preview "$preview"
fi

# The font draws the preview's button labels.
install_only cmake make g++ pkg-config libmagick++-dev liblcms2-dev fonts-ipafont-gothic
mkdir -p "$Q7_BUILD"
log "building the picture converter"
build_tree title-tool -DQ7_TOOLS_ONLY=ON -DCMAKE_BUILD_TYPE=Release >&2
exec "$Q7_BUILD/title-tool/tools/q7title" "$@"
