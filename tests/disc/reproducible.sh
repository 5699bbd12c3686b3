#!/usr/bin/env bash
# scripts/make_disc.sh gives the same bytes twice: GAME_DIR mastered, then a
# fresh copy of it with other file dates mastered into another file, and
# the two images compared byte for byte. Builds Q7.EXE (i686) as a
# publisher's run does, or takes the build already there.
# Usage: reproducible.sh GAME_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../lib.sh"
[ $# -eq 1 ] && [ -d "$1" ] || { echo "usage: reproducible.sh GAME_DIR" >&2; exit 2; }
game=$(realpath "$1")
make_disc=$here/../../scripts/make_disc.sh
# Outside the build folder, where a run that builds writes nothing.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cp -r "$game" "$work/copy"
touch -d '2001-02-03 04:05:06' "$work/copy/DATA.DAT"
if bash "$make_disc" "$game" "$work/disc-1.iso" && bash "$make_disc" "$work/copy" "$work/disc-2.iso" &&
    cmp "$work/disc-1.iso" "$work/disc-2.iso"; then
    pass "mastered twice, from a copy with other file dates: the same bytes"
else
    fail "mastered twice, from a copy with other file dates: the same bytes"
fi
summary
