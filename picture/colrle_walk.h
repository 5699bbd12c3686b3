// The column stream walker: the one place that parses column-RLE groups.
// Every column operation (the plain decoder, the checked decoder, and the
// keyed, clipped and pattern decodes) walks the stream through it and only
// differs in its sink, the object told which rows hold which cell.
//
// A column of `height` rows is a sequence of groups, top row first:
//   V           a single cell, one row;
//   V V m       a run: the cell, its marker (the same 4 bytes), count m in
//               1..255, giving 1 + m rows;
//   V V 0 n     a run with the long count 256 + n, giving 257 + n rows.
// A stored cell followed by equal bytes always opens a run; the cell after a
// run is stored whole and never compared with it; once the column's last row
// is covered, nothing more of it is read.
//
// Sink: any type with
//   void Cell(uint32_t v);                  the next row holds the cell v
//   void Run(uint32_t v, uint32_t count);   the next `count` rows (1..511)
//                                           hold v again
// The walker calls Cell once for every cell stored in the stream, and Run
// right after the Cell of a run's first row, so a sink sees Cell(v) then
// Run(v, m) for a run of 1 + m rows. Rows come strictly top to bottom and
// add up to exactly `height` for a valid column; the sink keeps its own
// output position (and its own row counter if it needs one). A cell is the
// 4 bytes as they lie in the stream, loaded whole: on the little-endian
// targets pixel j (from the left) is bits 8j to 8j+7 of v.
//
// How the other operations fit: a windowed decode counts rows in its sink
// and writes only those inside the window, while the walk still reads the
// whole column so that the stream stays in step; a keyed decode tests the
// cell in Cell and lets Run reuse that test; a pattern decode picks its mask
// byte from its row counter. All of it inlines, so a sink that only stores
// costs what a hand-written loop costs.
//
// Everything here is header-only and free of the C runtime: it is compiled
// into Q7.EXE as well as into the native tests.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

inline uint32_t ColumnRleLoadCell(const uint8_t *p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

inline void ColumnRleStoreCell(uint8_t *p, uint32_t v) {
    std::memcpy(p, &v, 4);
}

inline uint32_t ColumnRleLoad16(const uint8_t *p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8;
}

// Header fields of a column-RLE picture (source points at its width field).
inline uint32_t ColumnRleWidth(const uint8_t *source) {
    return ColumnRleLoad16(source);
}
inline uint32_t ColumnRleHeight(const uint8_t *source) {
    return ColumnRleLoad16(source + 2);
}
inline uint32_t ColumnRleColumns(const uint8_t *source) {
    return ColumnRleLoad16(source) >> 2;
}
inline const uint8_t *ColumnRleStream(const uint8_t *source) {
    return source + 4;
}

// The coding's sizes, which the walk's margins below are built from.
constexpr size_t kColumnRleCellBytes = 4;       // a cell, and a run's marker
constexpr size_t kColumnRleShortCountBytes = 1; // count 1..255
constexpr size_t kColumnRleLongCountBytes = 2;  // 0, then n: count 256 + n
constexpr uint32_t kColumnRleLongCountBase = 256;
// A column has at least one row, so at least one cell.
constexpr size_t kColumnRleMinColumnBytes = kColumnRleCellBytes;
// The largest count a walk hands to a sink's Run; the smallest is 1.
constexpr uint32_t kColumnRleMaxRunCount = 511;
static_assert(kColumnRleMaxRunCount == kColumnRleLongCountBase + 0xFF,
              "a long count is 256 plus one byte");

// The most stream bytes a run-checked walk of one column of `height` rows
// can read, whether the column is valid or not: runs of two rows (9 bytes
// each) are the costliest coding, and a column may end in a cell, its marker
// and a long count (10 bytes for its last two rows) that proves too long
// only once it has been read. A checked walk with this much room left needs
// no per-read bounds tests.
inline size_t ColumnRleColumnBound(uint32_t height) {
    return static_cast<size_t>(height) * 4 + height / 2 + 1;
}

// How far past a column's last byte a read-ahead walk may read: when the
// column ends in a single cell, the next 4 bytes and a count of up to 2
// bytes, taken for that cell's marker and run before the row count shows
// the column was done.
constexpr size_t kColumnRleReadAhead = 6;

// What such a walk has read past the column when it finds, from the run's
// count, that the cell before was the column's last row: the marker and the
// count's one or two bytes. The walk steps back by this much.
constexpr size_t ColumnRleReadPastEnd(uint32_t count) {
    return kColumnRleCellBytes + (count >= kColumnRleLongCountBase ? kColumnRleLongCountBytes
                                                                   : kColumnRleShortCountBytes);
}
static_assert(ColumnRleReadPastEnd(kColumnRleMaxRunCount) == kColumnRleReadAhead,
              "the read-ahead covers the longest step back: a marker and a long count");
static_assert(kColumnRleCellBytes <= kColumnRleReadAhead,
              "the read-ahead covers a cell taken for a marker and given back");

// True when the stream from s to end holds that much, and `beyond` bytes
// more (kColumnRleReadAhead for a read-ahead walk): only the run counts of
// the next column then need testing, and the exact per-read tests are left
// for the stream's tail.
inline bool ColumnRleRoomForColumn(const uint8_t *s, const uint8_t *end, uint32_t height,
                                   size_t beyond = 0) {
    return static_cast<size_t>(end - s) >= ColumnRleColumnBound(height) + beyond;
}

// The walk itself. kBounded tests every read against `end`; kCheckRuns
// refuses a run that reaches past the column's last row. Returns the start
// of the next column, or nullptr when a test fails (only possible when one
// of the two is on). With both off, `end` is not used and the stream is
// trusted completely.
//
// kReadAhead (with kCheckRuns) reads a group's second 4 bytes, and its
// count, before testing whether the group's first cell ended the column:
// the run test that follows the count tells it. That spares the runs, most
// groups of a drawn picture, a test and a branch; the price is up to
// kColumnRleReadAhead bytes read past the column, so the caller must know
// that the stream holds them.
template <bool kBounded, bool kCheckRuns, bool kReadAhead = false, class Sink>
inline const uint8_t *ColumnRleWalkColumnWith(const uint8_t *s, const uint8_t *end, uint32_t height,
                                              Sink &sink) {
    static_assert(!kReadAhead || (kCheckRuns && !kBounded),
                  "the read-ahead needs the run test and a stream known to hold it");
    // The rows not given yet. With kReadAhead, a group's first cell stays
    // counted until the group turns out to be a run and its count is tested.
    // That spares the test of `left` after every first cell: `count >= left`
    // then catches both a run past the column (refused) and a first cell
    // that was the column's last row (left == 1; the marker and the count
    // were read ahead from the next column).
    uint32_t left = height;
    for (;;) {
        // A group's first cell, then the next 4 bytes: in drawn pictures
        // most often the first cell's run marker, so the run is the path
        // laid out straight and the single cells the loop to one side.
        if (kBounded && static_cast<size_t>(end - s) < 4)
            return nullptr;
        uint32_t v = ColumnRleLoadCell(s);
        s += 4;
        sink.Cell(v);
        if (!kReadAhead && __builtin_expect(--left == 0, 0))
            return s;
        if (kBounded && static_cast<size_t>(end - s) < 4)
            return nullptr;
        uint32_t x = ColumnRleLoadCell(s);
        s += 4;
        if (x != v) {
            // With kReadAhead v may have been the column's last row; then x,
            // read ahead, was the next column's first cell and is given back.
            if (kReadAhead && __builtin_expect(--left == 0, 0))
                return s - kColumnRleCellBytes;
            for (;;) {
                // Stretches of single cells four at a time while the column
                // has more than four rows left: one loop branch and one
                // stream pointer update per four cells. A cell equal to the
                // one before it is that cell's marker, and the run follows.
                // The loads of y, z, w and the next x are not tested against
                // `end`: `left` counts x and at least four rows after it, so
                // each load is the 4 bytes after a row that is not the
                // column's last, within ColumnRleColumnBound of its start.
                if (!kBounded && left > 4) {
                    sink.Cell(x);
                    uint32_t y = ColumnRleLoadCell(s);
                    if (y == x) {
                        // x opens a run; with kReadAhead it stays counted.
                        v = x;
                        s += 4;
                        left -= 1 - kReadAhead;
                        break;
                    }
                    sink.Cell(y);
                    uint32_t z = ColumnRleLoadCell(s + 4);
                    if (z == y) {
                        v = y;
                        s += 8;
                        left -= 2 - kReadAhead;
                        break;
                    }
                    sink.Cell(z);
                    uint32_t w = ColumnRleLoadCell(s + 8);
                    if (w == z) {
                        v = z;
                        s += 12;
                        left -= 3 - kReadAhead;
                        break;
                    }
                    sink.Cell(w);
                    x = ColumnRleLoadCell(s + 12);
                    s += 16;
                    left -= 4;
                    // The hint only for the read-ahead walk (bench/NOTES.md).
                    if (kReadAhead ? __builtin_expect(x == w, 0) : x == w) {
                        // w, given and counted, opens a run: counted again.
                        v = w;
                        left += kReadAhead;
                        break;
                    }
                    continue;
                }
                v = x;
                sink.Cell(v);
                if (__builtin_expect(--left == 0, 0))
                    return s;
                if (kBounded && static_cast<size_t>(end - s) < 4)
                    return nullptr;
                x = ColumnRleLoadCell(s);
                s += 4;
                if (x == v) {
                    // v, given and counted, opens a run: counted again.
                    left += kReadAhead;
                    break;
                }
            }
        }
        // v was just given as a row and x is its run marker (with kReadAhead,
        // v is still counted in `left`).
        if (kBounded && s == end)
            return nullptr;
        uint32_t count = *s++;
        // Long counts are rare: kept off the short count's path.
        if (__builtin_expect(count == 0, 0)) {
            if (kBounded && s == end)
                return nullptr;
            count = kColumnRleLongCountBase + *s++;
        }
        if (kReadAhead) {
            if (__builtin_expect(count >= left, 0)) {
                // Only a group's first cell can be the column's last row
                // here; then x and the count were the next column's bytes,
                // at most kColumnRleReadAhead of them.
                if (left == 1)
                    return s - ColumnRleReadPastEnd(count);
                return nullptr;
            }
            left -= count + 1;
        } else {
            if (kCheckRuns && count > left)
                return nullptr;
            left -= count;
        }
        sink.Run(v, count);
        if (__builtin_expect(left == 0, 0))
            return s;
    }
}

// Walks one column of a trusted stream; returns the start of the next one.
template <class Sink>
inline const uint8_t *ColumnRleWalkColumn(const uint8_t *s, uint32_t height, Sink &sink) {
    return ColumnRleWalkColumnWith<false, false>(s, s, height, sink);
}

// Walks one column of an untrusted stream that ends at `end`. Never reads at
// or past `end`, and never hands the sink a row past the column's last one.
// Returns the start of the next column, or nullptr for a column that is cut
// short or holds a run past its end (the sink may have seen some rows).
// Valid columns reach the sink exactly as with ColumnRleWalkColumn.
template <class Sink>
inline const uint8_t *ColumnRleWalkColumnChecked(const uint8_t *s, const uint8_t *end,
                                                 uint32_t height, Sink &sink) {
    if (ColumnRleRoomForColumn(s, end, height))
        return ColumnRleWalkColumnWith<false, true>(s, end, height, sink);
    return ColumnRleWalkColumnWith<true, true>(s, end, height, sink);
}

// A sink that writes nothing: walking with it only finds the column's end.
struct ColumnRleNullSink {
    void Cell(uint32_t) {}
    void Run(uint32_t, uint32_t) {}
};

// Skips `columns` whole columns of a trusted stream.
inline const uint8_t *ColumnRleSkipColumns(const uint8_t *s, uint32_t height, uint32_t columns) {
    ColumnRleNullSink sink;
    for (; columns != 0; --columns)
        s = ColumnRleWalkColumn(s, height, sink);
    return s;
}

inline const uint8_t *ColumnRleSkipColumn(const uint8_t *s, uint32_t height) {
    return ColumnRleSkipColumns(s, height, 1);
}

// The plain sink: every row is one 32-bit store, then the stride.
struct ColumnRleStoreSink {
    uint8_t *out;
    ptrdiff_t stride;

    ColumnRleStoreSink(uint8_t *destination, int32_t rowStride)
        : out(destination), stride(rowStride) {}

    void Cell(uint32_t v) {
        ColumnRleStoreCell(out, v);
        out += stride;
    }

    // Runs are most of a typical picture's rows, and their lengths vary
    // from one run to the next. The rows past a multiple of four first, by
    // a jump into the loop, then four rows a turn: one taken branch every
    // four rows, and a run of any length has the one loop exit. The jump's
    // tests go from the most often taken: in the title picture most runs
    // are of 2 or 10 rows (counts 1 and 9).
    //
    // count is 1 to kColumnRleMaxRunCount (511), never 0: the walk reads it
    // as a byte 1..255 or as 256 plus a byte, and the windowed sinks pass on
    // only a run's rows inside the window, at least one. The loop relies on
    // it: it makes at least one turn, and with 0 its counter would wrap.
    void Run(uint32_t v, uint32_t count) {
        uint8_t *p = out;
        const ptrdiff_t step = stride;
        uint32_t turns = (count + 3) >> 2;
        const uint32_t first = count & 3;
        if (first == 1)
            goto one;
        if (first == 2)
            goto two;
        if (first == 3)
            goto three;
        do {
            ColumnRleStoreCell(p, v);
            p += step;
        three:
            ColumnRleStoreCell(p, v);
            p += step;
        two:
            ColumnRleStoreCell(p, v);
            p += step;
        one:
            ColumnRleStoreCell(p, v);
            p += step;
        } while (--turns != 0);
        out = p;
    }
};
