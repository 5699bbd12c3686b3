// Column streams for the drawing tests: the canonical coding of a picture,
// another valid coding of it, and the palette the test pictures draw from.
#pragma once
#include "canvas.h"
#include "colrle_encode.h"

#include <cstring>
#include <random>
#include <vector>

using Bytes = std::vector<uint8_t>;

inline Bytes Encode(const Pixels &p) {
    return ColumnRleEncode(p.data.data(), p.width, p.height);
}

// Another valid coding of the same picture: long stretches split into several
// runs at random, and single cells after runs of the same value, which the
// canonical encoder never writes.
inline Bytes EncodeSplit(const Pixels &p, std::mt19937 &rng) {
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

// The bytes test pictures are drawn from; 12, listed twice, is the keyed
// pattern decode's transparent byte.
inline const std::vector<uint8_t> kPalette = {0, 12, 0x0C, 0x30, 0x31, 0xFF, 0x80};
