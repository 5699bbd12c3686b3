// Drawing operations on column run-length pictures (format in colrle.h):
// decoding under a transparent key byte and through a window that wraps
// around horizontally. ColumnRleDecode (colrle.h) is the plain member; the
// pattern decodes, for dissolves, are in colrle_pattern.h.
//
// Every operation reads the column stream group by group, strictly forwards,
// and finds for every row the same cell as ColumnRleDecode; they differ only
// in which bytes they write. Cell i of window row k goes to
// destination + 4 * i + k * stride (stride signed, negative for bottom-up).
//
// Key rule: the keyed decodes take a 32-bit key whose MOST significant byte
// (bits 24-31) is the key byte; bits 0-23 are ignored. A pixel equal to the
// key byte is not written and leaves the destination byte as it was.
//
// None of these functions reports anything or checks the stream. The caller
// keeps to these limits: a valid stream with at least one cell and one row;
// for the clipped decodes w >= 4, h >= 1, x <= width and w <= width; the
// destination holds every byte written.
#pragma once
#include <cstdint>

// The whole picture under the key rule.
void ColumnRleDecodeKey(uint32_t key, uint8_t *destination, const uint8_t *source, int32_t stride);

// The window (x, y, w, h) of the picture: x and w are rounded down to whole
// cells (x = 5 acts as 4). Window column j comes from picture column
// x/4 + j, wrapping around from the right edge to column 0; x equal to the
// width starts at column 0. Window row k comes from picture row y + k.
// There is no vertical wrap: a window with y + h greater than the height
// (counted without 32-bit wrap-around) draws nothing at all. So does a window
// that starts past the right edge (x / 4 > width / 4) or is wider than the
// picture (w / 4 > width / 4), which the stream cannot supply.
void ColumnRleDecodeClip(uint8_t *destination, const uint8_t *source, int32_t stride, uint32_t x,
                         uint32_t y, uint32_t w, uint32_t h);

// ColumnRleDecodeClip under the key rule.
void ColumnRleDecodeClipKey(uint32_t key, uint8_t *destination, const uint8_t *source,
                            int32_t stride, uint32_t x, uint32_t y, uint32_t w, uint32_t h);
