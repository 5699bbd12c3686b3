// Fuzzes the streaming back-reference decompressor. The first byte chooses
// what the rest is: a compressed stream as it stands (kept only when it
// respects the decoder's limits) or data to compress first. The second byte
// seeds the sizes of the pieces it is fed in, empty pieces included. Every
// piece and the output end where their allocations do, so that a read or
// write past them shows, and the piecewise output and state must equal a
// one-piece decode.
#include "lzencode.h"
#include "lzstream.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

struct Result {
    std::unique_ptr<uint8_t[]> output;
    LzStreamState state;
};

// Small deterministic generator for the piece sizes.
uint32_t Next(uint32_t &seed) {
    seed = seed * 1103515245u + 12345u;
    return seed >> 16;
}

Result Decode(const std::vector<uint8_t> &stream, size_t outputSize, uint32_t seed, bool whole) {
    Result r;
    r.output.reset(new uint8_t[outputSize]());
    LzStreamBegin(r.output.get());
    const size_t capacity = stream.size();
    std::unique_ptr<uint8_t[]> input(new uint8_t[capacity]);
    size_t at = 0;
    do {
        size_t n = stream.size() - at;
        if (!whole) {
            uint32_t pick = Next(seed);
            size_t largest = pick & 0x100 ? 200 : pick & 0x200 ? 1 : 4;
            n = std::min(n, static_cast<size_t>(pick % (largest + 1)));
        }
        // Each piece ends where its allocation does; the decoder never reads
        // backwards, so a read past the piece is the one to catch.
        uint8_t *piece = input.get() + capacity - n;
        if (n != 0)
            std::memcpy(piece, stream.data() + at, n);
        LzStreamSetInput(piece, static_cast<uint32_t>(n));
        LzStreamDecode();
        at += n;
    } while (at < stream.size());
    if (g_lzStream.output != r.output.get() + outputSize)
        std::abort();
    r.state = g_lzStream;
    return r;
}

bool SameBytes(const uint8_t *a, const uint8_t *b, size_t n) {
    return n == 0 || std::memcmp(a, b, n) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2 || size > (1u << 20))
        return 0;
    const uint8_t mode = data[0];
    const uint32_t seed = data[1];
    std::vector<uint8_t> body(data + 2, data + size);
    std::vector<uint8_t> stream;
    if (mode & 1) {
        LzEncodeOptions options;
        options.minLength = 1 + (mode >> 1) % 16;
        options.maxChain = 1 + (mode >> 5) * 8;
        stream = LzEncode(body.data(), body.size(), options);
    } else {
        stream = body;
    }
    size_t outputSize;
    if (!LzStreamMeasure(stream.data(), stream.size(), &outputSize)) {
        if (mode & 1)
            std::abort(); // the encoder made a stream out of limits
        return 0;
    }
    Result whole = Decode(stream, outputSize, seed, true);
    Result pieces = Decode(stream, outputSize, seed, false);
    if (!SameBytes(whole.output.get(), pieces.output.get(), outputSize) ||
        whole.state.flagBitsLeft != pieces.state.flagBitsLeft ||
        whole.state.flagByte != pieces.state.flagByte || whole.state.token != pieces.state.token ||
        whole.state.resume != pieces.state.resume)
        std::abort();
    if ((mode & 1) &&
        (outputSize != body.size() || !SameBytes(whole.output.get(), body.data(), outputSize)))
        std::abort();
    return 0;
}
