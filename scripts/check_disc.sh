#!/usr/bin/env bash
# Reads a disc image, or a burned disc in its drive, and compares every file
# with the MD5 checksum make_disc.sh recorded for it. Installs what it needs.
#   bash scripts/check_disc.sh IMAGE_OR_DEVICE
# Prints each damaged or unreadable file by its path on the disc and exits 1;
# prints a one-line summary and exits 0 when every file matches. An image
# that holds no checksums is refused, never called good. Progress on stderr.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

usage="usage: check_disc.sh IMAGE_OR_DEVICE"

case "${1:-}" in
--help | -h)
    cat <<EOF
$usage
  IMAGE_OR_DEVICE  an image made by make_disc.sh, or the drive holding the
                   burned disc (for example /dev/sr0)
Compares every file with the MD5 checksum recorded on the disc.
EOF
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
install_only xorriso
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
trap 'exit 130' INT TERM

unquote() { sed -e "s/^'//" -e "s/'\$//" -e "s/'\"'\"'/'/g"; }
complaints='FAILURE\|SORRY\|FATAL\|MISHAP'
# xorriso quotes the paths it prints: '...', each ' written as '"'"'.
tree() { # FIND-TESTS...: the files that pass them, one path a line
    xorriso -md5 on -indev "$dev" -find / -type f "$@" -- 2>>"$work/log" | grep "^'" | unquote || true
}
log "reading the files and checksums of $src"
tree >"$work/files"
files=$(wc -l <"$work/files")
if [ "$files" -eq 0 ]; then
    grep "$complaints" "$work/log" >&2 || true
    die 1 "$src: cannot be read as a disc image (above)"
fi
tree -not -has_md5 >"$work/unsummed"
if [ "$(wc -l <"$work/unsummed")" -eq "$files" ]; then
    die 1 "$src: holds no checksums (made without them, not by make_disc.sh); it cannot be checked"
fi

# One load of the tree, then each file read and compared in turn, so that a
# full disc shows its progress. Names are taken as they are, not as patterns.
args=(-abort_on NEVER -md5 on -iso_rr_pattern off -indev "$dev")
while IFS= read -r path; do
    args+=(-check_md5 SORRY "$path" --)
done <"$work/files"
bad=0 done_files=0 shown=$SECONDS
while IFS= read -r line; do
    case "$line" in
    "md5 match"*) ;;
    "MD5 MISMATCH: "*)
        printf '%s: damaged (does not match its recorded checksum)\n' "$(unquote <<<"${line#MD5 MISMATCH: }")"
        bad=$((bad + 1))
        ;;
    *) continue ;;
    esac
    done_files=$((done_files + 1))
    if [ "$SECONDS" -ne "$shown" ] || [ "$done_files" -eq "$files" ]; then
        log "checked $done_files of $files files"
        shown=$SECONDS
    fi
done < <(xorriso "${args[@]}" 2>>"$work/log")
while IFS= read -r path; do
    printf '%s: has no recorded checksum\n' "$path"
    bad=$((bad + 1))
done <"$work/unsummed"
# A file the drive cannot read is named in xorriso's complaint about it.
while IFS= read -r path; do
    printf '%s: unreadable\n' "$path"
    bad=$((bad + 1))
done < <(grep "$complaints" "$work/log" | grep -v 'MD5 comparison mismatch' |
    grep -o "'/.*'" | unquote | sort -u)
if [ "$bad" -gt 0 ]; then
    die 1 "$src: $bad of $files files damaged, unreadable or unchecked"
fi
if [ "$done_files" -ne "$files" ]; then
    grep "$complaints" "$work/log" >&2 || true
    die 1 "$src: cannot be read to the end (above)"
fi
printf '%s: all %d files match their recorded checksums\n' "$src" "$files"
