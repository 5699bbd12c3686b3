#!/usr/bin/env bash
# The disc the Wine scenario runs the launcher from: GAME_DIR mastered by
# scripts/make_disc.sh with the given Q7.EXE (the build this host's Wine
# runs) into OUTPUT.iso, which scripts/check_disc.sh must call good.
# Usage: scenario_disc.sh GAME_DIR Q7.EXE OUTPUT.iso
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../lib.sh"
[ $# -eq 3 ] || { echo "usage: scenario_disc.sh GAME_DIR Q7.EXE OUTPUT.iso" >&2; exit 2; }
scripts=$here/../../scripts

if bash "$scripts/make_disc.sh" "$1" "$3" --exe "$2" >/dev/null && bash "$scripts/check_disc.sh" "$3"; then
    pass "mastered with $(basename "$2") for Wine, and checked"
else
    fail "mastered with $(basename "$2") for Wine, and checked"
fi
summary
