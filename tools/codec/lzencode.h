// Encoder for the back-reference format that LzStreamDecode reads (see
// picture/lzstream.h). Host tool code: used by the packing tool, the tests
// and the benchmark, never by the product.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

struct LzEncodeOptions {
    // Shortest back-reference worth a token; 1 to 16. Below 3 a token costs
    // as much as the literals it replaces, but tests use 1 to exercise every
    // length.
    unsigned minLength = 3;
    // Candidates examined per position; more finds longer and farther
    // matches, more slowly.
    unsigned maxChain = 64;
};

// Compresses `size` bytes. The result decodes to exactly those bytes; every
// distance lies in 1..4095 and never reaches before the start. Overlapping
// back-references (distance smaller than length) are used where they match.
std::vector<uint8_t> LzEncode(const uint8_t *data, size_t size,
                              const LzEncodeOptions &options = LzEncodeOptions());
