#include "lzstream.h"

#include <cstring>

LzStreamState g_lzStream;

namespace {

// The coding's sizes: a group is a flag byte and eight items, a literal of
// one byte or a back-reference token of two.
constexpr size_t kGroupItems = 8;
constexpr size_t kMaxItemBytes = 2;
constexpr size_t kMaxGroupBytes = 1 + kGroupItems * kMaxItemBytes;

// The fast path decodes every item with a 16-byte copy, which reads up to 15
// bytes past a literal's input byte and writes up to 15 bytes past the
// item's output.
constexpr size_t kCopyBytes = 16;

// The fast path runs a group only when the piece holds at least kFastRoom
// bytes from the group's flag byte on, which covers:
//   - the reads (31): the last item starts at most 15 bytes after the flag
//     byte and its copy reads 16, so reads stay inside the piece;
constexpr size_t kFastReadRoom = 1 + (kGroupItems - 1) * kMaxItemBytes + kCopyBytes;
//   - the writes (17 + 32): the group itself, and after it enough bytes to
//     hold 15 complete items (32: two flag bytes and 15 tokens), which decode
//     to at least 15 bytes in this same call. The bytes written ahead are
//     thus bytes the call writes anyway, inside the caller's buffer, and
//     they are overwritten with their true values before it returns.
constexpr size_t kWrittenAhead = kCopyBytes - 1;
constexpr size_t kFastWriteRoom = kMaxGroupBytes + kWrittenAhead * kMaxItemBytes +
                                  (kWrittenAhead + kGroupItems - 1) / kGroupItems;
// No output end is needed for that, and the bytes in the buffer after any
// call are exactly those of a byte-by-byte decode.
constexpr size_t kFastRoom = 64;
static_assert(kFastRoom >= kFastReadRoom && kFastRoom >= kFastWriteRoom,
              "the fast path's room covers its reads and its writes ahead");

inline uint64_t Load64(const uint8_t *p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

inline void Copy8(uint8_t *to, const uint8_t *from) {
    uint64_t v = Load64(from);
    std::memcpy(to, &v, 8);
}

inline void Copy4(uint8_t *to, const uint8_t *from) {
    uint32_t v;
    std::memcpy(&v, from, 4);
    std::memcpy(to, &v, 4);
}

// For a distance d below 8, the output repeats with period d, so it also
// repeats with any multiple of d. After 4 bytes copied one by one, the next
// 4 come from kBack4[d] bytes back and the next 8 from kBack8[d] bytes back:
// multiples of d large enough that every byte read is already final.
const uint8_t kBack4[8] = {4, 4, 4, 6, 4, 5, 6, 7};
const uint8_t kBack8[8] = {8, 8, 8, 9, 8, 10, 12, 14};

// Writes the 16 bytes at `out` so that the first `length` are those of a
// back-reference with a distance from 1 to 7; the rest are scratch that
// later items overwrite.
inline void CopyBackShort(uint8_t *out, uint32_t distance) {
    const uint8_t *from = out - distance;
    out[0] = from[0];
    out[1] = from[1];
    out[2] = from[2];
    out[3] = from[3];
    Copy4(out + 4, out + 4 - kBack4[distance]);
    Copy8(out + 8, out + 8 - kBack8[distance]);
}

// a where mask is all ones, b where it is zero, without a branch: the
// item kinds of a group are as good as random.
inline const uint8_t *Pick(uint32_t mask, const uint8_t *a, const uint8_t *b) {
    const uintptr_t m = static_cast<uintptr_t>(0) - (mask & 1);
    return reinterpret_cast<const uint8_t *>((reinterpret_cast<uintptr_t>(a) & m) |
                                             (reinterpret_cast<uintptr_t>(b) & ~m));
}

// Two 8-byte steps in order, so that a source 8 to 15 bytes back reads the
// first step's bytes in the second.
static_assert(2 * sizeof(uint64_t) == kCopyBytes, "Copy16 and CopyBackShort move kCopyBytes");
inline void Copy16(uint8_t *to, const uint8_t *from) {
    Copy8(to, from);
    Copy8(to + 8, from + 8);
}

// Decodes whole groups while the piece has kFastRoom bytes left; starts and
// stops at a group boundary. Every item is decoded the same way, without a
// branch on its kind: a literal is a 16-byte copy from the input that moves
// on by 1, a back-reference one from the output that moves on by its length.
// Only back-references closer than 8 bytes take a branch of their own.
void DecodeGroups(const uint8_t *&inRef, const uint8_t *end, uint8_t *&outRef, uint32_t &tokenRef) {
    const uint8_t *in = inRef;
    uint8_t *out = outRef;
    uint32_t token = tokenRef;
    do {
        uint32_t flags = *in++;
        // Unrolled, the eight items keep their input and output positions in
        // registers without a loop counter; gcc and clang both read this.
#pragma GCC unroll 8
        for (int item = 0; item < static_cast<int>(kGroupItems); ++item) {
            // All ones for a back-reference, zero for a literal.
            const uint32_t mask = 0u - (flags >> 7 & 1);
            const uint32_t t = static_cast<uint32_t>(in[0]) | static_cast<uint32_t>(in[1]) << 8;
            const uint32_t distance = t & 0x0FFF & mask;
            // Both copies move kCopyBytes, within the room the loop's test
            // below (and the caller's) vouched for.
            if (distance - 1 < 7)
                CopyBackShort(out, distance);
            else
                Copy16(out, Pick(mask, out - distance, in));
            token = (t & mask) | (token & ~mask);
            out += ((t >> 12) & mask) + 1;
            in += 1 + (mask & 1);
            flags <<= 1;
        }
    } while (static_cast<size_t>(end - in) >= kFastRoom); // room for the next group's copies
    inRef = in;
    outRef = out;
    tokenRef = token;
}

inline uint8_t *CopyBack(uint8_t *out, uint32_t token) {
    const uint8_t *from = out - (token & 0x0FFF);
    for (uint32_t n = (token >> 12) + 1; n != 0; --n)
        *out++ = *from++;
    return out;
}

} // namespace

void LzStreamBegin(uint8_t *output) {
    g_lzStream.flagBitsLeft = 0;
    g_lzStream.flagByte = 0;
    g_lzStream.output = output;
    g_lzStream.token = 0;
    g_lzStream.resume = kLzResumeNone;
}

void LzStreamSetInput(const uint8_t *input, uint32_t size) {
    g_lzStream.input = input;
    g_lzStream.inputLeft = size;
}

void LzStreamDecode() {
    const uint8_t *in = g_lzStream.input;
    const uint8_t *const end = in + g_lzStream.inputLeft;
    uint8_t *out = g_lzStream.output;
    uint32_t token = g_lzStream.token;
    unsigned flag = g_lzStream.flagByte;
    unsigned bitsLeft = g_lzStream.flagBitsLeft;
    unsigned item;
    LzResume waitFor;

    // A suspended decode resumes by taking a byte, so an empty piece leaves
    // it waiting where it was rather than reading past the piece.
    if (g_lzStream.resume != kLzResumeNone && in == end)
        return;
    switch (g_lzStream.resume) {
    case kLzResumeNone:
        break;
    case kLzResumeFlagByte:
        goto flag_byte;
    case kLzResumeLiteral:
        goto literal;
    case kLzResumeTokenLow:
        goto token_low;
    case kLzResumeTokenHigh:
        goto token_high;
    }

    for (;;) {
        if (bitsLeft == 0) {
            // Room for a group's 16-byte copies read and written ahead.
            if (static_cast<size_t>(end - in) >= kFastRoom) {
                DecodeGroups(in, end, out, token);
                flag = 0;
            }
            if (in == end) {
                waitFor = kLzResumeFlagByte;
                break;
            }
        flag_byte:
            flag = *in++;
            bitsLeft = 8;
        }
        --bitsLeft;
        item = flag & 0x80;
        flag = (flag << 1) & 0xFF;
        if (item == 0) {
            if (in == end) {
                waitFor = kLzResumeLiteral;
                break;
            }
        literal:
            *out++ = *in++;
        } else {
            token = 0;
            if (in == end) {
                waitFor = kLzResumeTokenLow;
                break;
            }
        token_low:
            token = *in++;
            if (in == end) {
                waitFor = kLzResumeTokenHigh;
                break;
            }
        token_high:
            token |= static_cast<uint32_t>(*in++) << 8;
            out = CopyBack(out, token);
        }
    }

    g_lzStream.flagBitsLeft = static_cast<uint8_t>(bitsLeft);
    g_lzStream.flagByte = static_cast<uint8_t>(flag);
    g_lzStream.output = out;
    g_lzStream.token = token;
    g_lzStream.resume = waitFor;
}

bool LzStreamMeasure(const uint8_t *data, size_t size, size_t *outputSize) {
    const uint8_t *p = data;
    const uint8_t *const end = data + size;
    size_t written = 0;
    unsigned flag = 0;
    unsigned bitsLeft = 0;
    for (;;) {
        if (bitsLeft == 0) {
            if (p == end)
                break;
            flag = *p++;
            bitsLeft = 8;
        }
        --bitsLeft;
        unsigned item = flag & 0x80;
        flag <<= 1;
        if (item == 0) {
            if (p == end)
                break;
            ++p;
            ++written;
            continue;
        }
        if (static_cast<size_t>(end - p) < 2)
            break;
        uint32_t token = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8;
        p += 2;
        uint32_t distance = token & 0x0FFF;
        if (distance == 0 || distance > written)
            return false;
        written += (token >> 12) + 1;
    }
    *outputSize = written;
    return true;
}
