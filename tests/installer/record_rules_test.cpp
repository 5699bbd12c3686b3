#include "record_rules.h"

#include <gtest/gtest.h>
#include <cstdint>
#include <cstring>
#include <vector>

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
