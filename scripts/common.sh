# Shared by scripts/demo.sh and scripts/test.sh: installs what is missing,
# builds, and prepares Wine. Source it; it sets -e -u -o pipefail.
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

# file_id PATH: the file PATH names, however it is spelled: the device and
# inode of an existing file (through links, hard links included), else the
# resolved folder and name of a file yet to be written.
file_id() {
    if [ -e "$1" ]; then
        stat -L -c 'file %d:%i' -- "$1"
    else
        printf 'new %s' "$(realpath -m -- "$1")"
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
# program for that processor; otherwise what it is instead, and status 1.
# Reads the headers only (od), so it needs nothing installed.
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
    case "$machine:$magic" in
    014c:010b) echo i386 ;;
    8664:020b) echo x86_64 ;;
    *) echo "a Windows program for another processor (machine 0x$machine), not i386"; return 1 ;;
    esac
}

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# i386 Linux programs (the 32-bit Wine loader) do not run on every kernel;
# where they do not, the 64-bit Wine runs the x86_64 build of the same
# sources, and the product itself is still built and checked as i686.
host_runs_i386() {
    [ -x /usr/lib/wine/wine ] || return 1
    /usr/lib/wine/wine --version >/dev/null 2>&1
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

install_packages() {
    local want=(cmake g++ make python3 git clang libclang-rt-14-dev libgtest-dev libbenchmark-dev
        zlib1g-dev liblz4-dev clang-format mingw-w64 g++-mingw-w64-i686-win32
        g++-mingw-w64-x86-64-win32 binutils-mingw-w64-i686 wine wine64 xvfb x11-apps
        imagemagick libmagick++-dev pkg-config fonts-ipafont-gothic fonts-wine locales xorriso fuseiso python3-fusepy)
    # wine32 comes from the i386 architecture, which apt must know first.
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        as_root dpkg --add-architecture i386
    fi
    install_only "${want[@]}" wine32:i386
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

# build_tree NAME [cmake args...]
build_tree() {
    local name=$1
    shift
    cmake -S "$Q7_ROOT" -B "$Q7_BUILD/$name" "$@" >"$Q7_BUILD/$name.configure.log" 2>&1 ||
        { cat "$Q7_BUILD/$name.configure.log"; return 1; }
    cmake --build "$Q7_BUILD/$name" -j"$JOBS" >"$Q7_BUILD/$name.build.log" 2>&1 ||
        { tail -50 "$Q7_BUILD/$name.build.log"; return 1; }
}

# "PATH, N bytes, SHA-256 HEX": what a build wrote, to compare with a shipped copy.
report_exe() {
    printf '%s, %s bytes, SHA-256 %s' "$1" "$(stat -c %s "$1")" "$(sha256sum <"$1" | cut -d' ' -f1)"
}

build_product() {
    mkdir -p "$Q7_BUILD"
    log "building Q7.EXE (i686)"
    build_tree win -DCMAKE_TOOLCHAIN_FILE="$Q7_ROOT/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=Release
    log "wrote $(report_exe "$Q7_BUILD/win/launcher/Q7.EXE")"
    if host_runs_i386; then
        WINE_BUILD=$Q7_BUILD/win
        WINE_BIN=/usr/lib/wine/wine
        WINE_ARCH=win32
    else
        log "this kernel does not run i386 programs: Wine runs the x86_64 build of the same sources"
        build_tree win64 -DCMAKE_TOOLCHAIN_FILE="$Q7_ROOT/cmake/mingw-x86_64.cmake" -DCMAKE_BUILD_TYPE=Release
        log "wrote $(report_exe "$Q7_BUILD/win64/launcher/Q7.EXE")"
        WINE_BUILD=$Q7_BUILD/win64
        WINE_BIN=/usr/lib/wine/wine64
        WINE_ARCH=win64
    fi
    export WINE_BUILD WINE_BIN WINE_ARCH
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

# make_game_folder DIR SEED NAME=SIZE...: a fresh game folder holding the
# engine stand-in and files of SIZE random bytes (NAME may name a subfolder).
make_game_folder() {
    local dir=$1 seed=$2
    shift 2
    rm -rf "$dir"
    mkdir -p "$dir"
    cp "$WINE_BUILD/tools/KBZ.EXE" "$dir/"
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

# Starts Xvfb on a free display unless one is given; sets DISPLAY.
start_xvfb() {
    local n
    for n in $(seq 91 120); do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break
    done
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    XVFB_PID=$!
    export DISPLAY=":$n"
    local i
    for i in $(seq 1 100); do
        [ -e "/tmp/.X11-unix/X$n" ] && return 0
        sleep 0.1
    done
    log "Xvfb did not start"
    return 1
}

# A throwaway Wine prefix with a persistent wineserver; sets WINEPREFIX.
# The locale (Q7_WINE_LOCALE, Japanese by default) sets its ANSI code page.
start_wine() {
    export WINEDEBUG=-all LC_ALL=${Q7_WINE_LOCALE:-ja_JP.UTF-8} WINEARCH=$WINE_ARCH
    export WINEDLLOVERRIDES="mscoree,mshtml="
    WINEPREFIX=$(mktemp -d /tmp/q7-wine.XXXXXX)
    export WINEPREFIX
    log "creating Wine prefix $WINEPREFIX"
    "$WINE_BIN" wineboot -i >/dev/null 2>&1 || true
    wineserver -p >/dev/null 2>&1 || true
    # Without a window manager (Xvfb) Wine draws the title bars itself, and
    # unmanaged windows close at once instead of after waiting for one.
    "$WINE_BIN" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1 || true
    "$WINE_BIN" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
}

# A 2 MB drive R: on a tmpfs, for the full-disk scenario (needs root to
# mount); sets Q7_SMALL_DRIVE when it is there.
add_small_drive() {
    SMALL_DIR=$(mktemp -d /tmp/q7-small.XXXXXX)
    if as_root mount -t tmpfs -o size=2m tmpfs "$SMALL_DIR" 2>/dev/null; then
        ln -s "$SMALL_DIR" "$WINEPREFIX/dosdevices/r:"
        export Q7_SMALL_DRIVE=R:
    else
        log "cannot mount a tmpfs: the full-disk scenario will be skipped"
        rmdir "$SMALL_DIR"
        SMALL_DIR=
    fi
}

# add_cdrom_drive IMAGE: drive Q: of type CD-ROM holding the disc image,
# mounted read-only through FUSE; sets Q7_CDROM_DRIVE. Where FUSE is missing
# (or Q7_CDROM_NO_FUSE is set) Q: serves the image's files extracted into a
# folder whose files are read-only, says so, and sets Q7_CDROM_EXTRACTED.
add_cdrom_drive() {
    CDROM_DIR=$(mktemp -d /tmp/q7-cdrom.XXXXXX)
    if [ -z "${Q7_CDROM_NO_FUSE:-}" ] && [ -e /dev/fuse ] && fuseiso "$1" "$CDROM_DIR" 2>/dev/null &&
        mountpoint -q "$CDROM_DIR"; then
        CDROM_MOUNTED=1
        log "drive Q: (CD-ROM) is $1 mounted read-only through fuseiso"
    else
        CDROM_MOUNTED=
        log "no FUSE here: drive Q: (CD-ROM) serves the files of $1 extracted into a read-only folder"
        xorriso -osirrox on -indev "$1" -extract / "$CDROM_DIR" >/dev/null 2>&1 || {
            log "cannot extract $1"
            return 1
        }
        chmod -R a-w "$CDROM_DIR"
        export Q7_CDROM_EXTRACTED=1
    fi
    ln -s "$CDROM_DIR" "$WINEPREFIX/dosdevices/q:"
    "$WINE_BIN" reg add 'HKLM\Software\Wine\Drives' /v q: /d cdrom /f >/dev/null 2>&1
    # The mount manager reads the drive types when it starts.
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
    wineserver -p >/dev/null 2>&1 || true
    export Q7_CDROM_DRIVE=Q:
    start_cdrom_tray "$1"
}

# The tray of drive Q:, served while the prefix lives: the Wine driver takes
# the disc out or puts it back by renaming a file that holds "out" or "in"
# to C:\q7t\cdrom-tray.request, and waits until that file is gone. Out
# unmounts the image lazily, or moves the extracted files aside: files the
# launcher holds open stay readable, as what a drive has read ahead, while
# every new open fails and a search finds nothing. Sets Q7_CDROM_TRAY.
start_cdrom_tray() {
    local image=$1 request=$WINEPREFIX/drive_c/q7t/cdrom-tray.request
    (
        set +e
        while sleep 0.1; do
            [ -f "$request" ] || continue
            case "$(cat "$request" 2>/dev/null)" in
            out)
                if [ -n "$CDROM_MOUNTED" ]; then
                    ! mountpoint -q "$CDROM_DIR" || fusermount -u -z "$CDROM_DIR"
                elif [ ! -e "$CDROM_DIR.out" ]; then
                    mv "$CDROM_DIR" "$CDROM_DIR.out" && mkdir "$CDROM_DIR"
                fi
                ;;
            in)
                if [ -n "$CDROM_MOUNTED" ]; then
                    mountpoint -q "$CDROM_DIR" || fuseiso "$image" "$CDROM_DIR"
                elif [ -e "$CDROM_DIR.out" ]; then
                    rmdir "$CDROM_DIR" && mv "$CDROM_DIR.out" "$CDROM_DIR"
                fi
                ;;
            *) continue ;;
            esac
            rm -f "$request"
        done
    ) &
    CDROM_TRAY_PID=$!
    export Q7_CDROM_TRAY=1
}

# Ends the prefix's wineserver and removes the prefix, the small drive and
# the CD-ROM drive.
stop_wine_prefix() {
    if [ -n "${SMALL_DIR:-}" ]; then
        as_root umount "$SMALL_DIR" 2>/dev/null || true
        rmdir "$SMALL_DIR" 2>/dev/null || true
        SMALL_DIR=
    fi
    if [ -n "${WINEPREFIX:-}" ]; then
        wineserver -k >/dev/null 2>&1 || true
        rm -rf "$WINEPREFIX"
        WINEPREFIX=
    fi
    if [ -n "${CDROM_TRAY_PID:-}" ]; then
        kill "$CDROM_TRAY_PID" 2>/dev/null || true
        wait "$CDROM_TRAY_PID" 2>/dev/null || true
        CDROM_TRAY_PID=
    fi
    # After Wine has gone, so that nothing holds the disc's files open.
    if [ -n "${CDROM_DIR:-}" ]; then
        if [ -n "${CDROM_MOUNTED:-}" ]; then
            fusermount -u "$CDROM_DIR" 2>/dev/null || fusermount -u -z "$CDROM_DIR" 2>/dev/null || true
        else
            chmod -R u+w "$CDROM_DIR" "$CDROM_DIR.out" 2>/dev/null || true
            rm -rf "$CDROM_DIR" "$CDROM_DIR.out"
        fi
        rmdir "$CDROM_DIR" 2>/dev/null || true
        CDROM_DIR=
        unset Q7_CDROM_DRIVE Q7_CDROM_EXTRACTED Q7_CDROM_TRAY
    fi
}

# The same, and Xvfb.
stop_wine() {
    stop_wine_prefix
    if [ -n "${XVFB_PID:-}" ]; then
        kill "$XVFB_PID" 2>/dev/null || true
    fi
}

# Windows path of a host path, through Wine's Z: drive.
winpath() { printf 'Z:%s' "$(realpath "$1" | tr / '\\\\')"; }
