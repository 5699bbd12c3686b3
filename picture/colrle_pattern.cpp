#include "colrle_pattern.h"

#include "cell.h"
#include "colrle_walk.h"

#include <cstddef>

uint32_t g_patternMode;
uint32_t g_patternMask;
uint32_t g_patternStepsLeft;

namespace {

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
