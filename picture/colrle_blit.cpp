#include "colrle_blit.h"

#include "cell.h"
#include "colrle_walk.h"

#include <cstddef>

uint32_t g_patternMode;
uint32_t g_patternMask;
uint32_t g_patternStepsLeft;

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

// Byte mask (0xFF per written byte) of a cell whose pixels are let through by
// the four bits of `nibble`, its bit 3 standing for the cell's leftmost pixel.
uint32_t NibbleMask(uint32_t nibble) {
    uint8_t bytes[4];
    for (int j = 0; j < 4; ++j)
        bytes[j] = (nibble >> (3 - j) & 1) != 0 ? 0xFF : 0x00;
    return ColumnRleLoadCell(bytes);
}

// Sink for the pattern decodes. masks[0] serves the rows with even parity
// (the mask's high byte), masks[1] the odd ones; every row flips the parity,
// written or not.
template <bool kKeyed> struct PatternSink {
    uint8_t *out;
    ptrdiff_t stride;
    uint32_t masks[2];
    uint32_t parity;

    static constexpr uint32_t kKeyCell = 0x0C0C0C0Cu;

    static void Put(uint8_t *p, uint32_t v, uint32_t m) {
        if (m != 0)
            ColumnRleStoreCell(p, (ColumnRleLoadCell(p) & ~m) | (v & m));
    }

    void Cell(uint32_t v) {
        if (!kKeyed || v != kKeyCell) {
            uint32_t m = masks[parity];
            if (kKeyed)
                m &= ~cell::KeyBytes(v, kKeyCell);
            Put(out, v, m);
        }
        out += stride;
        parity ^= 1;
    }

    void Run(uint32_t v, uint32_t count) {
        if (kKeyed && v == kKeyCell) {
            out += static_cast<ptrdiff_t>(count) * stride;
            parity ^= count & 1;
            return;
        }
        uint32_t keep = kKeyed ? cell::KeyBytes(v, kKeyCell) : 0;
        uint32_t m0 = masks[parity] & ~keep;
        uint32_t m1 = masks[parity ^ 1] & ~keep;
        uint8_t *p = out;
        for (uint32_t pairs = count >> 1; pairs != 0; --pairs) {
            Put(p, v, m0);
            Put(p + stride, v, m1);
            p += 2 * stride;
        }
        if ((count & 1) != 0) {
            Put(p, v, m0);
            p += stride;
            parity ^= 1;
        }
        out = p;
    }
};

template <bool kKeyed>
void DecodePattern(uint8_t *destination, const uint8_t *source, int32_t stride) {
    const uint32_t mask = g_patternMask & 0xFFFF;
    const uint32_t columns = ColumnRleColumns(source);
    const uint32_t height = ColumnRleHeight(source);
    // Even columns take the high nibble of each mask byte, odd columns the low.
    const uint32_t even[2] = {NibbleMask(mask >> 12), NibbleMask(mask >> 4 & 0xF)};
    const uint32_t odd[2] = {NibbleMask(mask >> 8 & 0xF), NibbleMask(mask & 0xF)};
    const uint8_t *s = ColumnRleStream(source);
    for (uint32_t i = 0; i < columns; ++i) {
        const uint32_t *m = (i & 1) == 0 ? even : odd;
        // Row k of column i has the parity of k + (i / 2) * height.
        PatternSink<kKeyed> sink{
            destination + 4 * static_cast<size_t>(i), stride, {m[0], m[1]}, (i >> 1) & height & 1};
        s = ColumnRleWalkColumn(s, height, sink);
    }
    AdvancePattern();
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

void SetPattern(uint32_t mode, uint32_t mask, uint32_t stepsLeft) {
    g_patternMode = mode;
    g_patternMask = mask;
    g_patternStepsLeft = stepsLeft;
}

void AdvancePattern() {
    if (g_patternStepsLeft == 0)
        return;
    uint32_t high = (g_patternMask >> 8) & 0xFF;
    uint32_t low = g_patternMask & 0xFF;
    if (g_patternMode == 1) {
        high = ((high >> 1) | (high << 7) | 0x80) & 0xFF;
        low = ((low >> 1) | (low << 7) | 0x08) & 0xFF;
    } else if (g_patternMode == 2) {
        high >>= 1;
        low = ((high >> 4) | (high << 4)) & 0xFF;
    }
    g_patternMask = (g_patternMask & 0xFFFF0000u) | high << 8 | low;
    --g_patternStepsLeft;
}

void ColumnRleDecodePattern(uint8_t *destination, const uint8_t *source, int32_t stride) {
    DecodePattern<false>(destination, source, stride);
}

void ColumnRleDecodePatternKey(uint8_t *destination, const uint8_t *source, int32_t stride) {
    DecodePattern<true>(destination, source, stride);
}
