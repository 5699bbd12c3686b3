# Sourced by the benchmarks.

# ram_folder NAME: a new folder on a RAM file system when there is one, so
# that a figure is the command's own and not the disk's.
ram_folder() {
    if [ -d /dev/shm ] && [ -w /dev/shm ]; then
        mktemp -d "/dev/shm/$1.XXXXXX"
    else
        mktemp -d
    fi
}

# bench_game NAME: HOST, a RAM folder (ram_folder NAME) removed when the
# script ends, and GAME, a game folder in it holding the mix of
# make_bench_set.
bench_game() {
    HOST=$(ram_folder "$1")
    trap 'rm -rf "$HOST"' EXIT
    GAME=$HOST/game
    make_bench_set "$GAME" DATA
}

# BENCH_SIZE=tiny: every set a few MB and one round, for the test suite's
# run, which shows only that each benchmark still runs to its end; its
# figures mean nothing.
tiny() { [ "${BENCH_SIZE:-}" = tiny ]; }

# make_bench_set DIR [SUBDIR] fills DIR with the
# 200 MB mix of file sizes the install and disc benchmarks share:
# 1 x 100 MB, 4 x 20 MB, 50 x 300 KB (in SUBDIR when given), 200 x 20 KB,
# 100 x 1 KB and 5 empty files (tiny: 1 x 4 MB, 4 x 64 KB, 3 of each other).
make_bench_set() {
    local dir=$1 sub=${2:+$2/} i huge=104857600 large=20971520 mid=50 small=200 few=100 empty=5
    if tiny; then huge=4194304 large=65536 mid=3 small=3 few=3 empty=3; fi
    [ -z "$sub" ] || mkdir -p "$dir/$sub"
    mk() { head -c "$2" /dev/urandom >"$dir/$1"; }
    mk HUGE.DAT $huge
    for i in 1 2 3 4; do mk "LARGE$i.DAT" $large; done
    for i in $(seq 1 $mid); do mk "${sub}MID$i.DAT" 307200; done
    for i in $(seq 1 $small); do mk "SMALL$i.DAT" 20480; done
    for i in $(seq 1 $few); do mk "TINY$i.DAT" 1024; done
    for i in $(seq 1 $empty); do : >"$dir/EMPTY$i.DAT"; done
}
