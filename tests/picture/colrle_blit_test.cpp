// The column-RLE drawing operations, checked against the plain decoder: every
// result must equal the picture decoded whole, then cut, keyed or masked.
#include "colrle.h"
#include "colrle_blit.h"
#include "colrle_encode.h"

#include "canvas.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <cstring>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Encode(const Pixels &p) {
    return ColumnRleEncode(p.data.data(), p.width, p.height);
}

// Another valid coding of the same picture: long stretches split into several
// runs at random, and single cells after runs of the same value, which the
// canonical encoder never writes.
Bytes EncodeSplit(const Pixels &p, std::mt19937 &rng) {
    Bytes out = {static_cast<uint8_t>(p.width), static_cast<uint8_t>(p.width >> 8),
                 static_cast<uint8_t>(p.height), static_cast<uint8_t>(p.height >> 8)};
    auto cellAt = [&](uint32_t col, uint32_t row) {
        uint32_t v;
        std::memcpy(&v, &p.data[static_cast<size_t>(row) * p.width + 4 * col], 4);
        return v;
    };
    auto put = [&](uint32_t v) {
        uint8_t b[4];
        std::memcpy(b, &v, 4);
        out.insert(out.end(), b, b + 4);
    };
    for (uint32_t col = 0; col < p.width / 4; ++col) {
        uint32_t row = 0;
        while (row < p.height) {
            uint32_t v = cellAt(col, row);
            uint32_t n = 1;
            while (row + n < p.height && cellAt(col, row + n) == v)
                ++n;
            row += n;
            // A single cell may only end a stretch: equal bytes after it
            // would be read as its run marker.
            while (n != 0) {
                if (n == 1) {
                    put(v);
                    break;
                }
                uint32_t most = n < 512 ? n : 512;
                uint32_t rows = 2 + rng() % (most - 1);
                put(v);
                put(v);
                uint32_t count = rows - 1;
                if (count < 256) {
                    out.push_back(static_cast<uint8_t>(count));
                } else {
                    out.push_back(0);
                    out.push_back(static_cast<uint8_t>(count - 256));
                }
                n -= rows;
            }
        }
    }
    return out;
}

Pixels Decoded(const Bytes &stream) {
    Pixels p;
    p.width = stream[0] | stream[1] << 8;
    p.height = stream[2] | stream[3] << 8;
    p.data.assign(static_cast<size_t>(p.width) * p.height, 0xEE);
    ColumnRleDecode(p.data.data(), stream.data(), static_cast<int32_t>(p.width));
    return p;
}

struct Window {
    uint32_t x, y, w, h;
};

// The window cut from the whole picture, wrapping horizontally, optionally
// over `under` (the canvas before the call) under the key rule.
void ExpectWindow(const Pixels &whole, Window win, const Canvas &under, const Canvas &got,
                  const uint32_t *key) {
    uint32_t columns = whole.width / 4;
    uint32_t first = win.x / 4 == columns ? 0 : win.x / 4;
    for (uint32_t r = 0; r < win.h; ++r)
        for (uint32_t c = 0; c < (win.w & ~3u); ++c) {
            uint32_t col = first + c / 4;
            if (col >= columns)
                col -= columns;
            uint8_t src = whole.at(4 * col + c % 4, win.y + r);
            uint8_t want = key != nullptr && src == (*key >> 24) ? under.At(c, r) : src;
            ASSERT_EQ(want, got.At(c, r)) << "window " << win.x << "," << win.y << " " << win.w
                                          << "x" << win.h << " at " << c << "," << r;
        }
}

const std::vector<uint8_t> kPalette = {0, 12, 0x0C, 0x30, 0x31, 0xFF, 0x80};

} // namespace

TEST(ColumnRleDecodeClip, WholeWindowEqualsPlainDecode) {
    std::mt19937 rng(1);
    for (uint32_t height : {1u, 2u, 7u, 300u, 600u}) {
        Pixels p = RandomPixels(rng, 24, height, kPalette, true);
        Bytes stream = Encode(p);
        for (bool bottomUp : {false, true}) {
            Canvas plain(24, height, 0x11, bottomUp), clip(24, height, 0x11, bottomUp);
            ColumnRleDecode(plain.Destination(), stream.data(), plain.Stride());
            ColumnRleDecodeClip(clip.Destination(), stream.data(), clip.Stride(), 0, 0, 24, height);
            EXPECT_EQ(p.data, plain.Pixels());
            EXPECT_EQ(plain.Pixels(), clip.Pixels());
            EXPECT_TRUE(clip.GuardsIntact());
        }
    }
}

TEST(ColumnRleDecodeClip, EqualsWholeDecodeThenCut) {
    std::mt19937 rng(2);
    for (int round = 0; round < 60; ++round) {
        uint32_t width = 4 * (1 + rng() % 9);
        uint32_t height = 1 + rng() % (round % 3 == 0 ? 700 : 40);
        Pixels p = RandomPixels(rng, width, height, kPalette, round % 4 != 1);
        Bytes stream = round % 2 == 0 ? Encode(p) : EncodeSplit(p, rng);
        ASSERT_EQ(p.data, Decoded(stream).data);
        std::vector<Window> windows = {{0, 0, width, height},
                                       {width, 0, width, height}, // x = width acts as 0
                                       {width - 4, 0, 4, height},
                                       {0, height - 1, 4, 1},
                                       {width - 4, height / 2, width, height - height / 2}};
        for (int i = 0; i < 25; ++i) {
            Window win;
            win.x = rng() % (width + 1);
            win.w = 4 + rng() % (width - 3);
            win.y = rng() % height;
            win.h = 1 + rng() % (height - win.y);
            windows.push_back(win);
        }
        for (Window win : windows) {
            bool bottomUp = rng() % 2 == 0;
            Canvas canvas(win.w & ~3u, win.h, 0x42, bottomUp);
            ColumnRleDecodeClip(canvas.Destination(), stream.data(), canvas.Stride(), win.x, win.y,
                                win.w, win.h);
            ExpectWindow(p, win, canvas, canvas, nullptr);
            ASSERT_TRUE(canvas.GuardsIntact());

            uint32_t key = (kPalette[rng() % kPalette.size()] << 24) | (rng() & 0xFFFFFF);
            Canvas keyed(win.w & ~3u, win.h, 0x42, bottomUp);
            Canvas under = keyed;
            ColumnRleDecodeClipKey(key, keyed.Destination(), stream.data(), keyed.Stride(), win.x,
                                   win.y, win.w, win.h);
            ExpectWindow(p, win, under, keyed, &key);
            ASSERT_TRUE(keyed.GuardsIntact());
        }
    }
}

TEST(ColumnRleDecodeClip, RunsStraddlingTheWindowEdges) {
    // Column 0: A x6, B, C x3. Column 1: D x10, so any misstep in the walk
    // of column 0 shows in column 1.
    const uint8_t A = 0xA1, B = 0xB2, C = 0xC3, D = 0xD4;
    Pixels p;
    p.width = 8;
    p.height = 10;
    for (uint32_t r = 0; r < 10; ++r) {
        uint8_t v = r < 6 ? A : r == 6 ? B : C;
        for (uint8_t b : {v, v, v, v, D, D, D, D})
            p.data.push_back(b);
    }
    Bytes stream = Encode(p);
    // Run above into the window; run covering the whole window; window
    // ending on a single cell; window ending on the first row of a run; run
    // starting inside and reaching past the bottom.
    for (Window win :
         {Window{0, 4, 8, 4}, Window{0, 1, 8, 3}, Window{0, 0, 8, 7}, Window{0, 3, 8, 5},
          Window{0, 7, 8, 2}, Window{0, 8, 8, 2}, Window{4, 2, 8, 5}}) {
        Canvas canvas(8, win.h, 0);
        ColumnRleDecodeClip(canvas.Destination(), stream.data(), canvas.Stride(), win.x, win.y,
                            win.w, win.h);
        ExpectWindow(p, win, canvas, canvas, nullptr);
        EXPECT_TRUE(canvas.GuardsIntact());
    }
}

TEST(ColumnRleDecodeClip, WrapsAndTruncatesToWholeCells) {
    std::mt19937 rng(3);
    Pixels p = RandomPixels(rng, 20, 9, kPalette, true);
    Bytes stream = Encode(p);
    // x = 4 (columns - 1) with w = 8: the last column, then column 0.
    Canvas wrap(8, 9);
    ColumnRleDecodeClip(wrap.Destination(), stream.data(), wrap.Stride(), 16, 0, 8, 9);
    for (uint32_t r = 0; r < 9; ++r)
        for (uint32_t c = 0; c < 4; ++c) {
            EXPECT_EQ(p.at(16 + c, r), wrap.At(c, r));
            EXPECT_EQ(p.at(c, r), wrap.At(4 + c, r));
        }
    // x = 5 acts as 4, w = 11 as 8.
    Canvas a(8, 9), b(8, 9);
    ColumnRleDecodeClip(a.Destination(), stream.data(), a.Stride(), 5, 0, 11, 9);
    ColumnRleDecodeClip(b.Destination(), stream.data(), b.Stride(), 4, 0, 8, 9);
    EXPECT_EQ(b.Pixels(), a.Pixels());
    EXPECT_TRUE(a.GuardsIntact());
    // x = width is x = 0.
    Canvas atWidth(20, 9), atZero(20, 9);
    ColumnRleDecodeClip(atWidth.Destination(), stream.data(), atWidth.Stride(), 20, 0, 20, 9);
    ColumnRleDecodeClip(atZero.Destination(), stream.data(), atZero.Stride(), 0, 0, 20, 9);
    EXPECT_EQ(p.data, atZero.Pixels());
    EXPECT_EQ(p.data, atWidth.Pixels());
}

TEST(ColumnRleDecodeClip, RefusesWindowsPastTheBottom) {
    std::mt19937 rng(4);
    Pixels p = RandomPixels(rng, 12, 10, kPalette, true);
    Bytes stream = Encode(p);
    for (bool keyed : {false, true}) {
        auto draw = [&](Canvas &c, Window win) {
            if (keyed)
                ColumnRleDecodeClipKey(0x0C000000, c.Destination(), stream.data(), c.Stride(),
                                       win.x, win.y, win.w, win.h);
            else
                ColumnRleDecodeClip(c.Destination(), stream.data(), c.Stride(), win.x, win.y, win.w,
                                    win.h);
        };
        // y + h = height reaches the last row.
        Canvas last(12, 3, 0x77);
        draw(last, Window{0, 7, 12, 3});
        for (uint32_t c = 0; c < 12; ++c) {
            uint8_t want = keyed && p.at(c, 9) == 12 ? 0x77 : p.at(c, 9);
            EXPECT_EQ(want, last.At(c, 2));
        }
        EXPECT_NE(std::vector<uint8_t>(36, 0x77), last.Pixels());
        // y + h = height + 1, and windows whose y + h passes 2^32, draw
        // nothing at all.
        for (Window win : {Window{0, 7, 12, 4}, Window{0, 0, 12, 11}, Window{0, 10, 12, 1},
                           Window{0, 0xFFFFFFFFu, 12, 2}, Window{0, 5, 12, 0xFFFFFFFCu}}) {
            Canvas none(12, 1, 0x77);
            draw(none, win);
            EXPECT_EQ(std::vector<uint8_t>(12, 0x77), none.Pixels()) << win.y << "+" << win.h;
            EXPECT_TRUE(none.GuardsIntact());
        }
        // Past the right edge or wider than the picture: refused as well
        // rather than walked off the end of the stream.
        for (Window win : {Window{16, 0, 4, 1}, Window{0, 0, 16, 1}}) {
            Canvas none(16, 1, 0x77);
            draw(none, win);
            EXPECT_EQ(std::vector<uint8_t>(16, 0x77), none.Pixels());
        }
    }
}

TEST(ColumnRleDecodeKey, KeyByteIsTheMostSignificantByte) {
    // One column: a run of the transparent cell, a mixed cell, a run of a
    // key-free cell and a run of a mixed cell.
    Pixels p;
    p.width = 4;
    p.height = 8;
    const uint8_t rows[8][4] = {{12, 12, 12, 12}, {12, 12, 12, 12}, {12, 12, 12, 12},
                                {0, 12, 5, 12},   {7, 7, 7, 7},     {7, 7, 7, 7},
                                {0, 0, 12, 9},    {0, 0, 12, 9}};
    for (const auto &row : rows)
        p.data.insert(p.data.end(), row, row + 4);
    Bytes stream = Encode(p);

    Canvas twelve(4, 8, 0x66);
    ColumnRleDecodeKey(0x0C000000, twelve.Destination(), stream.data(), twelve.Stride());
    Canvas zero(4, 8, 0x66, true);
    ColumnRleDecodeKey(0x0000000C, zero.Destination(), stream.data(), zero.Stride());
    for (uint32_t r = 0; r < 8; ++r)
        for (uint32_t c = 0; c < 4; ++c) {
            EXPECT_EQ(rows[r][c] == 12 ? 0x66 : rows[r][c], twelve.At(c, r)) << c << "," << r;
            EXPECT_EQ(rows[r][c] == 0 ? 0x66 : rows[r][c], zero.At(c, r)) << c << "," << r;
        }
    EXPECT_TRUE(twelve.GuardsIntact());
    EXPECT_TRUE(zero.GuardsIntact());
}

TEST(ColumnRleDecodeKey, RandomPicturesUnderEveryKey) {
    std::mt19937 rng(5);
    for (int round = 0; round < 20; ++round) {
        Pixels p = RandomPixels(rng, 4 * (1 + rng() % 8), 1 + rng() % 600, kPalette, true);
        Bytes stream = round % 2 == 0 ? Encode(p) : EncodeSplit(p, rng);
        for (uint8_t keyByte : kPalette) {
            uint32_t key = static_cast<uint32_t>(keyByte) << 24 | (rng() & 0xFFFFFF);
            Canvas canvas(p.width, p.height, 0x5A, round % 3 == 0);
            ColumnRleDecodeKey(key, canvas.Destination(), stream.data(), canvas.Stride());
            for (uint32_t r = 0; r < p.height; ++r)
                for (uint32_t c = 0; c < p.width; ++c)
                    ASSERT_EQ(p.at(c, r) == keyByte ? 0x5A : p.at(c, r), canvas.At(c, r));
            ASSERT_TRUE(canvas.GuardsIntact());
        }
    }
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
