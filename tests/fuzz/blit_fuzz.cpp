// Differential fuzzing of the column-RLE drawing operations: each result is
// compared with the picture decoded whole by ColumnRleDecode, then cut, keyed
// or masked. Inputs are shaped to the operations' limits: the stream is
// valid (either the input itself, accepted by the checked decoder, or pixels
// from the input encoded), and the window keeps x <= width, 4 <= w <= width
// and h >= 1. The destination holds exactly the written area, so any stray
// write or read lands outside an allocation.
#include "colrle.h"
#include "colrle_blit.h"
#include "colrle_pattern.h"
#include "colrle_encode.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

void Check(bool ok) {
    if (!ok)
        std::abort();
}

// Either the input's bytes as a stream, or pixels from the input encoded:
// each column a few runs of cells whose bytes come from a small palette
// including 0 and 12, so that keys and runs occur often.
Bytes MakeStream(FuzzedDataProvider &in) {
    if (in.ConsumeBool()) {
        // The input's own bytes as the column stream, kept when the checked
        // decoder finds it valid: codings the encoder never writes.
        uint32_t width = 4 * in.ConsumeIntegralInRange<uint32_t>(1, 16);
        uint32_t height = in.ConsumeIntegralInRange<uint32_t>(1, 300);
        Bytes stream = {static_cast<uint8_t>(width), static_cast<uint8_t>(width >> 8),
                        static_cast<uint8_t>(height), static_cast<uint8_t>(height >> 8)};
        Bytes body = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(4, 8192));
        stream.insert(stream.end(), body.begin(), body.end());
        Bytes scratch(static_cast<size_t>(width) * height);
        if (!ColumnRleDecodeChecked(scratch.data(), stream.data(), stream.size(),
                                    static_cast<int32_t>(width)))
            return Bytes();
        return stream;
    }
    uint32_t width = 4 * in.ConsumeIntegralInRange<uint32_t>(1, 24);
    uint32_t height = in.ConsumeIntegralInRange<uint32_t>(1, 700);
    const uint8_t palette[8] = {0, 12, 12, 0x30, 0x31, 0xFF, 0x80, 7};
    Bytes px(static_cast<size_t>(width) * height);
    for (uint32_t col = 0; col < width / 4; ++col) {
        uint32_t y = 0;
        while (y < height) {
            uint32_t n = in.ConsumeIntegralInRange<uint32_t>(1, 600);
            uint8_t cell[4];
            uint8_t code = in.ConsumeIntegral<uint8_t>();
            for (int j = 0; j < 4; ++j)
                cell[j] = palette[(code & 0x80) != 0 ? code & 7 : (code >> (2 * j)) & 7];
            for (uint32_t k = 0; k < n && y < height; ++k, ++y)
                std::memcpy(&px[static_cast<size_t>(y) * width + 4 * col], cell, 4);
        }
    }
    return ColumnRleEncode(px.data(), width, height);
}

// A destination of exactly cols x rows bytes, addressed top-down or
// bottom-up.
struct Dest {
    Bytes bytes;
    uint32_t cols, rows;
    bool bottomUp;
    Dest(uint32_t c, uint32_t r, bool up, uint8_t fill)
        : bytes(static_cast<size_t>(c) * r, fill), cols(c), rows(r), bottomUp(up) {}
    uint8_t *start() {
        return bottomUp ? bytes.data() + static_cast<size_t>(cols) * (rows - 1) : bytes.data();
    }
    int32_t stride() const {
        return bottomUp ? -static_cast<int32_t>(cols) : static_cast<int32_t>(cols);
    }
    uint8_t at(uint32_t c, uint32_t r) const {
        return bytes[static_cast<size_t>(bottomUp ? rows - 1 - r : r) * cols + c];
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzedDataProvider in(data, size);
    const uint8_t op = in.ConsumeIntegralInRange<uint8_t>(0, 3);
    const bool bottomUp = in.ConsumeBool();
    const uint32_t key = in.ConsumeIntegral<uint32_t>();
    Bytes made = MakeStream(in);
    if (made.empty())
        return 0;
    // An exact copy, so that a read past the stream's end is caught.
    uint8_t *stream = static_cast<uint8_t *>(std::malloc(made.size()));
    std::memcpy(stream, made.data(), made.size());
    const uint32_t width = stream[0] | stream[1] << 8;
    const uint32_t height = stream[2] | stream[3] << 8;
    const uint32_t columns = width / 4;

    Bytes whole(static_cast<size_t>(width) * height);
    ColumnRleDecode(whole.data(), stream, static_cast<int32_t>(width));
    auto pixel = [&](uint32_t x, uint32_t y) { return whole[static_cast<size_t>(y) * width + x]; };
    const uint8_t fill = 0x5A;
    const uint8_t keyByte = static_cast<uint8_t>(key >> 24);

    if (op <= 1) {
        const bool keyed = op == 1;
        uint32_t x = in.ConsumeIntegralInRange<uint32_t>(0, width);
        uint32_t w = in.ConsumeIntegralInRange<uint32_t>(4, width);
        uint32_t y = in.ConsumeIntegralInRange<uint32_t>(0, height);
        // Mostly windows inside the picture; sometimes one or more rows past
        // the bottom, which must draw nothing.
        uint32_t h = in.ConsumeBool()
                         ? in.ConsumeIntegralInRange<uint32_t>(1, height + 2 - y)
                         : in.ConsumeIntegralInRange<uint32_t>(y < height ? 1 : 0, height - y);
        if (h == 0)
            h = 1;
        const bool inside = static_cast<uint64_t>(y) + h <= height;
        Dest dest(w & ~3u, inside ? h : 1, bottomUp, fill);
        if (keyed)
            ColumnRleDecodeClipKey(key, dest.start(), stream, dest.stride(), x, y, w, h);
        else
            ColumnRleDecodeClip(dest.start(), stream, dest.stride(), x, y, w, h);
        const uint32_t first = x / 4 == columns ? 0 : x / 4;
        for (uint32_t r = 0; r < dest.rows; ++r)
            for (uint32_t c = 0; c < dest.cols; ++c) {
                uint8_t want = fill;
                if (inside) {
                    uint32_t col = first + c / 4;
                    if (col >= columns)
                        col -= columns;
                    uint8_t src = pixel(4 * col + c % 4, y + r);
                    want = keyed && src == keyByte ? fill : src;
                }
                Check(dest.at(c, r) == want);
            }
    } else if (op == 2) {
        Dest dest(width, height, bottomUp, fill);
        ColumnRleDecodeKey(key, dest.start(), stream, dest.stride());
        for (uint32_t r = 0; r < height; ++r)
            for (uint32_t c = 0; c < width; ++c)
                Check(dest.at(c, r) == (pixel(c, r) == keyByte ? fill : pixel(c, r)));
    } else {
        const bool keyed = in.ConsumeBool();
        const uint32_t mode = in.ConsumeIntegralInRange<uint32_t>(0, 3);
        const uint32_t mask = key;
        const uint32_t steps = in.ConsumeIntegralInRange<uint32_t>(0, 2);
        SetPattern(mode, mask, steps);
        Dest dest(width, height, bottomUp, fill);
        if (keyed)
            ColumnRleDecodePatternKey(dest.start(), stream, dest.stride());
        else
            ColumnRleDecodePattern(dest.start(), stream, dest.stride());
        for (uint32_t r = 0; r < height; ++r)
            for (uint32_t c = 0; c < width; ++c) {
                bool odd = ((r + (c / 8) * height) & 1) != 0;
                uint32_t byte = odd ? mask & 0xFF : mask >> 8 & 0xFF;
                bool write = (byte >> (7 - c % 8) & 1) != 0 && !(keyed && pixel(c, r) == 12);
                Check(dest.at(c, r) == (write ? pixel(c, r) : fill));
            }
        Check(g_patternStepsLeft == (steps == 0 ? 0 : steps - 1));
        Check((g_patternMask & 0xFFFF0000u) == (mask & 0xFFFF0000u));
        Check(g_patternMode == mode);
        if (steps == 0 || mode == 0 || mode == 3)
            Check(g_patternMask == mask);
    }
    std::free(stream);
    return 0;
}
