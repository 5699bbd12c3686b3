#include "rules.h"

#include <gtest/gtest.h>
#include <cstring>
#include <string>

TEST(VersionGate, AdmitsFrom351Only) {
    // GetVersion: major in the low byte, minor in the next one.
    EXPECT_FALSE(VersionAdmitted(0x3203));     // 3.50
    EXPECT_FALSE(VersionAdmitted(0x0A03));     // 3.10
    EXPECT_TRUE(VersionAdmitted(0x0004));      // 4.0
    EXPECT_TRUE(VersionAdmitted(0x3303));      // 3.51
    EXPECT_FALSE(VersionAdmitted(0xFFFF0A03)); // the high word is not looked at
    EXPECT_TRUE(VersionAdmitted(0x23F00206));  // 6.2 with build and platform bits
}

TEST(PictureOrigin, TruncatesTowardZero) {
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
