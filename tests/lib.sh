# Sourced by the shell tests: one line a check, "[  OK  ] NAME" or
# "[ FAIL ] NAME", and a closing "N passed, N failed" whose status is the
# test's exit status (end the test with `summary`).
passed=0 failed=0
pass() { printf '[  OK  ] %s\n' "$1"; passed=$((passed + 1)); }
fail() { printf '[ FAIL ] %s\n' "$1"; failed=$((failed + 1)); }
summary() {
    echo "$passed passed, $failed failed"
    [ "$failed" -eq 0 ]
}

# stand_in_exe FILE [MACHINE [SUBSYSTEM [CHARACTERISTICS [MAGIC]]]]: a whole
# Windows program of 1,024 bytes, headers and one section of code that
# returns 0 (default i386 0x14c, GUI subsystem 2, an executable 0x102; x86_64
# 0x8664 gets a PE32+ header). MAGIC overrides the optional header's magic.
stand_in_exe() {
    python3 - "$@" <<'PY'
import struct, sys
path = sys.argv[1]
machine, sub, chars = (int(a, 0) for a in (sys.argv[2:] + ["0x14c", "2", "0x102"][len(sys.argv) - 2:])[:3])
plus = machine == 0x8664
magic = int(sys.argv[5], 0) if len(sys.argv) > 5 else (0x20b if plus else 0x10b)
w = "Q" if plus else "I"
opt = struct.pack("<HBBIIIII", magic, 0, 0, 0x200, 0, 0, 0x1000, 0x1000)
opt += struct.pack("<Q", 0x140000000) if plus else struct.pack("<II", 0, 0x400000)
opt += struct.pack("<IIHHHHHHIIIIHH", 0x1000, 0x200, 4, 0, 0, 0, 4, 0, 0, 0x2000, 0x200, 0, sub, 0)
opt += struct.pack("<4" + w, 0x100000, 0x1000, 0x100000, 0x1000) + struct.pack("<II", 0, 16) + bytes(128)
head = b"MZ" + bytes(58) + struct.pack("<I", 64) + b"PE\0\0"
head += struct.pack("<HHIIIHH", machine, 1, 0, 0, 0, len(opt), chars) + opt
# .text: xor eax, eax; ret
head += b".text\0\0\0" + struct.pack("<IIIIIIHHI", 3, 0x1000, 0x200, 0x200, 0, 0, 0, 0, 0x60000020)
open(path, "wb").write(head.ljust(0x200, b"\0") + b"\x31\xc0\xc3".ljust(0x200, b"\0"))
PY
}
