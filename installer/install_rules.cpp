#include "install_rules.h"
#include "../common/strutil.h"

namespace {
const uint64_t kMax64 = ~static_cast<uint64_t>(0);
const uint64_t kSizeLineTenth = 97280; // 95 * 1,024
const uint64_t kChunkUnit = 0x10000;
const int32_t kMaxInt32 = 0x7FFFFFFF;

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

// "X:\..." with an ASCII drive letter: neither relative to a drive's current
// directory ("C:foo"), nor to the current drive ("\foo"), nor a share.
bool IsDriveAbsolute(const char *path) {
    char letter = static_cast<char>(path[0] | 0x20);
    return letter >= 'a' && letter <= 'z' && path[1] == ':' && IsSeparator(path[2]);
}
} // namespace

uint64_t AddEntrySize(uint64_t total, uint32_t sizeHigh, uint32_t sizeLow) {
    uint64_t size = (static_cast<uint64_t>(sizeHigh) << 32) | sizeLow;
    return size > kMax64 - total ? kMax64 : total + size;
}

SizeLineFigures SizeLineUnits(uint64_t installSetSize) {
    uint64_t units = installSetSize / kSizeLineTenth;
    uint64_t whole = units / 10;
    SizeLineFigures f;
    f.whole = whole > static_cast<uint64_t>(kMaxInt32) ? kMaxInt32 : static_cast<int>(whole);
    f.tenth = static_cast<int>(units % 10);
    return f;
}

uint64_t FreeBytes(uint32_t sectorsPerCluster, uint32_t bytesPerSector, uint32_t freeClusters) {
    uint64_t clusterBytes = static_cast<uint64_t>(sectorsPerCluster) * bytesPerSector;
    if (freeClusters != 0 && clusterBytes > kMax64 / freeClusters)
        return kMax64;
    return clusterBytes * freeClusters;
}

bool FreeSpaceSuffices(uint64_t freeBytes, uint64_t installSetSize) {
    return freeBytes >= installSetSize;
}

bool FullPathFits(uint32_t result, size_t cap) {
    return result != 0 && result < cap;
}

int32_t ProgressBarWidth(int32_t right, uint64_t copied, uint64_t installSetSize) {
    int32_t room = right - 2;
    if (room <= 0)
        return 0;
    uint64_t done = copied, whole = installSetSize;
    if (installSetSize >= kChunkUnit) {
        done = copied >> 16;
        whole = installSetSize >> 16;
    }
    if (whole == 0)
        return 0;
    // room fits 31 bits, so the product overflows only for a copied total
    // far beyond the set, which the bar shows as full-scale rather than wrap.
    uint64_t width = done > kMax64 / static_cast<uint64_t>(room)
                         ? kMax64
                         : static_cast<uint64_t>(room) * done / whole;
    return width > static_cast<uint64_t>(kMaxInt32) ? kMaxInt32 : static_cast<int32_t>(width);
}

bool ChunkFullyWritten(bool writeSucceeded, uint32_t bytesRead, uint32_t bytesWritten) {
    return writeSucceeded && bytesWritten == bytesRead;
}

bool FileQualifies(uint32_t attributes) {
    return (attributes & ~kQualifyingAttributes) == 0;
}

size_t FindPathSeparator(const char *path, size_t from, LeadByteTest isLeadByte) {
    size_t i = 0;
    while (path[i] != '\0') {
        if (isLeadByte(static_cast<unsigned char>(path[i]))) {
            if (path[i + 1] == '\0')
                return i + 1;
            i += 2;
            continue;
        }
        if (path[i] == '\\' && i >= from)
            return i;
        ++i;
    }
    return i;
}

bool CopyPathPrefix(char *out, size_t cap, const char *path, size_t length) {
    if (length >= cap)
        return false;
    for (size_t i = 0; i < length; ++i) {
        if (path[i] == '\0')
            return false;
    }
    for (size_t i = 0; i < length; ++i)
        out[i] = path[i];
    out[length] = '\0';
    return true;
}

bool JoinPath(char *out, size_t cap, const char *dir, const char *name) {
    return StrJoin3(out, cap, dir, "\\", name);
}

bool BuildSearchPattern(char *out, size_t cap, const char *dir) {
    return StrJoin3(out, cap, dir, "\\*.*", "");
}

bool RemovalTargetAllowed(const char *record, const char *fullPath) {
    if (!IsDriveAbsolute(record) || !IsDriveAbsolute(fullPath))
        return false;
    // Below the root there must be more than separators. A trailing 0x5C that
    // is the second byte of a double-byte character follows its lead byte,
    // which is not a separator, so such a name still counts.
    for (size_t i = 3; fullPath[i] != '\0'; ++i) {
        if (!IsSeparator(fullPath[i]))
            return true;
    }
    return false;
}
