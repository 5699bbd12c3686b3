#!/usr/bin/env python3
"""Reads the two directory trees of a disc image and checks that they agree.

Usage: disc_image.py IMAGE_OR_DEVICE
       disc_image.py --files-in IMAGE_OR_DEVICE < RANGES

A disc from make_disc.sh carries two trees over the same file data: the
ISO 9660 tree with Rock Ridge names, whose files the recorded checksums
cover, and the Joliet tree, which is what Windows reads. Each tree is found
twice, once through its directory records and once through its path tables
(the little- and the big-endian copy); Windows may take either way.

The first form checks that every file and folder of the one tree is on the
other by the same path, and that each Joliet file points at the very
sectors and size of its Rock Ridge twin, so that the data the checksums
vouch for is the data Windows reads. Every name of the Joliet tree must
meet the rules of disc_names.py (the ones make_disc.sh applies before
mastering), every file's data must lie inside the image, and no record, on
either tree, may set a field that makes Windows read the file otherwise
(hidden and other flags, interleaving, an extended attribute record, more
than one extent, differing big- and little-endian copies). With --data-end,
also writes to FILE the sector after the last that any file's data or
folder's records take, for the caller to hold against the range its
checksum covers.

It prints one line per fault on stdout and exits 4 when there are any, 0
when the trees agree. An image it cannot read as one (empty, not ISO 9660,
cut short, a tree that leads outside the image or reads the same records or
continuation areas over and over) gets a one-line message on stderr and
exit 3. A fault of the reader itself gets "cannot be read as a disc image:"
and where it stopped, and exit 5; any other status (Python's 1, a signal)
means it did not finish either. The work is bounded by the image: each
sector is read as directory records once at most.

With --files-in, reads sector ranges ("START COUNT" a line, 2,048-byte
sectors) on stdin and prints, once each, the path of every file, and every
folder whose records, that lies partly in them, on either tree.
"""
import os
import sys
import traceback

from disc_names import case_clashes, name_faults, path_fault

SECTOR = 2048
FIRST_DESCRIPTOR = 16
# A 700 MB disc has 358,400 sectors, so it holds fewer files with data than
# that, and no game disc holds as many empty ones. A hostile image's
# fan-outs stop here: at about 20 microseconds an entry, both trees are read
# within about 16 seconds, and the memory stays small.
MAX_ENTRIES = 400_000
JOLIET_ESCAPES = (b"%/@", b"%/C", b"%/E")


class Unreadable(Exception):
    """The image cannot be read as one; the message says why."""


def le32(b, at):
    return int.from_bytes(b[at:at + 4], "little")


def be32(b, at):
    return int.from_bytes(b[at:at + 4], "big")


class Image:
    def __init__(self, path):
        self.path = path
        self.f = open(path, "rb")
        self.f.seek(0, os.SEEK_END)
        self.size = self.f.tell()
        # The work is bounded by the image: each sector is read as
        # directory records once at most, and the Rock Ridge continuation
        # areas read add up to no more than the image holds.
        self.record_sectors = set()
        self.continued = 0

    def read(self, lba, length, offset=0):
        if lba * SECTOR + offset + length > self.size:
            raise Unreadable(f"cut short: its records lead to sector {lba + (length - 1) // SECTOR}, "
                             f"past its end (it holds {self.size // SECTOR} sectors)")
        self.f.seek(lba * SECTOR + offset)
        try:
            data = self.f.read(length)
        except OSError as e:
            last = lba + (length - 1) // SECTOR
            where = f"sector {lba}" if last == lba else f"sectors {lba} to {last}"
            raise Unreadable(f"{where} cannot be read ({e.strerror}), and the disc's descriptors "
                             "or folders lie there, so the files below them cannot be named") from e
        if len(data) != length:
            raise Unreadable(f"cannot be read at sector {lba}")
        return data


class Node:
    def __init__(self, path, name, is_dir, extents, size):
        self.path = path  # "/SUB/F1.DAT"
        self.name = name  # "F1.DAT"
        self.is_dir = is_dir
        self.extents = extents  # [(lba, bytes)], several for a multi-extent file
        self.size = size


def rock_ridge_name(image, system_use):
    """The NM name in a record's System Use area (following CE), or None.
    Also returns the CL (child link) block and whether RE (relocated) is set."""
    name, child, relocated = b"", None, False
    found = False
    area, hops = system_use, 0
    while area is not None and hops < 32:
        hops += 1
        nxt, at = None, 0
        while at + 4 <= len(area):
            sig, length = area[at:at + 2], area[at + 2]
            if length < 4 or at + length > len(area):
                break
            body = area[at:at + length]
            if sig == b"NM" and length >= 5:
                found = True
                if not body[4] & 0x6:  # neither "." nor ".."
                    name += body[5:]
            elif sig == b"CE" and length >= 28:
                size = le32(body, 20)
                # Each read counts a floor of 128 bytes: a record that
                # needs a continuation area is itself longer than that.
                image.continued += max(size, 128)
                if image.continued > image.size:
                    raise Unreadable("its Rock Ridge entries lead to the same continuation areas "
                                     "again and again (more bytes than the image holds)")
                nxt = image.read(le32(body, 4), size, le32(body, 12))
            elif sig == b"CL" and length >= 12:
                child = le32(body, 4)
            elif sig == b"RE":
                relocated = True
            elif sig == b"ST":
                break
            at += length
        area = nxt
    return (name if found else None), child, relocated


def directory(image, lba, size, peek=False):
    """The records of one directory: (name bytes, flags, lba, size, system
    use, the whole record). Unless peek, its sectors may not have been read
    as records before."""
    if size > 64 * 1024 * 1024:
        raise Unreadable(f"a directory at sector {lba} claims {size} bytes")
    if not peek:
        sectors = range(lba, lba + -(-size // SECTOR))
        again = next((s for s in sectors if s in image.record_sectors), None)
        if again is not None:
            raise Unreadable(f"two folders share the directory records at sector {again} "
                             "(folders overlap or repeat: a crafted or damaged image)")
        image.record_sectors.update(sectors)
    data = image.read(lba, size)
    at = 0
    while at < len(data):
        length = data[at]
        if length == 0:  # records do not cross a sector's end
            at = (at // SECTOR + 1) * SECTOR
            continue
        rec = data[at:at + length]
        if length < 34 or len(rec) < length or 33 + rec[32] > length:
            raise Unreadable(f"a damaged directory record at sector {lba + at // SECTOR}")
        name_len = rec[32]
        name = rec[33:33 + name_len]
        su_at = 33 + name_len + (1 - name_len % 2)
        yield name, rec[25], le32(rec, 2), le32(rec, 10), rec[su_at:], rec
        at += length


def record_faults(rec):
    """What a file's or folder's record sets that makes Windows read it
    otherwise than a plain one, each as the end of "its record ..."."""
    faults = []
    flags = rec[25]
    if flags & 0x01:
        faults.append("marks it hidden (Windows hides it, and installing skips hidden files)")
    if flags & 0x04:
        faults.append("marks it an associated file")
    if flags & 0x18:
        faults.append(f"sets record-format or protection flags (0x{flags & 0x18:02x})")
    if flags & 0x60:
        faults.append(f"sets reserved flags (0x{flags & 0x60:02x})")
    if flags & 0x80:
        faults.append("splits it into several extents (multi-extent)")
    if rec[1]:
        faults.append(f"gives it an extended attribute record ({rec[1]} sectors before its data)")
    if rec[26] or rec[27]:
        faults.append(f"interleaves its data (unit {rec[26]}, gap {rec[27]} sectors)")
    if rec[2:6] != rec[6:10][::-1] or rec[10:14] != rec[14:18][::-1]:
        faults.append("holds another location or size in its big-endian copy than in its "
                      "little-endian one")
    return faults


def read_tree(image, root_record, joliet):
    """Every node below the root, by path, and faults; raises Unreadable on loops."""
    nodes, faults = {}, []
    root_lba, root_size = le32(root_record, 2), le32(root_record, 10)
    skip = 0  # bytes before the Rock Ridge entries, from the root's SP entry
    nodes["/"] = Node("/", "", True, [(root_lba, root_size)], root_size)
    which = "Joliet" if joliet else "ISO 9660"
    pending = [("/", root_lba, root_size)]
    seen = {root_lba}
    while pending:
        parent, lba, size = pending.pop()
        partial = None  # a multi-extent file's extents so far
        for name, flags, rlba, rsize, su, rec in directory(image, lba, size):
            su = su[skip:]
            if name in (b"\0", b"\1"):
                if name == b"\0" and not joliet and su[:2] == b"SP" and len(su) >= 7:
                    skip = su[6]
                continue
            child = relocated = None
            if joliet:
                text = name.decode("utf-16-be", "replace")
                if not flags & 2 and text.endswith(";1"):
                    text = text[:-2]
            else:
                rr, child, relocated = rock_ridge_name(image, su)
                if rr is None:
                    raw = name.decode("latin-1")
                    text = raw.split(";")[0].rstrip(".") if not flags & 2 else raw
                else:
                    text = rr.decode("utf-8", "replace")
            if relocated:
                continue  # shown where its CL record stands
            path = parent.rstrip("/") + "/" + text
            if text in ("", ".", "..") or "/" in text or "\0" in text:
                faults.append(f"{path}: its {which} name {text!r} is no file's name")
            for fault in record_faults(rec):
                faults.append(f"{path}: its {which} record {fault}")
            if child is not None:
                head = next(directory(image, child, SECTOR, peek=True), None)
                if head is None or head[0] != b"\0":
                    faults.append(f"{path}: its Rock Ridge entries lead to a folder that is not "
                                  f"there (sector {child})")
                    child = None
                else:
                    rlba, rsize = head[2], head[3]
            is_dir = bool(flags & 2) or child is not None
            if partial is not None and partial.path == path:
                partial.extents.append((rlba, rsize))
                partial.size += rsize
            else:
                if path in nodes:
                    faults.append(f"{path}: twice in one folder")
                node = Node(path, text, is_dir, [(rlba, rsize)], rsize)
                nodes[path] = node
                if len(nodes) > MAX_ENTRIES:
                    raise Unreadable(f"more than {MAX_ENTRIES} entries in one tree")
            partial = nodes[path] if flags & 0x80 else None
            if is_dir:
                if rlba in seen:
                    raise Unreadable(f"{path}: a folder that leads back into the tree (a loop)")
                seen.add(rlba)
                pending.append((path, rlba, rsize))
    return nodes, faults


def path_table(image, lba, size, endian, most):
    """A path table's entries (name, lba, parent), or a fault message; one
    that lists more than most folders is a fault, left unread."""
    # An entry takes at most 264 bytes; a larger table lists too many.
    if size > 264 * most:
        return None, f"its size ({size} bytes) is more than {most} folders take"
    data = image.read(lba, size)
    entries, at = [], 0
    while at + 8 <= len(data):
        if len(entries) == most:
            return None, f"it lists more than the {most} folders the directory records hold"
        name_len = data[at]
        if name_len == 0:
            return None, f"an empty name in entry {len(entries) + 1}"
        extent = int.from_bytes(data[at + 2:at + 6], endian)
        parent = int.from_bytes(data[at + 6:at + 8], endian)
        name = data[at + 8:at + 8 + name_len]
        entries.append((name, extent, parent))
        at += 8 + name_len + name_len % 2
    if at != len(data):
        return None, "its last entry runs past its recorded size"
    return entries, None


def descriptors(image):
    """The primary volume descriptor and the Joliet one (or None)."""
    if image.size == 0:
        raise Unreadable("is empty (0 bytes)")
    if image.size < (FIRST_DESCRIPTOR + 1) * SECTOR:
        raise Unreadable(f"is {image.size} bytes, too short for a disc image (a disc's first "
                         f"descriptor lies at byte {FIRST_DESCRIPTOR * SECTOR})")
    primary = joliet = None
    for lba in range(FIRST_DESCRIPTOR, FIRST_DESCRIPTOR + 64):
        if (lba + 1) * SECTOR > image.size:
            break
        d = image.read(lba, SECTOR)
        if d[1:6] != b"CD001":
            break
        if d[0] == 1 and primary is None:
            primary = d
        elif d[0] == 2 and d[88:91] in JOLIET_ESCAPES and joliet is None:
            joliet = d
        elif d[0] == 255:
            break
    if primary is None:
        raise Unreadable("is not a disc image (no ISO 9660 volume descriptor at sector 16)")
    space = le32(primary, 80)
    if image.size < space * SECTOR:
        raise Unreadable(f"is cut short: it holds {image.size // SECTOR} of the {space} sectors "
                         "its volume descriptor records (a short burn or an unfinished copy)")
    return primary, joliet


def tables_faults(image, descriptor, nodes, which):
    """Each path table copy must list exactly the tree's folders."""
    faults = []
    size = le32(descriptor, 132)
    want = {path: node.extents[0][0] for path, node in nodes.items() if node.is_dir}
    copies = [(le32(descriptor, 140), "little"), (le32(descriptor, 144), "little"),
              (be32(descriptor, 148), "big"), (be32(descriptor, 152), "big")]
    for n, (lba, endian) in enumerate(copies):
        if lba == 0 and n % 2 == 1:
            continue  # the optional copies
        label = f"the {which} path table ({'L' if endian == 'little' else 'M'}{'' if n % 2 == 0 else ', optional'})"
        entries, fault = path_table(image, lba, size, endian, len(want))
        if fault:
            faults.append(f"{label}: {fault}")
            continue
        paths = []
        for i, (name, extent, parent) in enumerate(entries):
            if i == 0:
                paths.append(("/", extent))
                continue
            if not 1 <= parent <= i:
                faults.append(f"{label}: entry {i + 1} names a parent ({parent}) not before it")
                break
            text = name.decode("utf-16-be" if which == "Joliet" else "latin-1", "replace")
            paths.append((paths[parent - 1][0].rstrip("/") + "/" + text, extent))
        else:
            got = dict(paths)
            if which != "Joliet":
                # ISO 9660 names there are the short ones, not Rock Ridge's:
                # only the folders' sectors can be compared.
                got = sorted(got.values())
                if len(paths) != len(want) or got != sorted(want.values()):
                    faults.append(f"{label}: does not list the folders the directory records hold")
                continue
            for path in sorted(want.keys() - got.keys()):
                faults.append(f"{path}: a folder missing from {label}")
            for path in sorted(got.keys() - want.keys()):
                faults.append(f"{path}: in {label} but not among the directory records")
            for path in sorted(want.keys() & got.keys()):
                if want[path] != got[path]:
                    faults.append(f"{path}: {label} leads to sector {got[path]}, "
                                  f"its directory record to {want[path]}")
    return faults


def names_faults(nodes):
    """Each name of the tree Windows reads that it would read otherwise."""
    faults, folders = [], {}
    for path, node in sorted(nodes.items()):
        if path == "/":
            continue
        parent = path.rsplit("/", 1)[0] or "/"
        folders.setdefault(parent, []).append(node.name)
        for fault in name_faults(node.name):
            faults.append(f"{path}: the name {fault}")
        fault = path_fault(path.split("/")[1:])
        if fault:
            faults.append(f"{path}: {fault}")
    for parent, names in sorted(folders.items()):
        for name, other in case_clashes(names):
            here = parent.rstrip("/")
            faults.append(f"{here}/{name}: differs from {here}/{other} only in letter case "
                          "(Windows sees one of them only)")
    return faults


def data_end(trees):
    """The sector after the last that any file's data or folder's records
    take."""
    end = 0
    for nodes in trees:
        for node in nodes.values():
            for lba, size in node.extents:
                if size:
                    end = max(end, lba + -(-size // SECTOR))
    return end


def compare(image, end_file=None):
    primary, joliet = descriptors(image)
    iso, faults = read_tree(image, primary[156:190], False)
    win = {}
    if joliet is not None:
        win, win_faults = read_tree(image, joliet[156:190], True)
        faults += win_faults
    if end_file:
        with open(end_file, "w") as f:
            print(data_end((iso, win)), file=f)
    if joliet is None:
        return faults + ["the image has no Joliet tree: Windows would see only short ISO 9660 names"]
    faults += tables_faults(image, primary, iso, "ISO 9660")
    faults += tables_faults(image, joliet, win, "Joliet")
    for path in sorted(iso.keys() - win.keys()):
        kind = "folder" if iso[path].is_dir else "file"
        faults.append(f"{path}: missing from the Joliet tree (a {kind} Windows would not see)")
    for path in sorted(win.keys() - iso.keys()):
        faults.append(f"{path}: only on the Joliet tree (Windows would see what no checksum covers)")
    faults += names_faults(win)
    sectors = -(-image.size // SECTOR)
    for which, nodes in (("ISO 9660", iso), ("Joliet", win)):
        for path, node in sorted(nodes.items()):
            if node.is_dir:
                continue
            for lba, size in node.extents:
                if size and lba * SECTOR + size > image.size:
                    faults.append(f"{path}: its {which} record puts its data past the image's "
                                  f"end (to sector {lba + (size - 1) // SECTOR}; the image holds "
                                  f"{sectors})")
                    break
    for path in sorted(iso.keys() & win.keys()):
        a, b = iso[path], win[path]
        if a.is_dir != b.is_dir:
            faults.append(f"{path}: a {'folder' if a.is_dir else 'file'} on the ISO 9660 tree, "
                          f"a {'folder' if b.is_dir else 'file'} on the Joliet tree")
        elif not a.is_dir and (a.extents != b.extents or a.size != b.size):
            faults.append(f"{path}: the Joliet tree gives it other data ({b.size} bytes at sector "
                          f"{b.extents[0][0]}) than the checked tree ({a.size} bytes at sector "
                          f"{a.extents[0][0]})")
    return faults


def files_in(image, ranges):
    """Paths of the files and folders with any sector in one of ranges."""
    primary, joliet = descriptors(image)
    nodes = list(read_tree(image, primary[156:190], False)[0].items())
    if joliet is not None:
        nodes += read_tree(image, joliet[156:190], True)[0].items()
    hit = []
    for path, node in sorted(nodes, key=lambda item: item[0]):
        for lba, size in node.extents:
            last = lba + max(1, -(-size // SECTOR)) - 1
            if size and any(start <= last and lba < start + count for start, count in ranges):
                shown = path + ("/" if node.is_dir and path != "/" else "")
                if shown not in hit[-1:]:
                    hit.append(shown)
                break
    return hit


def main(argv):
    args = argv[1:]
    sectors = None
    end_file = None
    if args[:1] == ["--data-end"] and len(args) >= 2:
        end_file, args = args[1], args[2:]
    if args[:1] == ["--files-in"] and end_file is None:
        args = args[1:]
        sectors = []
        for line in sys.stdin:
            if line.split():
                start, count = (int(x) for x in line.split()[:2])
                sectors.append((start, count))
    if len(args) != 1:
        print("usage: disc_image.py [--data-end FILE | --files-in] IMAGE_OR_DEVICE", file=sys.stderr)
        return 2
    try:
        image = Image(args[0])
        result = files_in(image, sectors) if sectors is not None else compare(image, end_file)
    except Unreadable as e:
        print(f"{args[0]}: {e}", file=sys.stderr)
        return 3
    except OSError as e:
        print(f"{args[0]}: cannot be read ({e.strerror})", file=sys.stderr)
        return 3
    except Exception as e:  # a fault of this reader's own, on an image it did not foresee
        where = traceback.extract_tb(e.__traceback__)[-1]
        print(f"{args[0]}: cannot be read as a disc image: the reader stopped at "
              f"{os.path.basename(where.filename)} line {where.lineno} "
              f"({type(e).__name__}: {e})", file=sys.stderr)
        return 5
    for line in result:
        print(line)
    return 4 if result and sectors is None else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
