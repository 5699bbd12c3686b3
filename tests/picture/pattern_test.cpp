// The pattern state and the pattern decodes: the state's steps against
// sequences written out by hand, the decodes against the plain decoder's
// picture let through the test's own reading of the mask.
#include "colrle.h"
#include "colrle_pattern.h"

#include "canvas.h"
#include "coded_pictures.h"

#include <gtest/gtest.h>
#include <algorithm>

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

namespace {

class PatternDecode : public ::testing::Test {
  protected:
    void TearDown() override {
        SetPattern(0, 0, 0);
    }
};

// Pixel (x, k) through `mask`: the row parity counts on over the columns of
// the same parity, so column i starts at parity (i / 2) * height.
bool LetThrough(uint32_t mask, uint32_t x, uint32_t k, uint32_t height) {
    uint32_t column = x / 4;
    bool odd = ((k + (column / 2) * height) & 1) != 0;
    uint32_t byte = odd ? mask & 0xFF : mask >> 8 & 0xFF;
    return (byte >> (7 - x % 8) & 1) != 0;
}

void ExpectPattern(const Pixels &p, uint32_t mask, bool keyed, const Canvas &got, uint8_t fill) {
    for (uint32_t k = 0; k < p.height; ++k)
        for (uint32_t x = 0; x < p.width; ++x) {
            bool write = LetThrough(mask, x, k, p.height) && !(keyed && p.at(x, k) == 12);
            ASSERT_EQ(write ? p.at(x, k) : fill, got.At(x, k))
                << "mask " << std::hex << mask << std::dec << " at " << x << "," << k << " height "
                << p.height;
        }
}

} // namespace

TEST_F(PatternDecode, FullAndEmptyMasks) {
    std::mt19937 rng(6);
    Pixels p = RandomPixels(rng, 28, 37, kPalette, true);
    Bytes stream = Encode(p);
    Canvas full(28, 37, 0x3C, true), plain(28, 37, 0x3C, true);
    SetPattern(0, 0xFFFF, 0);
    ColumnRleDecodePattern(full.Destination(), stream.data(), full.Stride());
    ColumnRleDecode(plain.Destination(), stream.data(), plain.Stride());
    EXPECT_EQ(plain.Pixels(), full.Pixels());

    Canvas empty(28, 37, 0x3C);
    SetPattern(0, 0x0000, 0);
    ColumnRleDecodePattern(empty.Destination(), stream.data(), empty.Stride());
    ColumnRleDecodePatternKey(empty.Destination(), stream.data(), empty.Stride());
    EXPECT_EQ(std::vector<uint8_t>(28 * 37, 0x3C), empty.Pixels());
    EXPECT_TRUE(full.GuardsIntact());
    EXPECT_TRUE(empty.GuardsIntact());
}

TEST_F(PatternDecode, Mask8008LightsOnePixelInEight) {
    Pixels p;
    p.width = 24;
    p.height = 4;
    p.data.assign(24 * 4, 0xE1);
    Bytes stream = Encode(p);
    Canvas canvas(24, 4, 0);
    SetPattern(0, 0x8008, 0);
    ColumnRleDecodePattern(canvas.Destination(), stream.data(), canvas.Stride());
    for (uint32_t k = 0; k < 4; ++k)
        for (uint32_t x = 0; x < 24; ++x) {
            bool lit = k % 2 == 0 ? x % 8 == 0 : x % 8 == 4;
            EXPECT_EQ(lit ? 0xE1 : 0, canvas.At(x, k)) << x << "," << k;
        }
}

TEST_F(PatternDecode, OddHeightStartsColumnsTwoAndThreeOnTheLowByte) {
    // Mask 0xFF00: only the rows of even parity are drawn.
    Pixels p;
    p.width = 24;
    p.height = 3;
    p.data.assign(24 * 3, 0x99);
    Bytes stream = Encode(p);
    Canvas canvas(24, 3, 0);
    SetPattern(0, 0xFF00, 0);
    ColumnRleDecodePattern(canvas.Destination(), stream.data(), canvas.Stride());
    for (uint32_t x = 0; x < 24; ++x) {
        uint32_t column = x / 4;
        bool flipped = column == 2 || column == 3; // (column / 2) * 3 is odd
        for (uint32_t k = 0; k < 3; ++k)
            EXPECT_EQ((k % 2 == 0) != flipped ? 0x99 : 0, canvas.At(x, k)) << x << "," << k;
    }
}

TEST_F(PatternDecode, RowsAfterAnOddTransparentRunKeepTheirParity) {
    // Column of height 6: three rows of the transparent cell 12 12 12 12,
    // then three rows of a drawn cell; mask 0xFF00 draws even rows only.
    Pixels p;
    p.width = 4;
    p.height = 6;
    for (uint32_t k = 0; k < 6; ++k)
        for (int j = 0; j < 4; ++j)
            p.data.push_back(k < 3 ? 12 : 0x21);
    Bytes stream = Encode(p);
    Canvas canvas(4, 6, 0);
    SetPattern(0, 0xFF00, 0);
    ColumnRleDecodePatternKey(canvas.Destination(), stream.data(), canvas.Stride());
    for (uint32_t k = 0; k < 6; ++k)
        EXPECT_EQ(k == 4 ? 0x21 : 0, canvas.At(0, k)) << k;
}

TEST_F(PatternDecode, RandomMasksAndPictures) {
    std::mt19937 rng(8);
    for (int round = 0; round < 40; ++round) {
        uint32_t width = 4 * (1 + rng() % 10);
        uint32_t height = 1 + rng() % (round % 4 == 0 ? 700 : 31);
        Pixels p = RandomPixels(rng, width, height, kPalette, round % 5 != 0);
        Bytes stream = round % 2 == 0 ? Encode(p) : EncodeSplit(p, rng);
        uint32_t mask = rng() & 0xFFFF;
        for (bool keyed : {false, true}) {
            Canvas canvas(width, height, 0x4B, round % 3 == 0);
            SetPattern(3, mask | 0xABCD0000, 1);
            if (keyed)
                ColumnRleDecodePatternKey(canvas.Destination(), stream.data(), canvas.Stride());
            else
                ColumnRleDecodePattern(canvas.Destination(), stream.data(), canvas.Stride());
            ExpectPattern(p, mask, keyed, canvas, 0x4B);
            ASSERT_TRUE(canvas.GuardsIntact());
            EXPECT_EQ(mask | 0xABCD0000, g_patternMask); // mode 3 holds the mask
            EXPECT_EQ(0u, g_patternStepsLeft);
        }
    }
}

TEST_F(PatternDecode, EachCallDrawsThroughTheNextMask) {
    Pixels p;
    p.width = 16;
    p.height = 2;
    p.data.assign(32, 0x77);
    Bytes stream = Encode(p);
    // Mode 1 from 0x0000 with one step: nothing drawn, then 0x8008, 0 left.
    SetPattern(1, 0x0000, 1);
    Canvas canvas(16, 2, 0);
    ColumnRleDecodePattern(canvas.Destination(), stream.data(), canvas.Stride());
    EXPECT_EQ(std::vector<uint8_t>(32, 0), canvas.Pixels());
    EXPECT_EQ(0x8008u, g_patternMask);
    EXPECT_EQ(0u, g_patternStepsLeft);
    // A dissolve: eight more calls in mode 1 light the picture step by step.
    SetPattern(1, 0x0000, 8);
    size_t lit = 0;
    for (int call = 0; call < 9; ++call) {
        ColumnRleDecodePattern(canvas.Destination(), stream.data(), canvas.Stride());
        std::vector<uint8_t> px = canvas.Pixels();
        size_t now = static_cast<size_t>(std::count(px.begin(), px.end(), 0x77));
        EXPECT_EQ(static_cast<size_t>(4 * call), now) << call;
        lit = now;
    }
    EXPECT_EQ(32u, lit);
}
