// The pattern decodes of column run-length pictures (format in colrle.h):
// the whole picture through an 8 x 2 pixel pattern that changes one step per
// call, for dissolves, and the program-wide pattern state they share.
//
// As for the other drawing operations (colrle_blit.h), cell i of row k goes
// to destination + 4 * i + k * stride (stride signed, negative for
// bottom-up), nothing is reported or checked, and the caller keeps to these
// limits: a valid stream with at least one cell and one row, and a
// destination that holds every byte written.
#pragma once
#include <cstdint>

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
