// Column-RLE encoder for the tools and tests (native only, never in Q7.EXE).
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

struct ColumnRleStats {
    size_t bytes = 0;    // whole picture, header included
    size_t runs = 0;     // groups of two rows or more
    size_t longRuns = 0; // runs of 257 to 512 rows (the long count)
    size_t cells = 0;    // single-row groups
};

// Encodes a top-down picture of `height` rows of `width` bytes (pixels points
// at its top row, rows `width` bytes apart). The width must be a multiple of
// 4 from 4 to 65532 and the height from 1 to 65535; anything else yields an
// empty result. Every stretch of equal rows becomes a run (split into groups
// of at most 512 rows), so the stream keeps all the format's rules.
std::vector<uint8_t> ColumnRleEncode(const uint8_t *pixels, uint32_t width, uint32_t height,
                                     ColumnRleStats *stats = nullptr);
