// Column run-length pictures: 8-bit pictures stored as 4-pixel-wide columns,
// each run-length coded from its top row to its bottom row.
//
// Layout (little-endian, no padding): u16 width (bytes per row, a multiple of
// 4, at least 4), u16 height (at least 1), then the columns left to right.
// A column is a sequence of groups covering exactly `height` rows:
//   V                 a single cell (4 bytes), one row;
//   V V m             a run: the cell, the same 4 bytes again as the marker,
//                     count m in 1..255: 1 + m rows;
//   V V 0 n           a run with the long count 256 + n: 257 + n rows.
// The cell after a run is always stored whole, and nothing carries over from
// one column to the next.
#pragma once
#include <cstddef>
#include <cstdint>

// Decodes a whole picture. Row k of column i lands at
// destination + 4*i + k*stride; stride may be negative (bottom-up buffers).
// Trusts its input: the stream must be valid and the buffer must hold every
// row. For the program's own data and other trusted callers. (It still
// stops at a run that reaches past its column's last row: the test costs
// nothing measurable, and the rows below the picture are not overwritten.)
void ColumnRleDecode(uint8_t *destination, const uint8_t *source, int32_t stride);

// Reads the header of a column-RLE picture of `size` bytes. False when the
// header is cut short, the width is not a positive multiple of 4, or the
// height is 0.
bool ColumnRleReadHeader(const uint8_t *source, size_t size, uint32_t *width, uint32_t *height);

// As ColumnRleDecode, for data that is not trusted: `size` is the number of
// bytes readable from source (header included). Never reads past them and
// never writes outside the rows the header describes. Returns false on any
// violation (bad header, stream cut short, a run past the column's end);
// the rows may then be partly written. A valid picture decodes to exactly
// the bytes ColumnRleDecode gives.
bool ColumnRleDecodeChecked(uint8_t *destination, const uint8_t *source, size_t size,
                            int32_t stride);
