#!/usr/bin/env bash
# Masters a CD image: Q7.EXE and AUTORUN.INF at the root, then the game
# folder as it stands, with KBZ.EXE.manifest beside the engine. Installs
# what it needs and builds Q7.EXE (i686, the product as shipped).
# Prints the image's SHA-256 on stdout; progress and warnings on stderr.
#
# Two runs with the same inputs give the same bytes: every date in the image
# (volume dates, file dates, the volume uuid) is SOURCE_DATE_EPOCH, taken
# from the last commit of these sources unless it is set. The image records
# an MD5 checksum of every file and of the session, for check_disc.sh.
source "$(dirname "${BASH_SOURCE[0]}")/helpers.sh"

usage="usage: make_disc.sh GAME_DIR OUTPUT.iso [--picture IMAGE [--picture-option OPT]... [--preview PREVIEW.png]] [--label NAME] [--x86-64 | --exe Q7.EXE] [--no-engine-manifest]"
# A 700 MB (80 minute) CD-R holds 360,000 sectors of 2,048 bytes.
DISC_SECTORS=360000
# 2155-12-31 23:59:59 UTC: the last second a directory record's date holds;
# xorriso writes later file dates as this one.
LAST_EPOCH=5869583999

game= out= picture= label=Q7 exe= arch=i686 preview= engine_manifest=1
positional=() picture_options=()
while [ $# -gt 0 ]; do
    case "$1" in
    --help | -h)
        cat <<EOF
$usage
  GAME_DIR        folder whose files and subfolders go on the disc as they are
  OUTPUT.iso      the image to write (replaced only when the new one is whole)
  --picture IMAGE title picture (PNG, BMP, JPEG or GIF) built into Q7.EXE
  --picture-option OPT
                  passed to the picture converter, e.g. --keep-size or
                  --dither=riemersma (see bash scripts/make_title.sh --help)
  --preview PREVIEW.png
                  also write what the launcher's window shows of the picture
                  (passed to make_title.sh; needs --picture)
  --label NAME    volume label: 1 to 16 of A-Z, 0-9 and _ (default Q7)
  --x86-64        build the x86_64 Q7.EXE instead, for a trial under a Wine
                  that runs only 64-bit programs; never ship such a disc
  --exe Q7.EXE    put this already built Q7.EXE on the disc instead of building
                  one (the tests use it for the build their Wine runs); it
                  must be a Windows GUI program for i386 (x86_64: trials only)
  --no-engine-manifest
                  put no KBZ.EXE.manifest beside the engine (by default one
                  asks Windows 11 to run the game in code page 932, Japanese,
                  whatever the system's language)
EOF
        exit 0
        ;;
    --picture | --picture-option | --preview | --label | --exe)
        [ $# -ge 2 ] || die 2 "$usage"
        case "$1" in
        --picture) picture=$2 ;;
        --preview) preview=$2 ;;
        --picture-option) picture_options+=("$2") ;;
        --label) label=$2 ;;
        --exe) exe=$2 ;;
        esac
        shift 2
        ;;
    --x86-64)
        arch=x86_64
        shift
        ;;
    --no-engine-manifest)
        engine_manifest=
        shift
        ;;
    -*) die 2 "$usage" ;;
    *)
        positional+=("$1")
        shift
        ;;
    esac
done
[ ${#positional[@]} -eq 2 ] || die 2 "$usage"
game=${positional[0]}
out=${positional[1]}
[ ${#picture_options[@]} -eq 0 ] || [ -n "$picture" ] || die 2 "--picture-option needs --picture"
[ -z "$preview" ] || [ -n "$picture" ] || die 2 "--preview needs --picture"
# The preview is checked here like every other file the run writes.
for o in ${picture_options[@]+"${picture_options[@]}"}; do
    case "$o" in --preview | --preview=*) die 2 "--picture-option $o: give the preview with --preview" ;; esac
done
[ -z "$preview" ] || picture_options+=(--preview "$preview")
[ -z "$exe" ] || { [ -z "$picture" ] && [ $arch = i686 ]; } ||
    die 2 "--exe takes a built Q7.EXE; --picture and --x86-64 are for building one"
[[ "$label" =~ ^[A-Z0-9_]{1,16}$ ]] || die 2 "--label $label: use 1 to 16 of A-Z, 0-9 and _"
readable() { [ -f "$1" ] && [ -r "$1" ] && head -c 1 -- "$1" >/dev/null 2>&1; }
[ -z "$picture" ] || readable "$picture" || die 1 "$picture: cannot be read"
[ -z "$exe" ] || readable "$exe" || die 1 "$exe: cannot be read"
# What goes on the disc as Q7.EXE is what a double click on the disc starts.
exe_arch=
if [ -n "$exe" ]; then
    exe_arch=$(exe_kind "$exe") || die 1 "--exe $exe: $exe_arch; Q7.EXE must be a Windows GUI program (i386)"
fi
[ -e "$game" ] || die 1 "$game: no such folder"
[ -d "$game" ] || die 1 "$game: not a folder"
[ -L "$out" ] || [ ! -d "$out" ] || die 1 "$out: is a folder"
# Renaming over a device node, a FIFO or a link would replace it.
if [ -L "$out" ] || { [ -e "$out" ] && [ ! -f "$out" ]; }; then
    die 1 "$out: not a regular file (a link, device or FIFO); name a new or ordinary file"
fi
# inside PATH FOLDER: PATH, resolved, lies in FOLDER.
inside() {
    local path folder
    keep path realpath -m -- "$1" && keep folder realpath -m -- "$2" || return 1
    [ "$folder" != / ] || return 0
    case "$path/" in
    "$folder"/*) return 0 ;;
    esac
    return 1
}
! inside "$out" "$game" || die 1 "$out: inside $game, the image would go onto itself"
# Anything written into the game folder would go onto the disc unchecked.
[ -z "$preview" ] || ! inside "$preview" "$game" ||
    die 1 "--preview $preview: inside $game, it would go onto the disc unchecked; write it elsewhere"
[ -n "$exe" ] || ! inside "$Q7_BUILD" "$game" ||
    die 1 "$Q7_BUILD (the build folder, Q7_BUILD): inside $game, the build would go onto the disc; set Q7_BUILD to a folder elsewhere"
# The picture converter's output, rewritten by every run with a picture.
resource=
[ -z "$picture" ] || resource=$Q7_BUILD/disc-title-$arch/backcg.bin
# Publishers' files are never overwritten, however they are spelled.
distinct_files --picture "$picture" --exe "$exe" --preview "$preview" OUTPUT "$out" \
    "the converted picture" "$resource"
# A build rewrites its folder (trees, logs, the converted picture): a file
# this run writes there could be overwritten by the build, by this run's own.
if [ -z "$exe" ]; then
    ! inside "$out" "$Q7_BUILD" ||
        die 1 "$out: inside $Q7_BUILD, the build folder (Q7_BUILD), which the build rewrites; write it elsewhere"
    [ -z "$preview" ] || ! inside "$preview" "$Q7_BUILD" ||
        die 1 "--preview $preview: inside $Q7_BUILD, the build folder (Q7_BUILD), which the build rewrites; write it elsewhere"
fi
# The converter takes a name that starts with "-" for an option.
[ -z "$picture" ] || keep picture realpath -- "$picture"

# The image is written beside OUTPUT and renamed over it when whole, so a
# failure at any point leaves OUTPUT as it was.
keep out_dir dirname -- "$out"
[ -d "$out_dir" ] || die 1 "$out: cannot be written (no folder $out_dir)"
name_bytes=$(basename "$out" | LC_ALL=C wc -c)
name_max=$(getconf NAME_MAX "$out_dir" 2>/dev/null || echo 255)
[ $((name_bytes - 1)) -le "$name_max" ] ||
    die 1 "$out: name too long ($((name_bytes - 1)) bytes; the folder holds names of up to $name_max)"
part=$(mktemp "$out_dir/.make_disc.XXXXXX" 2>/dev/null) ||
    die 1 "$out: cannot be written (folder $out_dir refuses new files)"
stage=$(mktemp -d)
lock=
cleanup() { rm -rf "$part" "$stage"; }
trap cleanup EXIT
trap 'exit 130' INT TERM
# Paths not yet written can be one file through another path (a folder
# mounted twice): the unfinished image, looked for from the other's folder,
# tells whether that folder is OUTPUT's.
outputs_folder() { # FOLDER
    [ -e "$1/${part##*/}" ] && [ "$(file_id "$1/${part##*/}")" = "$(file_id "$part")" ]
}
if [ -n "$preview" ]; then
    keep preview_dir dirname -- "$preview"
    keep preview_name basename -- "$preview"
    keep out_name basename -- "$out"
    if [ "$preview_name" = "$out_name" ] && outputs_folder "$preview_dir"; then
        die 2 "--preview $preview and OUTPUT $out are one file (through another path): writing one would replace the other; name another file (nothing written)"
    fi
fi
if [ -n "$resource" ] && outputs_folder "${resource%/*}"; then
    die 1 "$out: inside $Q7_BUILD, the build folder (Q7_BUILD), through another path; the build rewrites it; write it elsewhere"
fi

export LC_ALL=C.UTF-8
install_only xorriso python3 git
if [ -z "$exe" ]; then
    case $arch in
    i686) install_only cmake make git g++-mingw-w64-i686-win32 binutils-mingw-w64-i686 ;;
    *) install_only cmake make git g++-mingw-w64-x86-64-win32 binutils-mingw-w64-x86-64 ;;
    esac
fi

log "checking $game"
writes=(--writes "$out")
[ -z "$preview" ] || writes+=(--writes "$preview")
[ -z "$resource" ] || writes+=(--writes "$resource")
read -r files bytes < <(python3 "$Q7_ROOT/tools/disc/disc_tree.py" --own "$part" --own "$stage" \
    "${writes[@]}" "$game") || exit 1
log "$files files, $bytes bytes"
# Each file takes whole sectors; a first refusal before anything is built.
if [ $((bytes / 2048)) -gt $DISC_SECTORS ]; then
    die 1 "$game: $bytes bytes do not fit a 700 MB disc ($((DISC_SECTORS * 2048)) bytes)"
fi

# Beside the engine, a manifest asking for code page 932 (the same request as
# Q7.EXE's own): on Windows 11 of any language the game then reads its
# Shift-JIS names and texts as on a Japanese one. Windows reads no manifest
# beside a program that embeds one, and a publisher's own is kept.
beside_engine=()
keep game_root realpath -- "$game"
keep engine find -L "$game_root" -mindepth 1 -maxdepth 1 -iname KBZ.EXE -type f -print -quit
keep own_manifest find -L "$game_root" -mindepth 1 -maxdepth 1 -iname KBZ.EXE.manifest -print -quit
if [ -z "$engine_manifest" ]; then
    log "no KBZ.EXE.manifest beside the engine (--no-engine-manifest)"
elif [ -z "$engine" ]; then
    log "no KBZ.EXE.manifest: there is no engine to put it beside"
elif [ -n "$own_manifest" ]; then
    log "KBZ.EXE.manifest: the game folder's own ($(basename "$own_manifest")) goes on the disc"
elif python3 "$Q7_ROOT/tools/disc/pe_manifest.py" "$engine" 2>/dev/null; then
    printf '%s: warning: %s embeds a manifest of its own, so Windows would read none beside it: the disc carries no KBZ.EXE.manifest. For the game to run in code page 932 on a Windows 11 of another language, the engine'"'"'s own manifest must ask for it (activeCodePage ja-JP).\n' \
        "$(basename "$0")" "$engine" >&2
else
    cp "$Q7_ROOT/resources/q7.manifest" "$stage/KBZ.EXE.manifest"
    beside_engine=("/KBZ.EXE.manifest=$stage/KBZ.EXE.manifest")
    log "KBZ.EXE.manifest beside the engine: code page 932 for the game on Windows 11"
fi

if [ -n "${SOURCE_DATE_EPOCH:-}" ]; then
    epoch=$SOURCE_DATE_EPOCH
    # xorriso ignores 0 (the files keep their own dates) and refuses
    # leading zeros, signs and fractions.
    if ! [[ "$epoch" =~ ^[1-9][0-9]{0,10}$ ]] || [ "$epoch" -gt $LAST_EPOCH ]; then
        die 1 "SOURCE_DATE_EPOCH=$epoch: not a date the disc can carry; give whole seconds since 1970, from 1 to $LAST_EPOCH ($(date -u -d @$LAST_EPOCH '+%Y-%m-%d %H:%M:%S') UTC)"
    fi
    from="SOURCE_DATE_EPOCH"
else
    # These sources' own checkout, not one that happens to hold them, and
    # one owned by another user too (a CI clone, a copy from a colleague).
    real_root=$(realpath "$Q7_ROOT")
    git_here=(git -c safe.directory="$Q7_ROOT" -c safe.directory="$real_root" -C "$Q7_ROOT")
    top=$("${git_here[@]}" rev-parse --show-toplevel 2>/dev/null) || top=
    epoch=
    if [ -n "$top" ] && [ "$(realpath "$top")" = "$real_root" ]; then
        epoch=$("${git_here[@]}" log -1 --format=%ct 2>/dev/null) || epoch=
    fi
    [[ "$epoch" =~ ^[1-9][0-9]*$ ]] && [ "$epoch" -le $LAST_EPOCH ] ||
        die 1 "$Q7_ROOT: not a git checkout with a commit of its own, so the disc has no date; set SOURCE_DATE_EPOCH (seconds since 1970) to give it one"
    from="the last commit of $Q7_ROOT"
fi
export SOURCE_DATE_EPOCH=$epoch
log "the disc's date: $(date -u -d "@$epoch" '+%Y-%m-%d %H:%M:%S') UTC (SOURCE_DATE_EPOCH=$epoch, from $from)"

if [ -z "$exe" ]; then
    # One build at a time in a build folder: a second run waits, so that
    # each disc gets the picture it was given and builds stay reproducible.
    mkdir -p "$Q7_BUILD"
    exec {lock}>"$Q7_BUILD/make_disc-$arch.lock"
    if ! flock -n "$lock"; then
        log "waiting for another make_disc.sh to finish building Q7.EXE"
        flock "$lock"
    fi
fi
if [ -z "$exe" ] && [ -n "$picture" ]; then
    log "building Q7.EXE ($arch) with the title picture $picture"
    build_with_picture "disc-title-$arch" "$arch" "$picture" \
        ${picture_options[@]+"${picture_options[@]}"} || die 1 "building Q7.EXE with $picture failed"
    exe=$PICTURE_EXE
elif [ -z "$exe" ]; then
    log "building Q7.EXE ($arch)"
    # The build's complaints go to stderr: stdout carries only the image's SHA-256.
    build_exe "$arch" >&2 || die 1 "building Q7.EXE failed"
    exe=$BUILT_EXE
fi

if [ -z "$exe_arch" ]; then
    exe_arch=$(exe_kind "$exe") || die 1 "$exe: $exe_arch; the build did not make a Windows GUI program"
fi
cp "$exe" "$stage/Q7.EXE"
[ -z "$lock" ] || exec {lock}>&-
log "Q7.EXE: $(size_and_sum "$stage/Q7.EXE")"
printf '[autorun]\r\nopen=Q7.EXE\r\nicon=Q7.EXE\r\n' >"$stage/AUTORUN.INF"

# Rock Ridge with -r: every file read-only for whoever mounts the image on
# Unix, as Joliet makes them on Windows. Links in the folder are followed.
# The folder goes in through a link of the run's own: xorriso warns about
# "*", "?" and "[" in a path it is given, and "=" would split a graft point.
keep real_game realpath -- "$game"
ln -s "$real_game" "$stage/game"
xorriso_args=(-as mkisofs -r -J -input-charset UTF-8 -follow-links --md5
    -V "$label" --set_all_file_dates "=$epoch"
    -graft-points "/Q7.EXE=$stage/Q7.EXE" "/AUTORUN.INF=$stage/AUTORUN.INF"
    ${beside_engine[@]+"${beside_engine[@]}"} "/=$stage/game")
# Any complaint of xorriso's is a failure: its warnings mean files left out
# of a tree or changed on the way (a path too long for Joliet, a file that
# shrank while it was read).
complaints='FAILURE\|SORRY\|FATAL\|WARNING\|MISHAP'

sectors=$(xorriso "${xorriso_args[@]}" -print-size 2>"$stage/layout.log" | tail -1) &&
    [[ "$sectors" =~ ^[0-9]+$ ]] || {
    grep "$complaints" "$stage/layout.log" >&2
    die 1 "$game: xorriso cannot lay out the image"
}
if grep "$complaints" "$stage/layout.log" >&2; then
    die 1 "$game: xorriso warns about the folder (above); the image would not be what the folder holds"
fi
if [ "$sectors" -gt $DISC_SECTORS ]; then
    die 1 "$game: the image needs $sectors sectors; a 700 MB disc holds $DISC_SECTORS"
fi

log "writing $sectors sectors"
# xorriso's chatter is dropped; its progress and its complaints are kept.
if ! xorriso "${xorriso_args[@]}" -o "$part" 2>&1 >/dev/null |
    sed -u -n -e 's/^xorriso : UPDATE : *\([0-9.]*% done\).*/==> writing: \1/p' \
        -e "/$complaints/p" | tee "$stage/write.log" >&2; then
    die 1 "$out: xorriso failed"
fi
! grep -q "$complaints" "$stage/write.log" || die 1 "$out: xorriso warns (above); no image written"
# The image's own size, its volume space size in the primary volume
# descriptor: -print-size leaves out the sectors of the checksum array.
written=$(od -An --endian=little -t u4 -j $((16 * 2048 + 80)) -N 4 "$part" | tr -d ' ')
[[ "$written" =~ ^[0-9]+$ ]] && [ "$(stat -c %s "$part")" -eq $((written * 2048)) ] &&
    [ "$written" -ge "$sectors" ] || die 1 "$out: xorriso failed"
if [ "$written" -gt $DISC_SECTORS ]; then
    die 1 "$game: the image needs $written sectors; a 700 MB disc holds $DISC_SECTORS"
fi
# A file that changed size while it was read went on the disc cut short or
# padded with zeros.
# "stdio:" keeps xorriso from taking a path under /dev (/dev/shm) for a drive.
xorriso -indev "stdio:$part" -find / -type f -exec report_lba -- >"$stage/files.txt" 2>/dev/null ||
    die 1 "$out: the image written cannot be read back"
# The manifest laid beside the engine is the run's own, not the folder's.
if [ ${#beside_engine[@]} -gt 0 ]; then
    grep -v "'/KBZ\.EXE\.manifest'\$" "$stage/files.txt" >"$stage/folder-files.txt" || true
    mv "$stage/folder-files.txt" "$stage/files.txt"
fi
python3 "$Q7_ROOT/tools/disc/disc_tree.py" --sizes "$game" <"$stage/files.txt" ||
    die 1 "$out: files changed while the image was written (above); no image written"
chmod "$(printf '%o' $((0666 & ~$(umask))))" "$part"
mv -f "$part" "$out" || die 1 "$out: cannot be written"
if [ "$exe_arch" = x86_64 ]; then
    printf '%s: warning: %s holds an x86_64 Q7.EXE, for a trial under a 64-bit Wine only: a player'"'"'s 32-bit Windows cannot start it. Never ship this disc; make the one to ship with the i686 Q7.EXE (without --x86-64).\n' \
        "$(basename "$0")" "$out" >&2
fi
sha256sum "$out"
