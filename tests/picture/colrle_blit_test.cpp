// The column-RLE drawing operations, checked against the plain decoder: every
// result must equal the picture decoded whole, then cut, keyed or masked.
#include "colrle.h"
#include "colrle_blit.h"

#include "canvas.h"
#include "coded_pictures.h"

#include <gtest/gtest.h>
#include <algorithm>

namespace {

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
