#!/usr/bin/env python3
"""Checks a game folder before it goes on a disc image, and after.

Usage: disc_tree.py [--own PATH | --writes FILE]... GAME_DIR
       disc_tree.py --sizes GAME_DIR < REPORT

Every name must survive the trip to a player's Japanese Windows, by the
rules of disc_names.py beside this file, which check_disc.sh applies to the
finished disc too. --own names a file or folder of the
run itself (the image being written, its work folder): a link in the game
folder that leads there is refused. --writes names a file the run writes
later (OUTPUT, the preview): a link to it or to its folder is refused, since
the file would go onto the disc unchecked.

A name that is not plain ASCII reads right only in code page 932 (the
launcher and the game use the ANSI interface): on a Windows whose system
code page it is, or on Windows 11 through the manifests that ask for it.
Such names are listed in a warning, not refused.

Prints "FILES BYTES" (regular files below GAME_DIR and their total size) on
stdout. Exits 1 with one line per fault on stderr when something cannot go
on the disc; a missing KBZ.EXE is only a warning.

With --sizes, reads xorriso's report_lba lines for the written image and
exits 1, naming each, when a file of GAME_DIR no longer has the size the
image recorded (it changed while the image was written).
"""
import os
import re
import stat
import sys

from disc_names import case_clashes, name_faults, path_fault

# The image's own files at the root; the folder may not bring its own.
RESERVED = {"Q7.EXE", "AUTORUN.INF"}


def shown(path):
    """The path as text a terminal shows, whatever its bytes."""
    return os.fsencode(path).decode("utf-8", "replace")


def check_tree(root, own, writes=()):
    errors = []
    not_ascii = []
    own = list(own) + list(writes)
    write_dirs = {os.path.dirname(w): w for w in writes}
    files = 0
    total = 0
    # The real folders on the way down to each folder: a folder met again
    # among its own ancestors is a loop; met elsewhere, it is only shared.
    ancestors = {root: frozenset()}
    for here, dirs, names in os.walk(root, followlinks=True, onerror=lambda e: errors.append(
            f"{shown(e.filename)}: cannot be read ({e.strerror})")):
        real = os.path.realpath(here)
        above = ancestors.pop(here, frozenset())
        if real in above:
            errors.append(f"{shown(here)}: a link back into a folder above it (a loop)")
            dirs[:] = []
            continue
        if any(real == o or real.startswith(o + os.sep) for o in own):
            errors.append(f"{shown(here)}: leads to this run's own files (a link to OUTPUT's folder "
                          "or the run's work folder); remove the link")
            dirs[:] = []
            continue
        if real in write_dirs:
            errors.append(f"{shown(here)}{os.sep}: is the folder where this run writes "
                          f"{shown(write_dirs[real])}, which would go onto the disc unchecked; "
                          "remove the link or write it elsewhere")
            dirs[:] = []
            continue
        dirs.sort()  # the warnings list names in one order, run after run
        for d in dirs:
            ancestors[os.path.join(here, d)] = above | {real}
        rel = [] if here == root else os.path.relpath(here, root).split(os.sep)
        listed = sorted(dirs + names)
        clashes = dict(case_clashes(listed))
        for name in listed:
            path = os.path.join(here, name)
            faults = name_faults(name)
            for fault in faults:
                errors.append(f"{shown(path)}: the name {fault}")
            if not faults and not os.fsencode(name).isascii():
                not_ascii.append(path + (os.sep if name in dirs else ""))
            if name in clashes:
                other = os.path.join(here, clashes[name])
                errors.append(f"{shown(path)}: differs from {shown(other)} only in letter case")
            if here == root and name.upper() in RESERVED:
                errors.append(f"{shown(path)}: the image brings its own {name.upper()}; "
                              "remove this one from the game folder")
            fault = path_fault(rel + [name])
            if fault:
                errors.append(f"{shown(path)}: {fault}")
        for name in names:
            path = os.path.join(here, name)
            try:
                st = os.stat(path)
            except OSError as e:
                errors.append(f"{shown(path)}: cannot be read ({e.strerror})")
                continue
            if stat.S_ISDIR(st.st_mode):
                continue  # a link to a folder; os.walk lists it under dirs
            if not stat.S_ISREG(st.st_mode):
                errors.append(f"{shown(path)}: not a plain file or folder")
                continue
            real_file = os.path.realpath(path)
            if any(real_file == o or real_file.startswith(o + os.sep) for o in own):
                errors.append(f"{shown(path)}: is this run's own file (OUTPUT or its unfinished "
                              "image, through a link); remove the link")
                continue
            if not os.access(path, os.R_OK):
                errors.append(f"{shown(path)}: cannot be read (no permission)")
            files += 1
            total += st.st_size
    return errors, files, total, not_ascii


# How many names the warning about names that are not plain ASCII lists.
NOT_ASCII_SHOWN = 10


def check_sizes(root, report):
    """Compares the sizes in xorriso's report_lba lines with the files now."""
    errors = []
    line_re = re.compile(r"^File data lba:\s*\d+\s*,\s*\d+\s*,\s*\d+\s*,\s*(\d+)\s*,\s*'(.*)'$")
    for line in report:
        m = line_re.match(line.rstrip("\n"))
        if not m:
            continue
        size, disc_path = int(m.group(1)), m.group(2).replace("'\"'\"'", "'")
        if disc_path.lstrip("/").upper() in RESERVED:
            continue
        path = os.path.join(root, disc_path.lstrip("/"))
        try:
            now = os.stat(path).st_size
        except OSError as e:
            errors.append(f"{shown(path)}: cannot be read after writing ({e.strerror})")
            continue
        if now != size:
            errors.append(f"{shown(path)}: changed size while the image was written "
                          f"({size} bytes on the disc, {now} now)")
    return errors


def main(argv):
    args = argv[1:]
    own = []
    writes = []
    while len(args) >= 2 and args[0] in ("--own", "--writes"):
        (own if args[0] == "--own" else writes).append(os.path.realpath(args[1]))
        args = args[2:]
    if len(args) == 2 and args[0] == "--sizes" and not own and not writes:
        errors = check_sizes(args[1], sys.stdin)
        for e in errors:
            print(e, file=sys.stderr)
        return 1 if errors else 0
    if len(args) != 1:
        print("usage: disc_tree.py [--own PATH | --writes FILE]... GAME_DIR | "
              "--sizes GAME_DIR < REPORT",
              file=sys.stderr)
        return 2
    root = args[0]
    errors, files, total, not_ascii = check_tree(root, own, writes)
    for e in errors:
        print(e, file=sys.stderr)
    if errors:
        return 1
    if files == 0:
        print(f"{shown(root)}: holds no files", file=sys.stderr)
        return 1
    if not any(n.upper() == "KBZ.EXE" for n in os.listdir(root)):
        print(f"warning: {shown(root)} has no KBZ.EXE: the launcher's Play will report the engine missing",
              file=sys.stderr)
    if not_ascii:
        some = (f"{len(not_ascii)} names on the disc are" if len(not_ascii) > 1
                else "a name on the disc is")
        print(f"warning: {some} not plain ASCII; a player's Windows reads them when its "
              "system locale is Japanese (code page 932), and Windows 11 in any language does "
              "through the manifests that ask for that code page (Q7.EXE's own, and "
              "KBZ.EXE.manifest unless this run says it puts none); on Windows 10 and earlier "
              "set to another language, installing or playing fails at them:", file=sys.stderr)
        for path in not_ascii[:NOT_ASCII_SHOWN]:
            print(f"  {shown(path)}", file=sys.stderr)
        if len(not_ascii) > NOT_ASCII_SHOWN:
            print(f"  and {len(not_ascii) - NOT_ASCII_SHOWN} more", file=sys.stderr)
    print(files, total)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
