#include "record_rules.h"
#include "rules.h"
#include "strutil.h"

#include <gtest/gtest.h>
#include <cstring>
#include <string>
#include <vector>

TEST(VersionGate, AdmitsFrom351Only) {
    // GetVersion: major in the low byte, minor in the next one.
    EXPECT_FALSE(VersionAdmitted(0x3203));     // 3.50
    EXPECT_FALSE(VersionAdmitted(0x0A03));     // 3.10
    EXPECT_TRUE(VersionAdmitted(0x0004));      // 4.0
    EXPECT_TRUE(VersionAdmitted(0x3303));      // 3.51
    EXPECT_FALSE(VersionAdmitted(0xFFFF0A03)); // the high word is not looked at
    EXPECT_TRUE(VersionAdmitted(0x23F00206));  // 6.2 with build and platform bits
}

TEST(Centring, TruncatesTowardZero) {
    EXPECT_EQ(362, CentreOrigin(1024, 300));
    EXPECT_EQ(361, CentreOrigin(1024, 301));
    EXPECT_EQ(-30, CentreOrigin(640, 700));
    EXPECT_EQ(-30, CentreOrigin(640, 701));
    EXPECT_EQ(58, PictureSourceOrigin(580, 464));
    EXPECT_EQ(57, PictureSourceOrigin(580, 465));
    EXPECT_EQ(-10, PictureSourceOrigin(580, 601));
}

TEST(EnginePath, BuiltWhereItFits) {
    char out[268];
    ASSERT_TRUE(BuildEnginePath(out, sizeof out, false, "ignored"));
    EXPECT_STREQ("KBZ.EXE", out);
    ASSERT_TRUE(BuildEnginePath(out, sizeof out, true, "C:\\Q7\\"));
    EXPECT_STREQ("C:\\Q7\\\\KBZ.EXE", out); // the suffix is appended whole

    std::string longest(259, 'd');
    ASSERT_TRUE(BuildEnginePath(out, sizeof out, true, longest.c_str()));
    EXPECT_EQ(longest + "\\KBZ.EXE", out);
    char small[16];
    std::memset(small, 'x', sizeof small);
    small[0] = '\0';
    EXPECT_FALSE(BuildEnginePath(small, sizeof small, true, "C:\\Games\\Q7"));
    EXPECT_EQ('\0', small[0]);
    EXPECT_EQ('x', small[15]);

    char text[300];
    ASSERT_TRUE(BuildEngineMissingText(text, sizeof text, true, out));
    EXPECT_EQ(longest + "\\KBZ.EXE" + "\x82\xAA\x8D\xDD\x82\xE8\x82\xDC\x82\xB9\x82\xF1", text);
    ASSERT_TRUE(BuildEngineMissingText(text, sizeof text, false, out));
    EXPECT_STREQ("KBZ.EXE\x82\xAA\x8D\xDD\x82\xE8\x82\xDC\x82\xB9\x82\xF1", text);
}

TEST(StrUtil, AllOrNothing) {
    char buf[8] = "abc";
    EXPECT_TRUE(StrAppend(buf, sizeof buf, "defg"));
    EXPECT_STREQ("abcdefg", buf);
    EXPECT_FALSE(StrAppend(buf, sizeof buf, "h"));
    EXPECT_STREQ("abcdefg", buf);
    EXPECT_FALSE(StrCopy(buf, sizeof buf, "12345678"));
    EXPECT_STREQ("abcdefg", buf);
    EXPECT_TRUE(StrJoin3(buf, sizeof buf, "a", "\\", "bcdef"));
    EXPECT_STREQ("a\\bcdef", buf);
    EXPECT_FALSE(StrJoin3(buf, sizeof buf, "a", "\\", "bcdefg"));
    EXPECT_TRUE(StrEqual("InstallDir", "InstallDir"));
    EXPECT_FALSE(StrEqual("installdir", "InstallDir"));
    EXPECT_FALSE(StrEqual("InstallDir2", "InstallDir"));
}

TEST(InstallRecordData, RefusesWhatDidNotFit) {
    const long kMoreData = 234;
    char buf[260];
    std::memset(buf, 'x', sizeof buf);
    EXPECT_FALSE(AcceptInstallDirData(kMoreData, buf, 300, sizeof buf));
    EXPECT_EQ('\0', buf[0]);

    std::memset(buf, 'x', sizeof buf); // 260 bytes with no terminator
    EXPECT_FALSE(AcceptInstallDirData(0, buf, 260, sizeof buf));
    EXPECT_EQ('\0', buf[0]);

    std::memset(buf, 'x', sizeof buf); // a 259-character directory with its terminator
    buf[259] = '\0';
    EXPECT_TRUE(AcceptInstallDirData(0, buf, 260, sizeof buf));
    EXPECT_EQ(259u, std::strlen(buf));

    std::memcpy(buf, "C:\\Q7", 5); // written without a terminator
    EXPECT_TRUE(AcceptInstallDirData(0, buf, 5, sizeof buf));
    EXPECT_STREQ("C:\\Q7", buf);

    buf[0] = '\0'; // an empty string still names a directory
    EXPECT_TRUE(AcceptInstallDirData(0, buf, 1, sizeof buf));
}

TEST(InstallRecordScan, EndsWhenEveryIndexFails) {
    // A key deleted during the scan answers every index with an error.
    uint32_t visits = 0;
    EXPECT_FALSE(ScanRecordValues(RecordScanLimit(true, 3), [&](uint32_t) {
        ++visits;
        return kScanNextValue;
    }));
    EXPECT_GE(visits, 3u);
    EXPECT_LE(visits, 3u + 1000u);

    visits = 0;
    EXPECT_FALSE(ScanRecordValues(RecordScanLimit(false, 0), [&](uint32_t) {
        ++visits;
        return kScanNextValue;
    }));
    EXPECT_GE(visits, 1u);
    EXPECT_LE(visits, 100000u);

    // A value count near the top of the range does not wrap to a small bound.
    EXPECT_EQ(0xFFFFFFFFu, RecordScanLimit(true, 0xFFFFFFF0u));
}

TEST(InstallRecordScan, PassesOverAFailingEntryAndStopsAtTheRecord) {
    // Index 1 fails, the record is at index 2 of a key of three values.
    std::vector<uint32_t> seen;
    EXPECT_TRUE(ScanRecordValues(RecordScanLimit(true, 3), [&](uint32_t index) {
        seen.push_back(index);
        return index == 2 ? kScanFound : kScanNextValue;
    }));
    EXPECT_EQ((std::vector<uint32_t>{0, 1, 2}), seen);

    // Values added meanwhile are still reached: the fifth of a key counted at three.
    seen.clear();
    EXPECT_TRUE(ScanRecordValues(RecordScanLimit(true, 3), [&](uint32_t index) {
        seen.push_back(index);
        return index == 4 ? kScanFound : kScanNextValue;
    }));
    EXPECT_EQ(5u, seen.size());

    seen.clear();
    EXPECT_FALSE(ScanRecordValues(RecordScanLimit(true, 3), [&](uint32_t index) {
        seen.push_back(index);
        return index == 1 ? kScanNoMoreValues : kScanNextValue;
    }));
    EXPECT_EQ(2u, seen.size());
}
