// The column-RLE decoders: stream rules, strides, checked against unchecked.
#include "colrle.h"
#include "colrle_encode.h"
#include "colrle_walk.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

void PutHeader(Bytes &b, uint32_t width, uint32_t height) {
    b.push_back(static_cast<uint8_t>(width));
    b.push_back(static_cast<uint8_t>(width >> 8));
    b.push_back(static_cast<uint8_t>(height));
    b.push_back(static_cast<uint8_t>(height >> 8));
}

void PutCell(Bytes &b, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// Decodes top-down (stride +width) with the trusted decoder.
Bytes Decode(const Bytes &stream) {
    uint32_t width = ColumnRleWidth(stream.data());
    uint32_t height = ColumnRleHeight(stream.data());
    Bytes out(static_cast<size_t>(width) * height, 0xEE);
    ColumnRleDecode(out.data(), stream.data(), static_cast<int32_t>(width));
    return out;
}

// Decodes top-down with the checked decoder; fills `ok`.
Bytes DecodeChecked(const Bytes &stream, bool *ok) {
    uint32_t width = 0, height = 0;
    if (!ColumnRleReadHeader(stream.data(), stream.size(), &width, &height)) {
        *ok = false;
        return Bytes();
    }
    Bytes out(static_cast<size_t>(width) * height, 0xEE);
    *ok = ColumnRleDecodeChecked(out.data(), stream.data(), stream.size(),
                                 static_cast<int32_t>(width));
    return out;
}

uint32_t CellOf(const Bytes &pixels, uint32_t width, uint32_t column, uint32_t row) {
    uint32_t v;
    std::memcpy(&v, pixels.data() + static_cast<size_t>(row) * width + 4 * column, 4);
    return v;
}

const uint32_t P = 0x11121314, Q = 0x21222324, R = 0x31323334;

TEST(ColumnRleDecode, WorkedColumnOfHeightSix) {
    // P P P Q R R top to bottom: P, P, 2, Q, R, R, 1.
    Bytes s;
    PutHeader(s, 4, 6);
    PutCell(s, P);
    PutCell(s, P);
    s.push_back(2);
    PutCell(s, Q);
    PutCell(s, R);
    PutCell(s, R);
    s.push_back(1);
    ASSERT_EQ(s.size(), 4u + 22u);
    Bytes out = Decode(s);
    const uint32_t expect[6] = {P, P, P, Q, R, R};
    for (uint32_t k = 0; k < 6; ++k)
        EXPECT_EQ(CellOf(out, 4, 0, k), expect[k]) << "row " << k;
}

TEST(ColumnRleDecode, HeightOneHasNoCountBytes) {
    // Equal neighbouring columns stay separate cells: no run spans columns.
    Bytes s;
    PutHeader(s, 12, 1);
    PutCell(s, P);
    PutCell(s, P);
    PutCell(s, P);
    Bytes out = Decode(s);
    for (uint32_t i = 0; i < 3; ++i)
        EXPECT_EQ(CellOf(out, 12, i, 0), P);
    bool ok = false;
    EXPECT_EQ(DecodeChecked(s, &ok), out);
    EXPECT_TRUE(ok);
}

TEST(ColumnRleDecode, LongAndShortCounts) {
    // 440 equal rows: cell, marker, 0, 183 -- 10 bytes.
    Bytes s;
    PutHeader(s, 4, 440);
    PutCell(s, Q);
    PutCell(s, Q);
    s.push_back(0);
    s.push_back(183);
    ASSERT_EQ(s.size(), 14u);
    Bytes out = Decode(s);
    for (uint32_t k = 0; k < 440; ++k)
        ASSERT_EQ(CellOf(out, 4, 0, k), Q) << "row " << k;

    // 0, 0 means 256 further copies (257 rows); 255 means 256 rows; the
    // columns after them start fresh.
    Bytes t;
    PutHeader(t, 8, 257);
    PutCell(t, P);
    PutCell(t, P);
    t.push_back(0);
    t.push_back(0);
    PutCell(t, R);
    PutCell(t, R);
    t.push_back(255);
    PutCell(t, Q);
    Bytes out2 = Decode(t);
    for (uint32_t k = 0; k < 257; ++k) {
        ASSERT_EQ(CellOf(out2, 8, 0, k), P) << "row " << k;
        ASSERT_EQ(CellOf(out2, 8, 1, k), k < 256 ? R : Q) << "row " << k;
    }
    bool ok = false;
    EXPECT_EQ(DecodeChecked(t, &ok), out2);
    EXPECT_TRUE(ok);
}

TEST(ColumnRleDecode, CellsNextToRuns) {
    // Column 0: a run ends on the last row; column 1 starts with the same
    // cell, stored whole. Column 1: after a run that leaves rows, a cell
    // equal to the run's value is one row, and equal bytes after it open a
    // new run.
    Bytes s;
    PutHeader(s, 8, 6);
    PutCell(s, Q);
    PutCell(s, P);
    PutCell(s, P);
    s.push_back(4); // rows 1..5 = P, column complete
    PutCell(s, P);  // column 1, row 0
    PutCell(s, P);
    s.push_back(1); // row 1 = P
    PutCell(s, P);  // row 2: a fresh cell equal to the run
    PutCell(s, R);  // row 3
    PutCell(s, R);
    s.push_back(1); // row 4 = R
    PutCell(s, R);  // row 5: fresh, column complete
    Bytes out = Decode(s);
    const uint32_t col0[6] = {Q, P, P, P, P, P};
    const uint32_t col1[6] = {P, P, P, R, R, R};
    for (uint32_t k = 0; k < 6; ++k) {
        EXPECT_EQ(CellOf(out, 8, 0, k), col0[k]) << "row " << k;
        EXPECT_EQ(CellOf(out, 8, 1, k), col1[k]) << "row " << k;
    }
    bool ok = false;
    EXPECT_EQ(DecodeChecked(s, &ok), out);
    EXPECT_TRUE(ok);
}

TEST(ColumnRleDecode, NegativeStrideGivesRowsInOppositeOrder) {
    const uint32_t width = 12, height = 37;
    Bytes pixels(width * height);
    std::mt19937 rng(7);
    for (uint32_t k = 0; k < height; ++k)
        for (uint32_t x = 0; x < width; ++x)
            pixels[k * width + x] = static_cast<uint8_t>((k / (1 + x % 5)) * 3 + rng() % 2);
    Bytes s = ColumnRleEncode(pixels.data(), width, height);
    Bytes down = Decode(s);
    EXPECT_EQ(down, pixels);
    Bytes up(pixels.size(), 0xEE), upChecked(pixels.size(), 0xEE);
    ColumnRleDecode(up.data() + (height - 1) * width, s.data(), -static_cast<int32_t>(width));
    EXPECT_TRUE(ColumnRleDecodeChecked(upChecked.data() + (height - 1) * width, s.data(), s.size(),
                                       -static_cast<int32_t>(width)));
    EXPECT_EQ(upChecked, up);
    for (uint32_t k = 0; k < height; ++k)
        EXPECT_EQ(0,
                  std::memcmp(up.data() + (height - 1 - k) * width, down.data() + k * width, width))
            << "row " << k;
}

// Records the walker's calls as (value, rows) pairs: rows 0 marks a Cell.
struct RecordingSink {
    std::vector<std::pair<uint32_t, uint32_t>> calls;
    void Cell(uint32_t v) {
        calls.emplace_back(v, 0);
    }
    void Run(uint32_t v, uint32_t count) {
        calls.emplace_back(v, count);
    }
};

TEST(ColumnRleWalk, ReportsGroupsAndFindsColumnEnds) {
    // Column 0 is the worked column; column 1 is one run of 6 rows.
    Bytes s;
    PutHeader(s, 8, 6);
    PutCell(s, P);
    PutCell(s, P);
    s.push_back(2);
    PutCell(s, Q);
    PutCell(s, R);
    PutCell(s, R);
    s.push_back(1);
    const size_t column1 = s.size();
    PutCell(s, Q);
    PutCell(s, Q);
    s.push_back(5);

    RecordingSink sink;
    const uint8_t *next = ColumnRleWalkColumn(ColumnRleStream(s.data()), 6, sink);
    EXPECT_EQ(next, s.data() + column1);
    const std::vector<std::pair<uint32_t, uint32_t>> expect = {
        {P, 0}, {P, 2}, {Q, 0}, {R, 0}, {R, 1}};
    EXPECT_EQ(sink.calls, expect);

    RecordingSink checked;
    EXPECT_EQ(
        ColumnRleWalkColumnChecked(ColumnRleStream(s.data()), s.data() + s.size(), 6, checked),
        s.data() + column1);
    EXPECT_EQ(checked.calls, expect);

    EXPECT_EQ(ColumnRleSkipColumn(ColumnRleStream(s.data()), 6), s.data() + column1);
    EXPECT_EQ(ColumnRleSkipColumns(ColumnRleStream(s.data()), 6, 2), s.data() + s.size());

    // The same column cut one byte short, and one claiming 7 rows of Q in a
    // column of 6, are refused.
    RecordingSink refused;
    EXPECT_EQ(
        ColumnRleWalkColumnChecked(ColumnRleStream(s.data()), s.data() + column1 - 1, 6, refused),
        nullptr);
    Bytes t(s.begin(), s.end());
    t.back() = 6;
    EXPECT_EQ(ColumnRleWalkColumnChecked(t.data() + column1, t.data() + t.size(), 6, refused),
              nullptr);
}

} // namespace
