#include "colrle_blit.h"

#include <gtest/gtest.h>

namespace {

class PatternState : public ::testing::Test {
  protected:
    void SetUp() override {
        SetPattern(0, 0, 0);
    }
    void TearDown() override {
        SetPattern(0, 0, 0);
    }
};

} // namespace

TEST_F(PatternState, GrowSequenceFromEmpty) {
    SetPattern(1, 0x0000, 20);
    const uint32_t expected[] = {0x8008, 0xC00C, 0xE00E, 0xF00F, 0xF88F,
                                 0xFCCF, 0xFEEF, 0xFFFF, 0xFFFF, 0xFFFF};
    for (uint32_t want : expected) {
        AdvancePattern();
        EXPECT_EQ(want, g_patternMask);
    }
    EXPECT_EQ(10u, g_patternStepsLeft);
    EXPECT_EQ(1u, g_patternMode);
}

TEST_F(PatternState, ShrinkSequenceFromFull) {
    SetPattern(2, 0xFFFF, 9);
    const uint32_t expected[] = {0x7FF7, 0x3FF3, 0x1FF1, 0x0FF0, 0x0770,
                                 0x0330, 0x0110, 0x0000, 0x0000};
    for (uint32_t want : expected) {
        AdvancePattern();
        EXPECT_EQ(want, g_patternMask);
    }
    EXPECT_EQ(0u, g_patternStepsLeft);
}

TEST_F(PatternState, GrowAndShrinkEndWithinEightStepsFromAnyMask) {
    for (uint32_t start = 0; start <= 0xFFFF; ++start) {
        SetPattern(1, start, 8);
        for (int i = 0; i < 8; ++i)
            AdvancePattern();
        ASSERT_EQ(0xFFFFu, g_patternMask) << std::hex << start;
        SetPattern(2, start, 8);
        for (int i = 0; i < 8; ++i)
            AdvancePattern();
        ASSERT_EQ(0x0000u, g_patternMask) << std::hex << start;
    }
}

TEST_F(PatternState, StepsLeftZeroOrHoldModeKeepTheMask) {
    SetPattern(1, 0x1234, 0);
    AdvancePattern();
    EXPECT_EQ(0x1234u, g_patternMask);
    EXPECT_EQ(0u, g_patternStepsLeft);

    SetPattern(3, 0x1234, 5);
    AdvancePattern();
    EXPECT_EQ(0x1234u, g_patternMask);
    EXPECT_EQ(4u, g_patternStepsLeft);

    SetPattern(0, 0xABCD, 1);
    AdvancePattern();
    AdvancePattern();
    EXPECT_EQ(0xABCDu, g_patternMask);
    EXPECT_EQ(0u, g_patternStepsLeft);
}

TEST_F(PatternState, HighHalfOfTheMaskIsLeftAlone) {
    SetPattern(1, 0xDEAD0000, 3);
    AdvancePattern();
    EXPECT_EQ(0xDEAD8008u, g_patternMask);
    SetPattern(2, 0xBEEFFFFF, 3);
    AdvancePattern();
    EXPECT_EQ(0xBEEF7FF7u, g_patternMask);
}
