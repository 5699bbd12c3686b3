#include "colrle_blit.h"

#include "cell.h"
#include "colrle_walk.h"

#include <cstddef>

namespace {

// Sink that applies the key rule. A wholly transparent cell costs one
// comparison and a transparent run one multiplication; a run whose cell holds
// no key byte is filled with plain stores.
struct KeyedSink {
    uint8_t *out;
    ptrdiff_t stride;
    uint32_t keyCell;

    void Cell(uint32_t v) {
        if (v != keyCell)
            cell::StoreKeyed(out, v, keyCell);
        out += stride;
    }

    void Run(uint32_t v, uint32_t count) {
        if (v == keyCell) {
            out += static_cast<ptrdiff_t>(count) * stride;
            return;
        }
        uint32_t keep = cell::KeyBytes(v, keyCell);
        if (keep == 0) {
            ColumnRleStoreSink plain(out, static_cast<int32_t>(stride));
            plain.Run(v, count);
            out = plain.out;
            return;
        }
        uint8_t *p = out;
        for (; count != 0; --count) {
            ColumnRleStoreCell(p, (ColumnRleLoadCell(p) & keep) | (v & ~keep));
            p += stride;
        }
        out = p;
    }
};

// Passes on to `inner` only the window's rows of a column, so the inner sink
// sees them as if they were the whole column. A group that straddles a
// window edge is cut to its rows inside; rows above and below are walked
// past without touching the destination.
template <class Inner> struct WindowSink {
    Inner inner;
    int32_t row; // relative to the window's top row
    int32_t rows;

    void Cell(uint32_t v) {
        if (static_cast<uint32_t>(row) < static_cast<uint32_t>(rows))
            inner.Cell(v);
        ++row;
    }

    void Run(uint32_t v, uint32_t count) {
        int32_t first = row < 0 ? 0 : row;
        row += static_cast<int32_t>(count);
        int32_t end = row < rows ? row : rows;
        if (first < end)
            inner.Run(v, static_cast<uint32_t>(end - first));
    }
};

// Draws `count` picture columns from `column` on, starting at the stream's
// beginning, into destination columns from `out` on. `make(out)` builds the
// sink for one destination column.
template <class MakeSink>
uint8_t *DrawColumns(const uint8_t *source, uint32_t column, uint32_t count, uint8_t *out,
                     MakeSink make) {
    const uint32_t height = ColumnRleHeight(source);
    const uint8_t *s = ColumnRleSkipColumns(ColumnRleStream(source), height, column);
    for (; count != 0; --count) {
        auto sink = make(out);
        s = ColumnRleWalkColumn(s, height, sink);
        out += 4;
    }
    return out;
}

// The clipped decodes: the window check, the wrap-around and the choice
// between the whole-height walk and the windowed one.
template <class MakeInner>
void DecodeWindow(uint8_t *destination, const uint8_t *source, uint32_t x, uint32_t y, uint32_t w,
                  uint32_t h, MakeInner makeInner) {
    const uint32_t columns = ColumnRleColumns(source);
    const uint32_t height = ColumnRleHeight(source);
    // In 64 bits, so that no y + h can wrap round into an accepted window.
    if (static_cast<int64_t>(height) - y - h < 0)
        return;
    uint32_t first = x >> 2;
    const uint32_t wanted = w >> 2;
    // Past the right edge, or wider than the picture: nothing sensible to
    // draw, and the walk would run off the stream's end.
    if (first > columns || wanted > columns)
        return;
    if (first == columns)
        first = 0;
    const uint32_t overflow = first + wanted > columns ? first + wanted - columns : 0;

    uint8_t *out = destination;
    if (y == 0 && h == height) {
        out = DrawColumns(source, first, wanted - overflow, out, makeInner);
        DrawColumns(source, 0, overflow, out, makeInner);
        return;
    }
    auto makeWindow = [&](uint8_t *column) {
        return WindowSink<decltype(makeInner(column))>{makeInner(column), -static_cast<int32_t>(y),
                                                       static_cast<int32_t>(h)};
    };
    out = DrawColumns(source, first, wanted - overflow, out, makeWindow);
    DrawColumns(source, 0, overflow, out, makeWindow);
}

} // namespace

void ColumnRleDecodeKey(uint32_t key, uint8_t *destination, const uint8_t *source, int32_t stride) {
    DrawColumns(source, 0, ColumnRleColumns(source), destination, [&](uint8_t *column) {
        return KeyedSink{column, stride, cell::KeyCell(key)};
    });
}

void ColumnRleDecodeClip(uint8_t *destination, const uint8_t *source, int32_t stride, uint32_t x,
                         uint32_t y, uint32_t w, uint32_t h) {
    DecodeWindow(destination, source, x, y, w, h,
                 [&](uint8_t *column) { return ColumnRleStoreSink(column, stride); });
}

void ColumnRleDecodeClipKey(uint32_t key, uint8_t *destination, const uint8_t *source,
                            int32_t stride, uint32_t x, uint32_t y, uint32_t w, uint32_t h) {
    DecodeWindow(destination, source, x, y, w, h, [&](uint8_t *column) {
        return KeyedSink{column, stride, cell::KeyCell(key)};
    });
}
