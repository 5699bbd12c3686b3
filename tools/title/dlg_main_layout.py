#!/usr/bin/env python3
"""Writes the main window's size and buttons, as the resource script's
DLG_MAIN gives them, as a C++ header for the title preview, so that the
preview shows the window the launcher is built with.

Usage: dlg_main_layout.py q7.rc OUTPUT.h
"""
import re
import sys

NUMBER = r"(-?(?:0x[0-9A-Fa-f]+|\d+))"
BUTTON_CLASS = 0x0080


def layout(text):
    m = re.search(
        r"^DLG_MAIN\s+DIALOG\s+%s\s*,\s*%s\s*,\s*%s\s*,\s*%s\s*\n(.*?)^END\b"
        % (NUMBER, NUMBER, NUMBER, NUMBER),
        text,
        re.M | re.S,
    )
    if not m:
        raise ValueError("no DLG_MAIN DIALOG ... END block")
    width, height = int(m.group(3), 0), int(m.group(4), 0)
    buttons = []
    for line in m.group(5).splitlines():
        line = line.strip()
        if line in ("", "BEGIN") or line.startswith("STYLE"):
            continue
        c = re.fullmatch(
            r'CONTROL\s+"((?:[^"]|"")*)"\s*,\s*\w+\s*,\s*%s\s*,\s*%s'
            r"\s*,\s*%s\s*,\s*%s\s*,\s*%s\s*,\s*%s" % ((NUMBER,) * 6),
            line,
        )
        if not c:
            # Anything else would change the window without the preview knowing.
            raise ValueError("DLG_MAIN: a line this reader does not know: " + line)
        if int(c.group(2), 0) == BUTTON_CLASS:
            x, y, w, h = (int(c.group(i), 0) for i in range(4, 8))
            buttons.append((x, y, w, h, c.group(1).replace('""', '"')))
    if not buttons:
        raise ValueError("DLG_MAIN has no buttons")
    return width, height, buttons


def c_string(s):
    return '"' + "".join(
        "\\%03o" % b if b >= 0x80 or b in (0x22, 0x5C) or b < 0x20 else chr(b)
        for b in s.encode("utf-8")
    ) + '"'


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__.strip().splitlines()[-1])
    src, out = sys.argv[1:]
    try:
        with open(src, encoding="utf-8") as f:
            width, height, buttons = layout(f.read())
    except (OSError, ValueError) as e:
        sys.exit("dlg_main_layout.py: %s: %s" % (src, e))
    rows = ",\n".join(
        "    {%d, %d, %d, %d, %s}" % (x, y, w, h, c_string(label))
        for x, y, w, h, label in buttons
    )
    with open(out, "w", encoding="ascii") as f:
        f.write(
            "// Written by tools/title/dlg_main_layout.py from %s (DLG_MAIN).\n"
            "#pragma once\n\n"
            "namespace q7title {\n\n"
            "// The client area, in dialog units.\n"
            "const int kMainUnitsWide = %d, kMainUnitsHigh = %d;\n\n"
            "// A push button, in dialog units; its label in UTF-8, '&' marking\n"
            "// the underlined letter.\n"
            "struct MainButton {\n    int x, y, width, height;\n    const char *label;\n};\n"
            "const MainButton kMainButtons[] = {\n%s};\n\n"
            "} // namespace q7title\n" % ("resources/q7.rc", width, height, rows)
        )


if __name__ == "__main__":
    main()
