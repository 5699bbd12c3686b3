// Streaming back-reference decompressor.
//
// FORMAT. No header, no length and no end marker: whoever reads a stream
// knows how much output to expect. The data is a sequence of groups; a group
// is one flag byte followed by up to eight items. The flag byte's bits are
// used from bit 7 down to bit 0, one per item:
//   0  a literal: one byte, copied to the output as it is;
//   1  a back-reference: two bytes forming a little-endian 16-bit token,
//        distance = token & 0x0FFF          (1 to 4095)
//        length   = (token >> 12) + 1       (1 to 16)
//      which copies `length` bytes, one at a time and forwards, from
//      (output position - distance) to the output position. A distance
//      smaller than the length therefore repeats the last `distance` bytes.
// Flag bits left over in the last group are never used.
//
// DRIVING IT. There is one decoder, `g_lzStream`, for the whole program; it
// decodes one stream at a time on one thread. The output buffer is the
// dictionary (there is no window buffer and nothing is allocated), so it
// must be contiguous, hold the whole output and stay in place for the
// stream's lifetime.
//
//   LzStreamBegin(buffer);              // once per stream
//   for each piece of compressed data, of any size:
//       LzStreamSetInput(piece, size);  // before every call
//       LzStreamDecode();
//   // g_lzStream.output - buffer = bytes written so far
//
// A call decodes every complete item of its piece and returns when it needs
// a byte beyond it; an item cut by the end of a piece is completed by the
// next call. The decoder never writes `input` or `inputLeft` back: calling
// again without setting them decodes the same piece a second time.
//
// Any piece size gives the same output, but large pieces decode fastest:
// whole groups are copied in wide steps while 64 or more bytes of the piece
// remain, and byte by byte after that.
//
// LIMITS. The decoder trusts its data, as the program's own data may be
// trusted. The caller guarantees that
//   - the output buffer holds everything the pieces decode to, and no piece
//     lies inside it;
//   - every distance is at least 1 and at most the number of bytes already
//     written for the stream.
// Within these limits the decoder reads only the current piece and writes
// only the output buffer, below the final output position of each call.
// Outside them the output is unspecified, and the decoder may read before
// the buffer or write past it. Data from elsewhere goes through LzStreamMeasure
// first, which refuses such streams and gives the size of the buffer needed.
//
// A call with an empty piece returns at once without output. On a fresh
// stream the decoder then waits for the first flag byte (resume point
// kLzResumeFlagByte); in the middle of a stream it keeps waiting where it
// was.
#pragma once
#include <cstddef>
#include <cstdint>

// Where a suspended decode continues: the byte the decoder is waiting for.
enum LzResume : uint8_t {
    kLzResumeNone = 0,  // nothing suspended yet: start with a flag byte
    kLzResumeFlagByte,  // the next group's flag byte
    kLzResumeLiteral,   // a literal byte
    kLzResumeTokenLow,  // a back-reference token's bits 0 to 7
    kLzResumeTokenHigh, // its bits 8 to 15; the low byte is in `token`
};

struct LzStreamState {
    uint8_t flagBitsLeft; // bits of flagByte not used yet, 0 to 8
    uint8_t flagByte;     // shifted left once for every bit used
    const uint8_t *input; // next compressed byte of the current piece
    uint32_t inputLeft;   // compressed bytes available at input
    uint8_t *output;      // where the next output byte goes
    uint32_t token;       // last token read; 0 or the low byte while one is cut
    LzResume resume;
};

// All zero at program start, which is a fresh decoder whose output position
// is still to be set (LzStreamBegin does that).
extern LzStreamState g_lzStream;

// Starts a new stream whose output begins at `output`: clears the resume
// point and the flag bits, so that the next byte taken is a flag byte.
// Abandons whatever stream was being decoded.
void LzStreamBegin(uint8_t *output);

// Gives the next piece of compressed data to the decoder. With `size` 0 the
// next call returns at once without output.
void LzStreamSetInput(const uint8_t *input, uint32_t size);

// Decodes the current piece into the output, continuing where the last call
// stopped. Takes nothing and returns nothing: see g_lzStream.
void LzStreamDecode();

// Walks a whole compressed stream of `size` bytes without writing anything.
// False when a back-reference has distance 0 or reaches before the start of
// the output. Otherwise true, with *outputSize the number of bytes its
// complete items decode to (an item cut by the end of the data counts for
// nothing, as in LzStreamDecode). A stream accepted here decodes within the
// limits above into a buffer of *outputSize bytes, whatever its pieces.
bool LzStreamMeasure(const uint8_t *data, size_t size, size_t *outputSize);
