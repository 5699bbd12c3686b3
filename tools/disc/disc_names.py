"""The rules a name must meet to read the same on a player's Windows.

Shared by disc_tree.py, which checks a game folder before make_disc.sh
masters it, and disc_image.py, which checks the Joliet tree of a finished
image: a name either refuses is one Windows would read differently or not
at all. Joliet holds at most 64 UCS-2 characters per name, none outside the
Basic Multilingual Plane, and paths of at most 239 bytes; Windows refuses a
few punctuation characters, names ending in a dot or a space, and the device
names listed in windows_refused_names.txt beside this file. The launcher
reads names through the ANSI interface, so each must have a Shift-JIS (code
page 932) form that reads back as the same name. Two names in one folder
that differ only in letter case, files and folders alike, are one name to
Windows.
"""
import os

JOLIET_NAME_MAX = 64
# Joliet's path limit counts 2 bytes a character and 1 a separator; what
# goes over it xorriso leaves out of the Joliet tree with only a warning.
JOLIET_PATH_MAX = 239
FORBIDDEN = set('*/:;?\\<>"|')


def device_names():
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "windows_refused_names.txt")
    with open(path, encoding="utf-8") as f:
        return {line.strip().upper() for line in f if line.strip() and not line.startswith("#")}


DEVICES = device_names()


def name_faults(name):
    """What is wrong with one name (str, or bytes as the file system holds
    it), each as the end of "the name ..."; empty when nothing is."""
    try:
        text = os.fsdecode(name)
        text.encode("utf-8")
    except UnicodeError:
        raw = os.fsencode(name)
        try:
            return [f"is not valid UTF-8 (as Shift-JIS it would read {raw.decode('cp932')}); "
                    "rename it in UTF-8"]
        except UnicodeError:
            return ["is not valid UTF-8; rename it in UTF-8"]
    faults = []
    if any(ord(c) > 0xFFFF for c in text):
        faults.append("has a character beyond what Joliet holds (outside UCS-2)")
    elif len(text) > JOLIET_NAME_MAX:
        faults.append(f"is {len(text)} characters long; Joliet holds at most {JOLIET_NAME_MAX}")
    bad = sorted({c for c in text if c in FORBIDDEN or ord(c) < 0x20})
    if bad:
        shown_bad = " ".join(repr(c) for c in bad)
        faults.append(f"has characters that Joliet or Windows refuse: {shown_bad}")
    # Windows opens "CON", "con.txt" and "Con .txt" alike as the device.
    if text.split(".")[0].rstrip(" ").upper() in DEVICES:
        faults.append("is a device name on Windows, which cannot open such a file")
    if text.endswith("."):
        faults.append("ends in a dot, which Windows drops")
    elif text.endswith(" "):
        faults.append("ends in a space, which Windows drops")
    # Some characters encode but come back as others (U+301C WAVE DASH comes
    # back as U+FF5E), and the launcher would then open a name not on disc.
    lost = []
    # ASCII reads back as itself; only other characters need the trip.
    for c in "" if text.isascii() else text:
        try:
            if c.encode("cp932").decode("cp932") != c:
                lost.append(c)
        except UnicodeError:
            lost.append(c)
    if lost:
        shown_lost = " ".join(f"{c!r} (U+{ord(c):04X})" for c in sorted(set(lost)))
        faults.append(f"has characters without an exact Shift-JIS (code page 932) form: {shown_lost}")
    return faults


def case_clashes(names):
    """(name, earlier name) for each of names, in order, that differs from
    one before it only in letter case."""
    folded, clashes = {}, []
    for name in names:
        key = os.fsdecode(name).casefold()
        if key in folded:
            clashes.append((name, folded[key]))
        folded[key] = name
    return clashes


def joliet_path_bytes(parts):
    return sum(1 + 2 * len(os.fsdecode(p)) for p in parts)


def path_fault(parts):
    """What is wrong with a path's length (its names from the top), or None."""
    size = joliet_path_bytes(parts)
    if size > JOLIET_PATH_MAX:
        return (f"the path is too long for Joliet, what Windows reads ({size} bytes at 2 a "
                f"character and 1 a separator; it holds {JOLIET_PATH_MAX}); shorten its folder "
                "or file names")
    return None
