// Rules of the destination dialog, the copy engine and the removal that need
// no Win32 call, so that the native tests reach them.
#pragma once
#include <cstddef>
#include <cstdint>

// Install-set size: every entry's 64-bit size added up in 64 bits, stopping at
// the largest value rather than wrapping, so that a set of 4 GB or more can
// never look small enough for a nearly full drive.
uint64_t AddEntrySize(uint64_t total, uint32_t sizeHigh, uint32_t sizeLow);

// The size line shows the set in "megabytes" of 97,280 * 10 = 972,800 bytes,
// with one truncated decimal: whole = size / 972,800, tenth = the next digit.
// The whole part saturates at the largest int, which wsprintfA's %d takes.
struct SizeLineFigures {
    int whole;
    int tenth;
};
SizeLineFigures SizeLineUnits(uint64_t installSetSize);

// Free bytes of a drive from its cluster counts, formed without overflow
// (saturating), and whether they hold the install set. Equal is enough.
uint64_t FreeBytes(uint32_t sectorsPerCluster, uint32_t bytesPerSector, uint32_t freeClusters);
bool FreeSpaceSuffices(uint64_t freeBytes, uint64_t installSetSize);

// True when GetFullPathNameA's result means the full path was written whole
// into a buffer of cap bytes (0 is a failure; cap or more is the size needed).
bool FullPathFits(uint32_t result, size_t cap);

// Width of the progress bar in a well whose client area is `right` pixels
// wide (room = right - 2). Sets below 64 KiB scale by exact bytes, larger
// ones by whole 65,536-byte units. An empty set (the source changed after it
// was measured) gives 0 rather than a division by zero; so does a well
// narrower than its two margins. The result saturates at the largest int32.
int32_t ProgressBarWidth(int32_t right, uint64_t copied, uint64_t installSetSize);

// A chunk is transferred only when the write succeeded and took every byte
// read: a short write (a full disk) must fail the install, never leave a
// truncated copy reported as installed.
bool ChunkFullyWritten(bool writeSucceeded, uint32_t bytesRead, uint32_t bytesWritten);

// A directory entry is copied only when its attributes hold nothing besides
// read-only (0x01), archive (0x20) and normal (0x80).
const uint32_t kQualifyingAttributes = 0xA1;
bool FileQualifies(uint32_t attributes);

// Whether a byte starts a double-byte character in the system's ANSI code
// page. Which bytes do depends on the code page (0x81-0x9F and 0xE0-0xFC in
// code page 932, none in 1252, where 0xE9 is a letter of its own), so the
// product asks the system and the tests pass a table of their own.
typedef bool (*LeadByteTest)(unsigned char c);

// Index of the first path separator at or after `from` that is a character of
// its own, not the second byte of a double-byte character (which may be 0x5C);
// the scan always starts at the beginning of the path so that byte pairs are
// read in step. Returns the length of the path when there is none.
size_t FindPathSeparator(const char *path, size_t from, LeadByteTest isLeadByte);

// Copies the first `length` bytes of path into out (cap bytes) and
// terminates it. False, and out untouched, when it does not fit.
bool CopyPathPrefix(char *out, size_t cap, const char *path, size_t length);

// out = dir + "\" + name, all or nothing.
bool JoinPath(char *out, size_t cap, const char *dir, const char *name);

// The search pattern for every entry of dir: dir + "\*.*", all or nothing.
bool BuildSearchPattern(char *out, size_t cap, const char *dir);

// Whether the removal may empty a recorded directory. `record` is the text as
// recorded, `fullPath` what the platform's full-path conversion made of it
// (which folds ".", "..", trailing dots and spaces). The record must be an
// absolute path with a drive letter: anything else ("", ".", "C:foo", "\foo",
// a share) would be taken from the current directory or another machine. The
// full path must name a directory below a drive root, never the root itself,
// whatever spelling ("C:\.", "C:\Windows\..") led there.
bool RemovalTargetAllowed(const char *record, const char *fullPath);
