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

# make_bench_set DIR [SUBDIR] fills DIR with the
# 200 MB mix of file sizes the install and disc benchmarks share:
# 1 x 100 MB, 4 x 20 MB, 50 x 300 KB (in SUBDIR when given), 200 x 20 KB,
# 100 x 1 KB and 5 empty files.
make_bench_set() {
    local dir=$1 sub=${2:+$2/} i
    [ -z "$sub" ] || mkdir -p "$dir/$sub"
    mk() { head -c "$2" /dev/urandom >"$dir/$1"; }
    mk HUGE.DAT 104857600
    for i in 1 2 3 4; do mk "LARGE$i.DAT" 20971520; done
    for i in $(seq 1 50); do mk "${sub}MID$i.DAT" 307200; done
    for i in $(seq 1 200); do mk "SMALL$i.DAT" 20480; done
    for i in $(seq 1 100); do mk "TINY$i.DAT" 1024; done
    for i in $(seq 1 5); do : >"$dir/EMPTY$i.DAT"; done
}
