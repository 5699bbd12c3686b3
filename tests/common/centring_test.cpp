#include "centring.h"

#include <gtest/gtest.h>

TEST(Centring, TruncatesTowardZero) {
    EXPECT_EQ(362, CentreOrigin(1024, 300));
    EXPECT_EQ(361, CentreOrigin(1024, 301));
    EXPECT_EQ(-30, CentreOrigin(640, 700));
    EXPECT_EQ(-30, CentreOrigin(640, 701));
}
