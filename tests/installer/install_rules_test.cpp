#include "install_rules.h"

#include <gtest/gtest.h>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The size line's figures and unit as the player reads them.
std::string SizeLine(uint64_t size) {
    SizeLineFigures f = SizeLineUnits(size);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%3d.%1d M byte", f.whole, f.tenth);
    return buf;
}

} // namespace

TEST(SizeLine, UnitsOf972800BytesWithOneTruncatedDecimal) {
    EXPECT_EQ("  0.0 M byte", SizeLine(0));
    EXPECT_EQ("  0.0 M byte", SizeLine(97279));
    EXPECT_EQ("  0.1 M byte", SizeLine(97280));
    EXPECT_EQ("  1.0 M byte", SizeLine(972800));
    EXPECT_EQ("  5.1 M byte", SizeLine(5000000));
    EXPECT_EQ("102.7 M byte", SizeLine(100000000));
    // Just below 4 GB: the same arithmetic as a 32-bit total.
    EXPECT_EQ("4415.0 M byte", SizeLine(0xFFFFFFFFull));
}

TEST(SizeLine, HugeSetsSaturateInsteadOfWrapping) {
    SizeLineFigures f = SizeLineUnits(~0ull);
    EXPECT_EQ(0x7FFFFFFF, f.whole);
    EXPECT_GE(f.tenth, 0);
    EXPECT_LE(f.tenth, 9);
    // 5 GB shows as 5 GB, not as the 1 GB a 32-bit total would hold.
    EXPECT_EQ(5518, SizeLineUnits(5368709120ull).whole);
}

TEST(InstallSetSize, SumsIn64BitsAndSaturates) {
    uint64_t total = 0;
    total = AddEntrySize(total, 0, 0xFFFFFFFFu);
    total = AddEntrySize(total, 0, 1);
    EXPECT_EQ(0x100000000ull, total); // a 32-bit sum would be 0
    EXPECT_EQ(0x500000010ull, AddEntrySize(0x10, 5, 0));
    EXPECT_EQ(~0ull, AddEntrySize(~0ull - 3, 0, 4));
    EXPECT_EQ(~0ull, AddEntrySize(~0ull, 0xFFFFFFFFu, 0xFFFFFFFFu));
    EXPECT_EQ(~0ull - 1, AddEntrySize(~0ull - 4, 0, 3));
}

TEST(FreeSpace, ProductWithoutOverflowAndEqualIsEnough) {
    // 64 sectors of 512 bytes, 100,000 free clusters: 3,276,800,000 bytes,
    // beyond what a 32-bit product holds together with a larger cluster count.
    EXPECT_EQ(3276800000ull, FreeBytes(64, 512, 100000));
    EXPECT_EQ(8ull * 4096 * 0xFFFFFFFFull, FreeBytes(8, 4096, 0xFFFFFFFFu));
    EXPECT_EQ(~0ull, FreeBytes(0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu));
    EXPECT_EQ(0ull, FreeBytes(8, 512, 0));
    EXPECT_TRUE(FreeSpaceSuffices(1000, 1000));
    EXPECT_FALSE(FreeSpaceSuffices(999, 1000));
    EXPECT_TRUE(FreeSpaceSuffices(0, 0));
    // A set of 4 GB + 1 byte needs more than 1 byte free.
    EXPECT_FALSE(FreeSpaceSuffices(4096, AddEntrySize(AddEntrySize(0, 1, 0), 0, 1)));
}

TEST(FullPath, ResultMustBeBelowCapacity) {
    EXPECT_FALSE(FullPathFits(0, 260));   // failure
    EXPECT_TRUE(FullPathFits(259, 260));  // length without terminator
    EXPECT_FALSE(FullPathFits(260, 260)); // size needed, buffer unfilled
    EXPECT_FALSE(FullPathFits(1000, 260));
}

TEST(ProgressBar, ExactBytesBelow64KiB) {
    // Well 352 pixels wide: room 350.
    EXPECT_EQ(0, ProgressBarWidth(352, 0, 1000));
    EXPECT_EQ(175, ProgressBarWidth(352, 500, 1000));
    EXPECT_EQ(350, ProgressBarWidth(352, 1000, 1000));
    EXPECT_EQ(349, ProgressBarWidth(352, 65534, 65535));
    EXPECT_EQ(1, ProgressBarWidth(352, 1, 350));
}

TEST(ProgressBar, WholeUnitsOf65536From64KiBOn) {
    EXPECT_EQ(0, ProgressBarWidth(352, 65535, 65536 * 4));
    EXPECT_EQ(87, ProgressBarWidth(352, 65536, 65536 * 4));
    EXPECT_EQ(87, ProgressBarWidth(352, 131071, 65536 * 4));
    EXPECT_EQ(350, ProgressBarWidth(352, 65536 * 4, 65536 * 4 + 65535));
    // The exact boundary: 65,536 bytes already counts in units.
    EXPECT_EQ(0, ProgressBarWidth(352, 65535, 65536));
    EXPECT_EQ(350, ProgressBarWidth(352, 65536, 65536));
    // Sets of 4 GB and more scale the same way instead of wrapping.
    EXPECT_EQ(175, ProgressBarWidth(352, 0x100000000ull, 0x200000000ull));
}

TEST(ProgressBar, NeverDividesByZero) {
    EXPECT_EQ(0, ProgressBarWidth(352, 0, 0));
    EXPECT_EQ(0, ProgressBarWidth(352, 123456, 0));
    EXPECT_EQ(0, ProgressBarWidth(2, 10, 10)); // no room inside the margins
    EXPECT_EQ(0, ProgressBarWidth(0, 10, 10));
    EXPECT_EQ(0, ProgressBarWidth(-5, 10, 10));
    // A copied total far past the set (the source grew) does not wrap.
    EXPECT_EQ(0x7FFFFFFF, ProgressBarWidth(0x7FFFFFFF, ~0ull, 1));
    EXPECT_EQ(700, ProgressBarWidth(352, 2000, 1000)); // not clamped to the well
}

TEST(CopyStep, ShortWriteIsATransferFailure) {
    EXPECT_TRUE(ChunkFullyWritten(true, 65536, 65536));
    EXPECT_TRUE(ChunkFullyWritten(true, 17, 17));
    EXPECT_FALSE(ChunkFullyWritten(true, 65536, 4096)); // full disk part-way
    EXPECT_FALSE(ChunkFullyWritten(true, 65536, 0));
    EXPECT_FALSE(ChunkFullyWritten(false, 65536, 65536));
    EXPECT_FALSE(ChunkFullyWritten(false, 65536, 0));
}

TEST(Attributes, OnlyReadOnlyArchiveAndNormalQualify) {
    EXPECT_TRUE(FileQualifies(0x00));
    EXPECT_TRUE(FileQualifies(0x01));
    EXPECT_TRUE(FileQualifies(0x20));
    EXPECT_TRUE(FileQualifies(0x80));
    EXPECT_TRUE(FileQualifies(0xA1));
    EXPECT_FALSE(FileQualifies(0x02));  // hidden
    EXPECT_FALSE(FileQualifies(0x04));  // system
    EXPECT_FALSE(FileQualifies(0x10));  // directory, "." and ".."
    EXPECT_FALSE(FileQualifies(0x08));  // volume label
    EXPECT_FALSE(FileQualifies(0x40));  // device
    EXPECT_FALSE(FileQualifies(0x100)); // temporary
    EXPECT_FALSE(FileQualifies(0x21 | 0x02));
    EXPECT_FALSE(FileQualifies(0x800)); // compressed
}

namespace {
// Lead bytes of code page 932 (Shift-JIS) and of code page 1252, which has none.
bool Cp932Lead(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}
bool Cp1252Lead(unsigned char) {
    return false;
}

// Every prefix the directory chain would create for a full path.
std::vector<std::string> Chain(const char *full, LeadByteTest lead = Cp932Lead) {
    std::vector<std::string> out;
    char prefix[260];
    for (size_t i = FindPathSeparator(full, 3, lead); full[i] != '\0';
         i = FindPathSeparator(full, i + 1, lead)) {
        if (CopyPathPrefix(prefix, sizeof prefix, full, i))
            out.push_back(prefix);
    }
    return out;
}
} // namespace

TEST(DirectoryChain, PlainPath) {
    std::vector<std::string> want = {"C:\\Program Files", "C:\\Program Files\\Rumik"};
    EXPECT_EQ(want, Chain("C:\\Program Files\\Rumik\\Q7"));
    EXPECT_TRUE(Chain("C:\\Q7").empty());
    EXPECT_TRUE(Chain("C:\\").empty());
    // A trailing separator makes the install directory itself part of the chain.
    std::vector<std::string> trailing = {"C:\\A", "C:\\A\\B"};
    EXPECT_EQ(trailing, Chain("C:\\A\\B\\"));
}

TEST(DirectoryChain, DoubleByteCharacterWithTrailByte5CIsNotCut) {
    // "C:\ゲームソフト\Q7": ソ is 0x83 0x5C in code page 932.
    const char full[] = "C:\\\x83\x51\x81\x5B\x83\x80\x83\x5C\x83\x74\x83\x67\\Q7";
    std::vector<std::string> chain = Chain(full);
    ASSERT_EQ(1u, chain.size());
    EXPECT_EQ(std::string("C:\\\x83\x51\x81\x5B\x83\x80\x83\x5C\x83\x74\x83\x67"), chain[0]);
    // 表 (0x95 0x5C) directly after the root, and at the very end.
    const char two[] = "D:\\\x95\x5C\\x\\\x95\x5C";
    std::vector<std::string> want = {"D:\\\x95\x5C", "D:\\\x95\x5C\\x"};
    EXPECT_EQ(want, Chain(two));
    // Half-width katakana (0xA0-0xDF) are single bytes: the next 0x5C cuts.
    const char kana[] = "E:\\\xB1\\\xB2";
    EXPECT_EQ(std::vector<std::string>{"E:\\\xB1"}, Chain(kana));
}

TEST(DirectoryChain, EveryBackslashCutsInACodePageWithoutDoubleBytes) {
    // "C:\Café\Q7" in code page 1252: é (0xE9) is a letter, not a lead byte.
    std::vector<std::string> want = {"C:\\Caf\xE9"};
    EXPECT_EQ(want, Chain("C:\\Caf\xE9\\Q7", Cp1252Lead));
    // The same bytes read as code page 932 would hide the separator.
    EXPECT_TRUE(Chain("C:\\Caf\xE9\\Q7", Cp932Lead).empty());
    std::vector<std::string> accents = {"D:\\\xC0", "D:\\\xC0\\\x83"};
    EXPECT_EQ(accents, Chain("D:\\\xC0\\\x83\\x", Cp1252Lead));
}

TEST(DirectoryChain, LeadByteAtTheEndDoesNotRunPastTheString) {
    const char cut[] = "C:\\a\\\x83";
    EXPECT_EQ(std::vector<std::string>{"C:\\a"}, Chain(cut));
    EXPECT_EQ(6u, FindPathSeparator(cut, 5, Cp932Lead));
}

TEST(PathComposition, RefusedBeyondTheBuffer) {
    char out[16];
    std::memset(out, 'x', sizeof out);
    ASSERT_TRUE(JoinPath(out, sizeof out, "C:\\Q7", "A.DAT"));
    EXPECT_STREQ("C:\\Q7\\A.DAT", out);
    ASSERT_TRUE(JoinPath(out, sizeof out, "C:\\Q7", "ABCDEFGHI")); // 15 bytes: fits
    EXPECT_STREQ("C:\\Q7\\ABCDEFGHI", out);
    std::memset(out, 'x', sizeof out);
    EXPECT_FALSE(JoinPath(out, sizeof out, "C:\\Q7", "ABCDEFGHIJ"));
    EXPECT_EQ('x', out[0]); // nothing written
    EXPECT_EQ('x', out[15]);

    ASSERT_TRUE(BuildSearchPattern(out, sizeof out, "C:\\Q7"));
    EXPECT_STREQ("C:\\Q7\\*.*", out);
    EXPECT_FALSE(BuildSearchPattern(out, sizeof out, "C:\\Q7\\ABCDEFG"));

    // A 259-byte directory leaves no room for any file name in MAX_PATH.
    std::string dir(259, 'd');
    char path[260];
    EXPECT_FALSE(JoinPath(path, sizeof path, dir.c_str(), "A"));
    EXPECT_FALSE(BuildSearchPattern(path, sizeof path, dir.c_str()));
    std::string dir254(254, 'd');
    EXPECT_TRUE(JoinPath(path, sizeof path, dir254.c_str(), "ABCD"));
    EXPECT_FALSE(JoinPath(path, sizeof path, dir254.c_str(), "ABCDE"));

    char prefix[8];
    std::memset(prefix, 'x', sizeof prefix);
    EXPECT_FALSE(CopyPathPrefix(prefix, sizeof prefix, "C:\\ABCDEFGH", 8));
    EXPECT_EQ('x', prefix[0]);
    EXPECT_TRUE(CopyPathPrefix(prefix, sizeof prefix, "C:\\ABCDEFGH", 7));
    EXPECT_STREQ("C:\\ABCD", prefix);
    EXPECT_FALSE(CopyPathPrefix(prefix, sizeof prefix, "C:", 5)); // past the string
}

TEST(Removal, OnlyADirectoryBelowADriveRootOfAnAbsoluteRecord) {
    // Record and the full path the platform gives for it.
    EXPECT_FALSE(RemovalTargetAllowed("", "C:\\q7t\\disc"));
    EXPECT_FALSE(RemovalTargetAllowed("C:", "C:\\q7t\\disc"));
    EXPECT_FALSE(RemovalTargetAllowed("C:\\", "C:\\"));
    EXPECT_FALSE(RemovalTargetAllowed("c:/", "c:\\"));
    EXPECT_FALSE(RemovalTargetAllowed("C:\\\\", "C:\\\\"));
    EXPECT_FALSE(RemovalTargetAllowed("C:\\.", "C:\\"));
    EXPECT_FALSE(RemovalTargetAllowed("C:\\Windows\\..", "C:\\"));
    EXPECT_FALSE(RemovalTargetAllowed("C:\\Q7\\..\\", "C:\\"));
    EXPECT_FALSE(RemovalTargetAllowed("C:.", "C:\\q7t\\disc"));
    EXPECT_FALSE(RemovalTargetAllowed("C:Q7", "C:\\q7t\\disc\\Q7"));
    EXPECT_FALSE(RemovalTargetAllowed(".", "C:\\q7t\\disc"));
    EXPECT_FALSE(RemovalTargetAllowed("Q7", "C:\\q7t\\disc\\Q7"));
    EXPECT_FALSE(RemovalTargetAllowed("\\", "C:\\"));
    EXPECT_FALSE(RemovalTargetAllowed("\\Q7", "C:\\Q7"));
    EXPECT_FALSE(RemovalTargetAllowed("\\\\server\\share", "\\\\server\\share"));
    EXPECT_FALSE(RemovalTargetAllowed("\\\\server\\share\\", "\\\\server\\share\\"));
    EXPECT_FALSE(RemovalTargetAllowed("\\\\server\\share\\Q7", "\\\\server\\share\\Q7"));
    EXPECT_FALSE(RemovalTargetAllowed("1:\\Q7", "1:\\Q7"));

    EXPECT_TRUE(RemovalTargetAllowed("C:\\Q7", "C:\\Q7"));
    EXPECT_TRUE(
        RemovalTargetAllowed("C:\\Program Files\\Rumik\\Q7\\", "C:\\Program Files\\Rumik\\Q7\\"));
    EXPECT_TRUE(RemovalTargetAllowed("C:\\Q7\\sub\\..", "C:\\Q7"));
    EXPECT_TRUE(RemovalTargetAllowed("C:\\\x83\x5C", "C:\\\x83\x5C")); // ソ ends in 0x5C
}
