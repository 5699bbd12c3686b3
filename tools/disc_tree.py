#!/usr/bin/env python3
"""Checks a game folder before it goes on a disc image.

Usage: disc_tree.py GAME_DIR

Every name must survive the trip to a player's Japanese Windows: Joliet
holds at most 64 UCS-2 characters per name and none outside the Basic
Multilingual Plane, Windows refuses a few punctuation characters, and the
launcher reads names through the ANSI interface, so each must have a
Shift-JIS (code page 932) form that reads back as the same name. Two names that differ only in letter case
are one name to Windows.

Prints "FILES BYTES" (regular files below GAME_DIR and their total size) on
stdout. Exits 1 with one line per fault on stderr when something cannot go
on the disc; a missing KBZ.EXE is only a warning.
"""
import os
import stat
import sys

JOLIET_NAME_MAX = 64
FORBIDDEN = set('*/:;?\\<>"|')
# The image's own files at the root; the folder may not bring its own.
RESERVED = {"Q7.EXE", "AUTORUN.INF"}


def name_faults(name):
    try:
        text = os.fsdecode(name)
        text.encode("utf-8")
    except UnicodeError:
        return ["is not valid UTF-8"]
    faults = []
    if any(ord(c) > 0xFFFF for c in text):
        faults.append("has a character beyond what Joliet holds (outside UCS-2)")
    elif len(text) > JOLIET_NAME_MAX:
        faults.append(f"is {len(text)} characters long; Joliet holds at most {JOLIET_NAME_MAX}")
    bad = sorted({c for c in text if c in FORBIDDEN or ord(c) < 0x20})
    if bad:
        shown = " ".join(repr(c) for c in bad)
        faults.append(f"has characters that Joliet or Windows refuse: {shown}")
    # Some characters encode but come back as others (U+301C WAVE DASH comes
    # back as U+FF5E), and the launcher would then open a name not on disc.
    lost = []
    for c in text:
        try:
            if c.encode("cp932").decode("cp932") != c:
                lost.append(c)
        except UnicodeError:
            lost.append(c)
    if lost:
        shown = " ".join(f"{c!r} (U+{ord(c):04X})" for c in sorted(set(lost)))
        faults.append(f"has characters without an exact Shift-JIS (code page 932) form: {shown}")
    return faults


def main(argv):
    if len(argv) != 2:
        print("usage: disc_tree.py GAME_DIR", file=sys.stderr)
        return 2
    root = argv[1]
    errors = []
    files = 0
    total = 0
    seen_dirs = set()
    for here, dirs, names in os.walk(root, followlinks=True, onerror=lambda e: errors.append(
            f"{e.filename}: cannot be read ({e.strerror})")):
        real = os.path.realpath(here)
        if real in seen_dirs:
            errors.append(f"{here}: a link back into the folder (a loop)")
            dirs[:] = []
            continue
        seen_dirs.add(real)
        folded = {}
        for name in sorted(dirs + names):
            path = os.path.join(here, name)
            for fault in name_faults(name):
                errors.append(f"{path}: the name {fault}")
            key = name.casefold()
            if key in folded:
                errors.append(f"{path}: differs from {folded[key]} only in letter case")
            folded[key] = name
            if here == root and name.upper() in RESERVED:
                errors.append(f"{path}: the image brings its own {name.upper()}; "
                              "remove this one from the game folder")
        for name in names:
            path = os.path.join(here, name)
            try:
                st = os.stat(path)
            except OSError as e:
                errors.append(f"{path}: cannot be read ({e.strerror})")
                continue
            if stat.S_ISDIR(st.st_mode):
                continue  # a link to a folder; os.walk lists it under dirs
            if not stat.S_ISREG(st.st_mode):
                errors.append(f"{path}: not a plain file or folder")
                continue
            if not os.access(path, os.R_OK):
                errors.append(f"{path}: cannot be read (no permission)")
            files += 1
            total += st.st_size
    for e in errors:
        print(e, file=sys.stderr)
    if errors:
        return 1
    if files == 0:
        print(f"{root}: holds no files", file=sys.stderr)
        return 1
    if not any(n.upper() == "KBZ.EXE" for n in os.listdir(root)):
        print(f"warning: {root} has no KBZ.EXE: the launcher's Play will report the engine missing",
              file=sys.stderr)
    print(files, total)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
