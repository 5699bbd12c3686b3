# The Wine test environment of demo.sh, test.sh and the benchmarks: the
# Wine that runs Q7.EXE here, Xvfb, throwaway prefixes with a small drive
# and a CD-ROM drive. Sources helpers.sh (messages, packages, builds, game
# folders); source it, and it sets -e -u -o pipefail.
source "$(dirname "${BASH_SOURCE[0]}")/helpers.sh"

# i386 Linux programs (the 32-bit Wine loader) do not run on every kernel;
# where they do not, the 64-bit Wine runs the x86_64 build of the same
# sources, and the product itself is still built and checked as i686.
host_runs_i386() {
    [ -x /usr/lib/wine/wine ] || return 1
    /usr/lib/wine/wine --version >/dev/null 2>&1
}

# build_product: builds Q7.EXE as shipped (i686), and the x86_64 one where
# this host's Wine cannot run it; sets WINE_BUILD (the tree Wine runs),
# WINE_BIN and WINE_ARCH.
build_product() {
    mkdir -p "$Q7_BUILD"
    log "building Q7.EXE (i686)"
    build_exe i686
    log "wrote $(report_exe "$BUILT_EXE")"
    if host_runs_i386; then
        WINE_BIN=/usr/lib/wine/wine
        WINE_ARCH=win32
    else
        log "this kernel does not run i386 programs: Wine runs the x86_64 build of the same sources"
        build_exe x86_64
        log "wrote $(report_exe "$BUILT_EXE")"
        WINE_BIN=/usr/lib/wine/wine64
        WINE_ARCH=win64
    fi
    WINE_BUILD=${BUILT_EXE%/launcher/Q7.EXE}
    export WINE_BUILD WINE_BIN WINE_ARCH
}

# Starts Xvfb on a free display (demo.sh, given a display, does not call
# it); sets DISPLAY and XVFB_PID, which stop_wine ends.
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

# Drive S: mapped to one folder, as `subst S: "C:\q7t\Subst Folder"` maps
# it: a scenario that installs into that folder reaches it again by a second
# drive letter. The folder is the scenario's to make. Sets Q7_SUBST_DRIVE
# and Q7_SUBST_FOLDER.
add_subst_drive() {
    local name="Subst Folder"
    ln -s "../drive_c/q7t/$name" "$WINEPREFIX/dosdevices/s:"
    export Q7_SUBST_DRIVE=S: Q7_SUBST_FOLDER="C:\\q7t\\$name"
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

# run_scenarios LOCALE Q7.EXE [filters...]: the Wine scenario driver
# (tests/wine) on Q7.EXE in a fresh prefix whose ANSI code page follows
# LOCALE, with the small drive, the subst drive and, with CDROM_IMAGE set,
# that disc image in its CD-ROM drive; removes the prefix after. The
# driver's report on stdout, closing with "N passed, N failed, N skipped";
# returns its status.
run_scenarios() {
    local locale=$1 exe=$2 rc=0
    shift 2
    log "Wine scenarios on $exe ($WINE_ARCH, $locale)"
    Q7_WINE_LOCALE=$locale start_wine
    add_small_drive
    add_subst_drive
    [ -z "${CDROM_IMAGE:-}" ] || add_cdrom_drive "$CDROM_IMAGE"
    "$WINE_BIN" "$WINE_BUILD/tests/wine/q7wine.exe" \
        --q7 "$(winpath "$exe")" \
        --engine "$(winpath "$WINE_BUILD/tools/standins/KBZ.EXE")" \
        --engine-manifest "$(winpath "$Q7_ROOT/resources/q7.manifest")" \
        ${Q7_CDROM_DRIVE:+--cdrom "$Q7_CDROM_DRIVE"} "$@" || rc=$?
    stop_wine_prefix
    return $rc
}
