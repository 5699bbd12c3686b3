# General helpers of every script here and of the benchmarks: messages,
# packages (every one the demo, the tests and the benchmarks use), builds of
# Q7.EXE (plain or with a publisher's picture), the checks of files a
# publisher names, and the game folders of the demo and the tests. The Wine test environment of demo.sh,
# test.sh and the benchmarks is in wine_env.sh, which sources this file.
# Source it; it sets -e -u -o pipefail.
set -euo pipefail

Q7_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
Q7_BUILD=${Q7_BUILD:-$Q7_ROOT/build}
JOBS=$(nproc 2>/dev/null || echo 2)

log() { printf '==> %s\n' "$*" >&2; }

# die EXIT-CODE MESSAGE: the script's name and the message on stderr, then
# the exit (2 for a wrong call, 1 for a failure).
die() {
    printf '%s: %s\n' "$(basename "$0")" "$2" >&2
    exit "$1"
}

# keep VAR COMMAND...: sets VAR to COMMAND's output less its one closing
# newline, byte for byte; a plain $(...) drops every closing newline, and
# with them those that end a file's name. COMMAND's status is kept's.
keep() {
    local _out
    _out=$(
        "${@:2}"
        s=$?
        echo .
        exit $s
    ) || return
    _out=${_out%.}
    printf -v "$1" '%s' "${_out%$'\n'}"
}

# file_id PATH: the file PATH names, however it is spelled: the device and
# inode of an existing file (through links, hard links included), else the
# resolved folder and name of a file yet to be written.
file_id() {
    if [ -e "$1" ]; then
        stat -L -c 'file %d:%i' -- "$1"
    else
        local real
        keep real realpath -m -- "$1"
        printf 'new %s' "$real"
    fi
}

# distinct_files LABEL PATH [LABEL PATH]...: exits 2, naming both, when two
# of the paths (empty ones left out) are one file, since writing one would
# replace the other. Run it before anything is written.
distinct_files() {
    local labels=() paths=() ids=() i j
    while [ $# -ge 2 ]; do
        if [ -n "$2" ]; then
            labels+=("$1") paths+=("$2") ids+=("$(file_id "$2")")
        fi
        shift 2
    done
    for ((i = 0; i < ${#ids[@]}; i++)); do
        for ((j = i + 1; j < ${#ids[@]}; j++)); do
            [ "${ids[i]}" != "${ids[j]}" ] ||
                die 2 "${labels[i]} ${paths[i]} and ${labels[j]} ${paths[j]} are one file: writing one would replace the other; name another file (nothing written)"
        done
    done
}

# exe_kind FILE: "i386" or "x86_64" on stdout when FILE is a Windows GUI
# program for that processor whose sections are whole; otherwise what it is
# instead, and status 1. Reads with od, so it needs nothing installed.
exe_kind() {
    local f=$1 pe machine chars magic subsystem
    [ "$(head -c 2 -- "$f" 2>/dev/null | od -An -t x1 | tr -d ' ')" = 4d5a ] ||
        { echo "not a Windows program (no MZ header)"; return 1; }
    pe=$(od -An --endian=little -t u4 -j 60 -N 4 -- "$f" 2>/dev/null | tr -d ' ')
    [ -n "$pe" ] && [ "$(od -An -t x1 -j "$pe" -N 4 -- "$f" 2>/dev/null | tr -d ' ')" = 50450000 ] ||
        { echo "not a Windows program (an MS-DOS program or damaged: no PE header)"; return 1; }
    machine=$(od -An --endian=little -t x2 -j $((pe + 4)) -N 2 -- "$f" 2>/dev/null | tr -d ' ')
    chars=$(od -An --endian=little -t u2 -j $((pe + 22)) -N 2 -- "$f" 2>/dev/null | tr -d ' ')
    magic=$(od -An --endian=little -t x2 -j $((pe + 24)) -N 2 -- "$f" 2>/dev/null | tr -d ' ')
    subsystem=$(od -An --endian=little -t u2 -j $((pe + 24 + 68)) -N 2 -- "$f" 2>/dev/null | tr -d ' ')
    [ -n "$subsystem" ] || { echo "a damaged Windows program (its headers are cut short)"; return 1; }
    # IMAGE_FILE_EXECUTABLE_IMAGE set, IMAGE_FILE_DLL clear.
    [ $((chars & 0x2002)) -eq 2 ] || { echo "a Windows library (DLL) or object, not a program"; return 1; }
    case "$subsystem" in
    2) ;;
    3) echo "a Windows console program, not a GUI program"; return 1 ;;
    *) echo "a Windows program of subsystem $subsystem, not a GUI program"; return 1 ;;
    esac
    local kind
    case "$machine:$magic" in
    014c:010b) kind=i386 ;;
    8664:020b) kind=x86_64 ;;
    *) echo "a Windows program for another processor (machine 0x$machine), not i386"; return 1 ;;
    esac
    pe_sections_whole "$f" "$pe" || return 1
    echo "$kind"
}

# le_number FILE BYTES OFFSET: the unsigned little-endian number of BYTES
# bytes at OFFSET in FILE; empty past its end.
le_number() { od -An --endian=little -t "u$2" -j "$3" -N "$2" -- "$1" 2>/dev/null | tr -d ' '; }

# pe_sections_whole FILE PE-OFFSET: status 0 when FILE's section table is one
# Windows loads: the table inside the headers, every section's data inside
# the file, its place in memory after the headers, in order and inside the
# image, and the entry point inside a section. Otherwise what is wrong on
# stdout. A program cut short keeps headers that read well; only this tells.
pe_sections_whole() {
    local f=$1 pe=$2 size n opt table headers falign salign image entry i s name
    local vsize va raw ptr next=0 in_section=0
    size=$(stat -L -c %s -- "$f")
    n=$(le_number "$f" 2 $((pe + 6)))
    opt=$((pe + 24))
    table=$((opt + $(le_number "$f" 2 $((pe + 20)))))
    entry=$(le_number "$f" 4 $((opt + 16)))
    salign=$(le_number "$f" 4 $((opt + 32)))
    falign=$(le_number "$f" 4 $((opt + 36)))
    image=$(le_number "$f" 4 $((opt + 56)))
    headers=$(le_number "$f" 4 $((opt + 60)))
    [ -n "$headers" ] || { echo "a damaged Windows program (its headers are cut short)"; return 1; }
    [ "$n" -ge 1 ] && [ "$n" -le 96 ] ||
        { echo "a damaged Windows program ($n sections; a program has 1 to 96)"; return 1; }
    # Alignments are powers of two, the file's at least 512 unless both are
    # below a page, and the memory's never below the file's.
    if [ "$falign" -eq 0 ] || [ $((falign & (falign - 1))) -ne 0 ] || [ "$salign" -lt "$falign" ] ||
        [ $((salign & (salign - 1))) -ne 0 ] || { [ "$falign" -lt 512 ] && [ "$salign" -ne "$falign" ]; }; then
        echo "a damaged Windows program (alignments $salign in memory, $falign in the file)"
        return 1
    fi
    [ $((table + 40 * n)) -le "$headers" ] && [ "$headers" -le "$size" ] ||
        { echo "a damaged Windows program (its section table lies outside its $headers bytes of headers, or past the file's end at $size bytes)"; return 1; }
    next=$(((headers + salign - 1) / salign * salign))
    for ((i = 0; i < n; i++)); do
        s=$((table + 40 * i))
        name=$(head -c $((s + 8)) -- "$f" | tail -c 8 | tr -d '\0' | tr -c '[:print:]' '?')
        vsize=$(le_number "$f" 4 $((s + 8))) va=$(le_number "$f" 4 $((s + 12)))
        raw=$(le_number "$f" 4 $((s + 16))) ptr=$(le_number "$f" 4 $((s + 20)))
        # The loader maps a section's data whole; data past the end is a file cut short.
        if [ "$raw" -gt 0 ] && [ $((ptr + raw)) -gt "$size" ]; then
            echo "a damaged Windows program (cut short? section $name's data, bytes $ptr to $((ptr + raw)), lies past the file's end at $size bytes)"
            return 1
        fi
        [ "$vsize" -gt 0 ] || vsize=$raw
        if [ "$va" -lt "$next" ] || [ $((va + vsize)) -gt "$image" ]; then
            echo "a damaged Windows program (section $name at $va overlaps the headers or the section before it, or ends past the image's $image bytes)"
            return 1
        fi
        [ "$entry" -lt "$va" ] || [ "$entry" -ge $((va + vsize)) ] || in_section=1
        next=$(((va + vsize + salign - 1) / salign * salign))
    done
    [ "$in_section" -eq 1 ] ||
        { echo "a damaged Windows program (its entry point $entry lies in none of its sections)"; return 1; }
}

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# install_only PACKAGE...: installs those of the packages that are missing,
# for scripts that need less than the whole set.
install_only() {
    local missing=()
    local p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -gt 0 ] || return 0
    log "installing: ${missing[*]}"
    # Another apt on the machine may hold the lock for a while: wait for it.
    as_root apt-get -o DPkg::Lock::Timeout=900 update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900 \
        install -y -qq "${missing[@]}" >/dev/null
}

# build_tree NAME [cmake args...]: configures and builds the tree
# $Q7_BUILD/NAME, its logs beside it; when either step fails, the end of
# its log on stdout and status 1.
build_tree() {
    local name=$1
    shift
    cmake -S "$Q7_ROOT" -B "$Q7_BUILD/$name" "$@" >"$Q7_BUILD/$name.configure.log" 2>&1 ||
        { cat "$Q7_BUILD/$name.configure.log"; return 1; }
    cmake --build "$Q7_BUILD/$name" -j"$JOBS" >"$Q7_BUILD/$name.build.log" 2>&1 ||
        { tail -50 "$Q7_BUILD/$name.build.log"; return 1; }
}

# "N bytes, SHA-256 HEX": a file's size and digest, to compare with a shipped copy.
size_and_sum() {
    printf '%s bytes, SHA-256 %s' "$(stat -c %s "$1")" "$(sha256sum <"$1" | cut -d' ' -f1)"
}

# "PATH, N bytes, SHA-256 HEX": what a build wrote.
report_exe() {
    printf '%s, %s' "$1" "$(size_and_sum "$1")"
}

# product_tree ARCH: the build tree under $Q7_BUILD of the plain Q7.EXE for
# ARCH (i686 or x86_64). make_disc.sh builds in the trees build_product
# (wine_env.sh) builds, so that a test run builds once.
product_tree() {
    case "$1" in
    i686) echo win ;;
    x86_64) echo win64 ;;
    *) return 1 ;;
    esac
}

# build_exe ARCH: builds the plain Q7.EXE for ARCH (i686 or x86_64) in its
# tree, the build's complaints on stdout when it fails; sets BUILT_EXE.
build_exe() {
    local tree
    tree=$(product_tree "$1") || return 1
    build_tree "$tree" -DCMAKE_TOOLCHAIN_FILE="$Q7_ROOT/cmake/mingw-$1.cmake" -DCMAKE_BUILD_TYPE=Release || return 1
    BUILT_EXE=$Q7_BUILD/$tree/launcher/Q7.EXE
}

# build_with_picture NAME ARCH IMAGE [converter options...]: converts IMAGE
# with make_title.sh (its report goes to stderr) and builds Q7.EXE for ARCH
# (i686 or x86_64) with it embedded, under $Q7_BUILD/NAME; sets PICTURE_EXE.
build_with_picture() {
    local dir=$Q7_BUILD/$1 arch=$2 image=$3
    shift 3
    mkdir -p "$dir"
    # A converter that exits 0 without writing (--help) must not leave the
    # build the picture of a run before.
    rm -f "$dir/backcg.bin"
    # After "--": a picture named "-x.png" is a file, not an option.
    bash "$Q7_ROOT/scripts/make_title.sh" "$@" -- "$image" "$dir/backcg.bin" >&2 || return 1
    [ -s "$dir/backcg.bin" ] || { log "$image: the picture converter wrote nothing"; return 1; }
    cmake -S "$Q7_ROOT" -B "$dir/build" -DCMAKE_TOOLCHAIN_FILE="$Q7_ROOT/cmake/mingw-$arch.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DQ7_BACKCG="$dir/backcg.bin" >"$dir/configure.log" 2>&1 &&
        cmake --build "$dir/build" --target q7 -j"$JOBS" >"$dir/build.log" 2>&1 ||
        { tail -n 30 "$dir/configure.log" "$dir/build.log" >&2; return 1; }
    PICTURE_EXE=$dir/build/launcher/Q7.EXE
    log "wrote $(report_exe "$PICTURE_EXE")"
    # Resource data lies whole in the program: the converted picture must be there.
    python3 -c 'import sys; sys.exit(open(sys.argv[1], "rb").read() not in open(sys.argv[2], "rb").read())' \
        "$dir/backcg.bin" "$PICTURE_EXE" || { log "$PICTURE_EXE does not hold $dir/backcg.bin"; return 1; }
}

# install_packages: everything demo.sh, test.sh and the benchmarks use, in
# one apt run: the toolchains and libraries of every build, the picture and
# disc tools, and Wine with what it needs here (an X server, fonts, locales).
install_packages() {
    local build=(cmake g++ make python3 git clang libclang-rt-14-dev libgtest-dev libbenchmark-dev
        zlib1g-dev liblz4-dev clang-format mingw-w64 g++-mingw-w64-i686-win32
        g++-mingw-w64-x86-64-win32 binutils-mingw-w64-i686
        imagemagick libmagick++-dev pkg-config fonts-ipafont-gothic xorriso python3-fusepy)
    local wine=(wine wine64 wine32:i386 xvfb x11-apps fonts-wine locales fuseiso)
    # wine32 comes from the i386 architecture, which apt must know first.
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        as_root dpkg --add-architecture i386
    fi
    install_only "${build[@]}" "${wine[@]}"
    # Wine takes its ANSI code page from the locale: 932 for the launcher's
    # own Japanese, 1252 for the scenarios of a Western system.
    local loc gen=0
    for loc in ja_JP fr_FR; do
        if ! locale -a 2>/dev/null | grep -qi "^$loc\.utf-\?8$"; then
            grep -q "^$loc.UTF-8 UTF-8" /etc/locale.gen 2>/dev/null ||
                echo "$loc.UTF-8 UTF-8" | as_root tee -a /etc/locale.gen >/dev/null
            gen=1
        fi
    done
    if [ "$gen" -eq 1 ]; then
        log "generating the ja_JP.UTF-8 and fr_FR.UTF-8 locales"
        as_root locale-gen >/dev/null
    fi
}

# make_game_folder DIR ENGINE SEED NAME=SIZE...: a fresh game folder for the
# demo and the tests, holding the engine ENGINE as KBZ.EXE and files of SIZE
# random bytes (NAME may name a subfolder).
make_game_folder() {
    local dir=$1 engine=$2 seed=$3
    shift 3
    rm -rf "$dir"
    mkdir -p "$dir"
    cp "$engine" "$dir/KBZ.EXE"
    python3 - "$dir" "$seed" "$@" <<'PY'
import os, random, sys
root, rng = sys.argv[1], random.Random(int(sys.argv[2]))
for entry in sys.argv[3:]:
    name, size = entry.rsplit("=", 1)
    path = os.path.join(root, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(rng.randbytes(int(size)))
PY
}
