#!/usr/bin/env bash
# Masters a CD image: Q7.EXE and AUTORUN.INF at the root, then the game
# folder as it stands. Installs what it needs and builds Q7.EXE (i686, the
# product as shipped).
# Prints the image's SHA-256 on stdout; progress and warnings on stderr.
#
# Two runs with the same inputs give the same bytes: every date in the image
# (volume dates, file dates, the volume uuid) is SOURCE_DATE_EPOCH, taken
# from the last commit of these sources unless it is set.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

usage="usage: make_disc.sh GAME_DIR OUTPUT.iso [--picture IMAGE [--picture-option OPT]...] [--label NAME] [--x86-64 | --exe Q7.EXE]"
# A 700 MB (80 minute) CD-R holds 360,000 sectors of 2,048 bytes.
DISC_SECTORS=360000

die() { # exit-code message
    printf 'make_disc.sh: %s\n' "$2" >&2
    exit "$1"
}

game= out= picture= label=Q7 exe= arch=i686
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
  --label NAME    volume label: 1 to 16 of A-Z, 0-9 and _ (default Q7)
  --x86-64        build the x86_64 Q7.EXE instead, for a trial under a Wine
                  that runs only 64-bit programs; never ship such a disc
  --exe Q7.EXE    put this already built Q7.EXE on the disc instead of building
                  one (the tests use it for the build their Wine runs)
EOF
        exit 0
        ;;
    --picture | --picture-option | --label | --exe)
        [ $# -ge 2 ] || die 2 "$usage"
        case "$1" in
        --picture) picture=$2 ;;
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
[ -z "$exe" ] || { [ -z "$picture" ] && [ $arch = i686 ]; } ||
    die 2 "--exe takes a built Q7.EXE; --picture and --x86-64 are for building one"
[[ "$label" =~ ^[A-Z0-9_]{1,16}$ ]] || die 2 "--label $label: use 1 to 16 of A-Z, 0-9 and _"
readable() { [ -f "$1" ] && [ -r "$1" ] && head -c 1 "$1" >/dev/null 2>&1; }
[ -z "$picture" ] || readable "$picture" || die 1 "$picture: cannot be read"
[ -z "$exe" ] || readable "$exe" || die 1 "$exe: cannot be read"
[ -e "$game" ] || die 1 "$game: no such folder"
[ -d "$game" ] || die 1 "$game: not a folder"
[ ! -d "$out" ] || die 1 "$out: is a folder"
case "$(realpath -m "$out")/" in
"$(realpath "$game")"/*) die 1 "$out: inside $game, the image would go onto itself" ;;
esac

# The image is written beside OUTPUT and renamed over it when whole, so a
# failure at any point leaves OUTPUT as it was.
out_dir=$(dirname "$out")
[ -d "$out_dir" ] || die 1 "$out: cannot be written (no folder $out_dir)"
part=$(mktemp "$out_dir/.$(basename "$out").XXXXXX" 2>/dev/null) ||
    die 1 "$out: cannot be written (folder $out_dir refuses new files)"
stage=$(mktemp -d)
cleanup() { rm -rf "$part" "$stage"; }
trap cleanup EXIT
trap 'exit 130' INT TERM

export LC_ALL=C.UTF-8
install_only xorriso python3
if [ -z "$exe" ]; then
    case $arch in
    i686) install_only cmake make git g++-mingw-w64-i686-win32 binutils-mingw-w64-i686 ;;
    *) install_only cmake make git g++-mingw-w64-x86-64-win32 binutils-mingw-w64-x86-64 ;;
    esac
fi

log "checking $game"
read -r files bytes < <(python3 "$Q7_ROOT/tools/disc_tree.py" "$game") || exit 1
log "$files files, $bytes bytes"
# Each file takes whole sectors; a first refusal before anything is built.
if [ $((bytes / 2048)) -gt $DISC_SECTORS ]; then
    die 1 "$game: $bytes bytes do not fit a 700 MB disc ($((DISC_SECTORS * 2048)) bytes)"
fi

if [ -z "$exe" ] && [ -n "$picture" ]; then
    log "building Q7.EXE ($arch) with the title picture $picture"
    build_with_picture "disc-title-$arch" "$arch" "$picture" \
        ${picture_options[@]+"${picture_options[@]}"} || die 1 "building Q7.EXE with $picture failed"
    exe=$PICTURE_EXE
elif [ -z "$exe" ]; then
    mkdir -p "$Q7_BUILD"
    # The trees scripts/common.sh builds, so that a test run builds once.
    tree=win
    [ $arch = i686 ] || tree=win64
    log "building Q7.EXE ($arch)"
    build_tree "$tree" -DCMAKE_TOOLCHAIN_FILE="$Q7_ROOT/cmake/mingw-$arch.cmake" \
        -DCMAKE_BUILD_TYPE=Release >&2 || die 1 "building Q7.EXE failed"
    exe=$Q7_BUILD/$tree/launcher/Q7.EXE
fi

epoch=${SOURCE_DATE_EPOCH:-}
if [ -z "$epoch" ]; then
    epoch=$(git -C "$Q7_ROOT" log -1 --format=%ct 2>/dev/null) || epoch=
fi
if [ -z "$epoch" ]; then
    # Not a git checkout: the newest of the sources' own dates.
    epoch=$(find "$Q7_ROOT/launcher" "$Q7_ROOT/installer" "$Q7_ROOT/picture" "$Q7_ROOT/resources" \
        -type f -printf '%T@\n' | sort -n | tail -1 | cut -d. -f1)
fi
[[ "$epoch" =~ ^[0-9]+$ ]] || die 1 "SOURCE_DATE_EPOCH=$epoch: not a number of seconds"
export SOURCE_DATE_EPOCH=$epoch

cp "$exe" "$stage/Q7.EXE"
log "Q7.EXE: $(stat -c %s "$exe") bytes, SHA-256 $(sha256sum "$exe" | cut -d' ' -f1)"
printf '[autorun]\r\nopen=Q7.EXE\r\nicon=Q7.EXE\r\n' >"$stage/AUTORUN.INF"

# Rock Ridge with -r: every file read-only for whoever mounts the image on
# Unix, as Joliet makes them on Windows. Links in the folder are followed.
# In a graft point "=" separates the two paths; "\" escapes it.
game_graft=${game//\\/\\\\}
game_graft=${game_graft//=/\\=}
xorriso_args=(-as mkisofs -r -J -input-charset UTF-8 -follow-links
    -V "$label" --set_all_file_dates "=$epoch"
    -graft-points "/Q7.EXE=$stage/Q7.EXE" "/AUTORUN.INF=$stage/AUTORUN.INF" "/=$game_graft")

sectors=$(xorriso "${xorriso_args[@]}" -print-size 2>/dev/null | tail -1) ||
    die 1 "$game: xorriso cannot lay out the image"
[[ "$sectors" =~ ^[0-9]+$ ]] || die 1 "$game: xorriso cannot lay out the image"
if [ "$sectors" -gt $DISC_SECTORS ]; then
    die 1 "$game: the image needs $sectors sectors; a 700 MB disc holds $DISC_SECTORS"
fi

log "writing $sectors sectors"
# xorriso's chatter is dropped; its progress and its complaints are kept.
if ! xorriso "${xorriso_args[@]}" -o "$part" 2>&1 >/dev/null |
    sed -u -n -e 's/^xorriso : UPDATE : *\([0-9.]*% done\).*/==> writing: \1/p' \
        -e '/FAILURE\|SORRY\|FATAL\|WARNING\|MISHAP/p' >&2; then
    die 1 "$out: xorriso failed"
fi
[ "$(stat -c %s "$part")" -eq $((sectors * 2048)) ] || die 1 "$out: xorriso failed"
chmod "$(printf '%o' $((0666 & ~$(umask))))" "$part"
mv -f "$part" "$out" || die 1 "$out: cannot be written"
sha256sum "$out"
