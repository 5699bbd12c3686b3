#!/usr/bin/env bash
# Reads a disc image, or a burned disc in its drive, and checks it against
# what make_disc.sh recorded on it: the MD5 checksum of the whole session,
# one for every file, and the Joliet tree (the names and data Windows
# reads) against the checked ISO 9660 tree. Installs what it needs.
#   bash scripts/check_disc.sh IMAGE_OR_DEVICE
# Prints each damaged, unreadable or differing file by its path on the disc
# and exits 1; prints a one-line summary and exits 0 when every file matches.
# An image that holds no checksums, more than one session, or is cut short,
# is refused, never called good, and the message says why (exit 1). One
# whose trees the reader cannot finish reading is refused with "cannot be
# read as a disc image: ..." and exit 3. Progress on stderr.
source "$(dirname "${BASH_SOURCE[0]}")/helpers.sh"

usage="usage: check_disc.sh IMAGE_OR_DEVICE"

case "${1:-}" in
--help | -h)
    cat <<EOT
$usage
  IMAGE_OR_DEVICE  an image made by make_disc.sh, or the drive holding the
                   burned disc (for example /dev/sr0)
Checks the checksum recorded for the whole disc, compares every file with
the MD5 checksum recorded for it, checks that the names and data Windows
reads (the Joliet tree) are those of the checked files, that Windows reads
every name and record as it is, and that every file lies inside what the
checksum covers, and names each file that lies in sectors the drive cannot
read. Exits 0 when all is well, 1 naming each fault or the reason for a
refusal, 3 when the image cannot be read as one to the end.
EOT
    exit 0
    ;;
-*) die 2 "$usage" ;;
esac
[ $# -eq 1 ] || die 2 "$usage"
src=$1
[ -e "$src" ] || die 1 "$src: no such file or device"
{ [ -f "$src" ] || [ -b "$src" ]; } || die 1 "$src: not an image file or a disc drive"
[ -r "$src" ] || die 1 "$src: cannot be read (no permission)"

# A file is read as an image, even under /dev (/dev/shm), where xorriso
# would otherwise look for a drive.
dev=$src
[ ! -f "$src" ] || dev=stdio:$src
export LC_ALL=C.UTF-8
install_only xorriso python3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
trap 'exit 130' INT TERM

# Each fault goes to stdout as "PATH: what is wrong"; bad counts them.
bad=0
fault() {
    printf '%s\n' "$@"
    bad=$((bad + $#))
}
faults_from() { # FILE: its lines, each a fault
    local line
    while IFS= read -r line; do fault "$line"; done <"$1"
}
unquote() { sed -e "s/^'//" -e "s/'\$//" -e "s/'\"'\"'/'/g"; }
complaints='FAILURE\|SORRY\|FATAL\|MISHAP'
# Checksums on, but a damaged tree is still loaded, so that the faults can
# be named rather than the image only refused.
md5=(-md5 on -md5 load_check_off)
# die_with_complaints LOG MESSAGE [STATUS]: xorriso's complaints in LOG, if
# it made any, then MESSAGE and exit STATUS (1).
die_with_complaints() {
    if grep "$complaints" "$1" >&2; then
        die "${3:-1}" "$2 (xorriso's complaints above)"
    fi
    die "${3:-1}" "$2 (xorriso gave no reason)"
}

# First what the image is: an empty, foreign or cut-short file is named as
# such here, and the two trees are compared record by record.
log "reading the directory trees of $src"
rc=0
python3 "$Q7_ROOT/tools/disc/disc_image.py" --data-end "$work/data_end" "$src" >"$work/trees" \
    2>"$work/trees.err" || rc=$?
case $rc in
0 | 4) ;; # the trees compared, the faults (if any) listed
3)
    printf '%s: ' "$(basename "$0")" >&2
    cat "$work/trees.err" >&2
    exit 1
    ;;
*)
    # The reader stopped (its own fault, or killed): what it compared so
    # far is not a comparison, and the image is not called good or bad.
    grep -v ': cannot be read as a disc image: ' "$work/trees.err" >&2 || true
    reason=$(sed -n 's/^.*: cannot be read as a disc image: //p' "$work/trees.err" | head -1)
    die 3 "$src: cannot be read as a disc image: ${reason:-the tree reader stopped (exit $rc) before it finished}"
    ;;
esac
data_end=$(cat "$work/data_end")

# Then every sector once: the drive's unreadable ones, and the checksum
# make_disc.sh recorded for the session (descriptors, both trees, all data).
log "reading every sector of $src"
xorriso -abort_on NEVER "${md5[@]}" -indev "$dev" -toc -check_media retry=on -- 2>&1 | tee "$work/media" |
    sed -u -n 's/^xorriso : UPDATE : *\([0-9]*\) blocks read in.*/==> read \1 sectors/p' >&2 || true
sessions=$(sed -n 's/^Media summary: *\([0-9]*\) session.*/\1/p' "$work/media" | head -1)
# A session added to an image file leaves a copy of its descriptors at the
# start and a tag that covers only the later session.
if [ "${sessions:-1}" -gt 1 ] ||
    grep -q 'relocated 64kB superblock tag\|session tag which covers different data range' "$work/media"; then
    die 1 "$src: holds more than one session: it was written to again after make_disc.sh made it (files may have been added, removed or replaced), so it is not the disc make_disc.sh made; master and burn it again"
fi
if [ -z "$sessions" ]; then
    faults_from "$work/trees"
    die_with_complaints "$work/media" "$src: cannot be read as a disc image" 3
fi
# "Media region : START , COUNT , - unreadable"; "MD5 tag range: 0 , SIZE , ..."
sed -n 's/^Media region *: *\([0-9]*\) *, *\([0-9]*\) *, *-.*/\1 \2/p' "$work/media" >"$work/unreadable"
session_end=$(sed -n 's/^MD5 tag range *: *0 *, *\([0-9]*\) *,.*/\1/p' "$work/media" | head -1)
if [ -s "$work/unreadable" ]; then
    python3 "$Q7_ROOT/tools/disc/disc_image.py" --files-in "$src" <"$work/unreadable" >"$work/hit" 2>/dev/null || true
    while IFS= read -r path; do
        fault "$path: unreadable (lies in sectors the drive cannot read)"
    done <"$work/hit"
    if [ ! -s "$work/hit" ]; then
        while read -r start count; do
            sectors="sectors $start to $((start + count - 1))"
            [ "$count" -ne 1 ] || sectors="sector $start"
            # The padding after the session's checksum tag holds nothing.
            if [ -n "$session_end" ] && [ "$start" -gt "$session_end" ]; then
                log "warning: $sectors cannot be read: padding past everything the disc records, no file affected"
            else
                fault "$sectors: unreadable (no file's data lies there, but the disc's descriptors, folders or checksums do)"
            fi
        done <"$work/unreadable"
    fi
fi
session=none
if grep -q 'Found matching MD5 session tag: start=0 ' "$work/media"; then
    session=match
elif grep -q 'NON-MATCHING MD5 session tag' "$work/media"; then
    session=differs
elif grep -q 'Missing announced MD5 tag' "$work/media"; then
    session=short
fi
[ $session != short ] || die 1 "$src: is cut short: it ends before its checksum record (a short burn or an unfinished copy)"
faults_from "$work/trees"
# What the session's checksum vouches for ends at its tag: a file or folder
# whose records lead past it would pass unchecked.
if [ -n "$session_end" ] && [ "$data_end" -gt "$session_end" ]; then
    rc=0
    python3 "$Q7_ROOT/tools/disc/disc_image.py" --files-in "$src" <<<"$session_end $((data_end - session_end))" \
        >"$work/outside" 2>"$work/outside.err" || rc=$?
    [ $rc -eq 0 ] && [ -s "$work/outside" ] || {
        cat "$work/outside.err" >&2
        die 3 "$src: cannot be read as a disc image: its records lead past sector $session_end, the end of what its checksum covers, and the files there cannot be named"
    }
    while IFS= read -r path; do
        fault "$path: its data lies past sector $session_end, outside what the disc's checksum covers"
    done <"$work/outside"
fi

# xorriso quotes the paths it prints: '...', each ' written as '"'"', and
# reads them back the same way.
tree() { # FIND-TESTS...: the files that pass them, one quoted path a line
    xorriso "${md5[@]}" -indev "$dev" -find / -type f "$@" -- 2>>"$work/log" | grep "^'" || true
}
log "reading the files and checksums of $src"
tree >"$work/files"
files=$(wc -l <"$work/files")
if [ "$files" -eq 0 ]; then
    grep -q 'Checksum mismatch' "$work/log" &&
        die 1 "$src: its descriptors or directory records are damaged (they do not match the checksum recorded for them); master and burn it again"
    die_with_complaints "$work/log" "$src: no file of it can be read"
fi
tree -not -has_md5 >"$work/unsummed"
if [ "$(wc -l <"$work/unsummed")" -eq "$files" ]; then
    if grep -q 'checksum array appears damaged' "$work/log"; then
        die 1 "$src: its checksum record is damaged (the checksums recorded for the files fail their own check), so no file can be checked; master and burn it again"
    fi
    [ $session = none ] ||
        die 1 "$src: its checksum record is damaged or missing, though the disc announces one; master and burn it again"
    die 1 "$src: holds no checksums (made without them, not by make_disc.sh); it cannot be checked"
fi
while IFS= read -r path; do
    fault "$path: has no recorded checksum"
done < <(unquote <"$work/unsummed")

# The session's checksum covers every byte of every file: when it matches,
# each file is as it was written. Otherwise each file is read again and
# compared with its own checksum, to name the damaged ones.
if [ $session = match ]; then
    if [ "$bad" -gt 0 ]; then
        die 1 "$src: $bad fault$([ "$bad" -eq 1 ] || echo s) (above); the files' data matches the checksum recorded for the disc"
    fi
    printf '%s: all %d files match their recorded checksums, on the ISO 9660 and the Joliet tree\n' "$src" "$files"
    exit 0
fi
# One load of the tree, then each file read and compared in turn, so that a
# full disc shows its progress. The paths go to xorriso in batches, one a
# line of a file it reads (it takes lines of up to 4,095 bytes), never on
# one command line, however many files there are.
awk -v max=3000 '
    function flush() { if (n) print "-check_md5 SORRY" line " --"; line = ""; n = 0 }
    { if (length(line) + length($0) > max) flush(); line = line " " $0; n++ }
    END { flush() }' "$work/files" >"$work/batches"
done_files=0 shown=$SECONDS
while IFS= read -r line; do
    case "$line" in
    "md5 match"*) ;;
    "MD5 MISMATCH: "*)
        fault "$(unquote <<<"${line#MD5 MISMATCH: }"): damaged (does not match its recorded checksum)"
        ;;
    *) continue ;;
    esac
    done_files=$((done_files + 1))
    if [ "$SECONDS" -ne "$shown" ] || [ "$done_files" -eq "$files" ]; then
        log "checked $done_files of $files files"
        shown=$SECONDS
    fi
done < <(xorriso -abort_on NEVER "${md5[@]}" -iso_rr_pattern off -indev "$dev" \
    -options_from_file "$work/batches" 2>>"$work/log")
if [ "$bad" -gt 0 ]; then
    die 1 "$src: $bad fault$([ "$bad" -eq 1 ] || echo s): files damaged, unreadable, unchecked or not as Windows reads them (above)"
fi
if [ "$done_files" -ne "$files" ]; then
    die_with_complaints "$work/log" "$src: cannot be read to the end"
fi
[ $session != none ] ||
    die 1 "$src: every file matches its checksum, but it records no checksum for the whole disc (not made by make_disc.sh), so its descriptors and folders cannot be checked"
die 1 "$src: every file matches its checksum, but the checksum recorded for the whole disc does not: bytes outside the files' data (its descriptors or directory records) were changed; master and burn it again"
