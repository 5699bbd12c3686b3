#include "strutil.h"

#include <gtest/gtest.h>

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
