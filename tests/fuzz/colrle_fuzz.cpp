// Untrusted column-RLE pictures: the checked decoder must never read past
// the input nor write outside the rows the header describes (the output is
// allocated to exactly that size, so the address sanitizer sees any stray
// access), and whatever it accepts must decode to the same bytes with the
// trusted decoder, in both row orders.
#include "colrle.h"

#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    uint32_t width = 0, height = 0;
    if (!ColumnRleReadHeader(data, size, &width, &height))
        return 0;
    const size_t bytes = static_cast<size_t>(width) * height;
    if (bytes > (size_t{1} << 18))
        return 0; // every height fits at the narrowest width
    // A private copy of exactly `size` bytes, so reading past it is caught.
    std::vector<uint8_t> input(data, data + size);
    std::vector<uint8_t> checked(bytes, 0xA5);
    const int32_t stride = static_cast<int32_t>(width);
    if (!ColumnRleDecodeChecked(checked.data(), input.data(), size, stride))
        return 0;
    std::vector<uint8_t> trusted(bytes, 0x5A);
    ColumnRleDecode(trusted.data(), input.data(), stride);
    if (trusted != checked)
        std::abort();
    std::vector<uint8_t> upward(bytes, 0x3C);
    if (!ColumnRleDecodeChecked(upward.data() + (bytes - width), input.data(), size, -stride))
        std::abort();
    for (uint32_t k = 0; k < height; ++k)
        if (std::memcmp(&upward[(height - 1 - k) * static_cast<size_t>(width)],
                        &checked[k * static_cast<size_t>(width)], width) != 0)
            std::abort();
    return 0;
}
