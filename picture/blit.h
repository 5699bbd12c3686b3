// Drawing operations on 8-bit pixel buffers: clearing a rectangle and copying
// raw pictures, whole, through a window, with a transparent key byte, or with
// each row moved sideways by a wave.
//
// Raw picture (little-endian, no padding): u16 width (bytes per row, a
// multiple of 4, at least 4), u16 height (at least 1), then width * height
// pixels, row after row from the top, leftmost pixel first. Its pixel data
// starts at offset 4; the functions below take a pointer to the width field.
//
// Destination: row k of the drawn area starts at destination + k * stride.
// The stride is a signed byte distance, negative for a bottom-up buffer.
//
// Key rule: the keyed copies take a 32-bit key whose MOST significant byte
// (bits 24-31) is the key byte; bits 0-23 are ignored. A source byte equal to
// the key byte is not written and leaves the destination byte as it was, so
// 0x0C000000 makes 12 transparent and 0x0000000C makes 0 transparent.
//
// Window: x (bytes from the left edge), y (rows from the top), w (bytes), h
// (rows). The window's top-left pixel goes to destination. The raw copies use
// x as given, so x need not be a multiple of 4; w is used as whole cells
// (rounded down to a multiple of 4).
//
// None of these functions checks anything or reports anything. The caller
// keeps to these limits: at least one row; the window (for the wave copy the
// window moved sideways by up to |amplitude| / 10 bytes) lies inside the
// picture data; the destination holds every byte written.
#pragma once
#include <cstdint>

// Writes zero into width / 4 whole cells at the start of each of `rows` rows;
// a width of 22 clears 20 bytes per row.
void ClearRect(uint8_t *destination, int32_t stride, uint32_t width, uint32_t rows);

// Copies the whole raw picture.
void RawCopy(uint8_t *destination, const uint8_t *source, int32_t stride);

// Copies the window: row k of it comes from data + (y + k) * width + x.
void RawCopyClip(uint8_t *destination, const uint8_t *source, int32_t stride, uint32_t x,
                 uint32_t y, uint32_t w, uint32_t h);

// RawCopy and RawCopyClip under the key rule.
void RawCopyKey(uint32_t key, uint8_t *destination, const uint8_t *source, int32_t stride);
void RawCopyClipKey(uint32_t key, uint8_t *destination, const uint8_t *source, int32_t stride,
                    uint32_t x, uint32_t y, uint32_t w, uint32_t h);

// The wave table: 256 entries of two values, round(1000 cos(2 pi k / 256))
// then round(1000 sin(2 pi k / 256)). It is addressed by a byte offset, the
// phase (0 to 2047): a multiple of 8 reads a cosine, 4 more a sine.
extern const int32_t g_waveTable[512];

// The sideways move of one wave row: the table value T at `phase` times the
// amplitude, divided by 10000 with truncation toward zero (64-bit product), so
// at most |amplitude| / 10. Phase bits above 2047 and the two low bits are
// ignored.
int32_t WaveDisplacement(int32_t amplitude, uint32_t phase);

// As RawCopyClip, but row k is copied from data + (y + k) * width + x +
// WaveDisplacement(amplitude, phase_k), where phase_0 = startPhase and each
// next phase is (phase + phaseStep) & 2047. Phases are meant to be multiples
// of 4; a phase step of 8 runs one cosine period over 256 rows.
void RawCopyWave(uint8_t *destination, const uint8_t *source, int32_t stride, uint32_t x,
                 uint32_t y, uint32_t w, uint32_t h, int32_t amplitude, uint32_t phaseStep,
                 uint32_t startPhase);
