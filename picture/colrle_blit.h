// Drawing operations on column run-length pictures (format in colrle.h):
// decoding under a transparent key byte, through a window that wraps around
// horizontally, and through an 8 x 2 pixel pattern that changes one step per
// call, for dissolves. ColumnRleDecode (colrle.h) is the plain member.
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

// Pattern state: three program-wide values, all zero at program start, shared
// by the pattern decodes and AdvancePattern and changed by nothing else in
// the library. Set them directly or with SetPattern. Not guarded: use them
// from one thread at a time.
//
//   g_patternMode       1 = grow, 2 = shrink, anything else = hold.
//   g_patternMask       only bits 0-15 are used or changed. The high byte
//                       masks the even rows, the low byte the odd rows. In a
//                       mask byte, bit 7 - (b mod 8) lets through the pixel at
//                       byte offset b from the picture's left edge.
//   g_patternStepsLeft  advances still to apply; 0 stops AdvancePattern.
//
// The row parity of row k in column i is that of k + (i / 2) * height: the
// even and the odd columns each count rows on across the columns of their
// parity, so with an odd height columns 2, 3, 6, 7, ... start on the low byte.
extern uint32_t g_patternMode;
extern uint32_t g_patternMask;
extern uint32_t g_patternStepsLeft;

void SetPattern(uint32_t mode, uint32_t mask, uint32_t stepsLeft);

// Advances the pattern state by one step. With steps left at 0 it does
// nothing. Otherwise mode 1 rotates each mask byte right by one bit and sets
// bit 7 of the high byte and bit 3 of the low byte (0x0000 -> 0x8008 ->
// 0xC00C -> ... -> 0xFFFF within 8 steps); mode 2 shifts the high byte right
// by one and makes the low byte the new high byte with its nibbles swapped
// (0xFFFF -> 0x7FF7 -> 0x3FF3 -> ... -> 0x0000 within 8 steps); other modes
// keep the mask. Steps left then goes down by 1.
void AdvancePattern();

// The whole picture through the mask as it stands at entry, then one
// AdvancePattern.
void ColumnRleDecodePattern(uint8_t *destination, const uint8_t *source, int32_t stride);

// As ColumnRleDecodePattern, and pixels equal to 12 are never written.
void ColumnRleDecodePatternKey(uint8_t *destination, const uint8_t *source, int32_t stride);
