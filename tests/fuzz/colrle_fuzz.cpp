// Untrusted column-RLE pictures: the checked decoder must never read past
// the input nor write outside the rows the header describes (the output is
// allocated to exactly that size, so the address sanitizer sees any stray
// access). It must accept exactly the pictures that the plain reference
// below accepts, and decode them to the same rows, in both row orders, as
// must the trusted decoder.
#include "colrle.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// The format read the slow, obvious way, sharing nothing with the product:
// u16 width and height, then width / 4 columns of 4-byte cells, top row
// first. A cell followed by the same 4 bytes opens a run of m (a count byte
// 1 to 255) or 256 + n (a zero byte, then n) more rows of it; the cell after
// a run is stored whole, and a column ends once its last row is covered.
// Fills `rows` top row first; false for a bad header, a stream cut short or
// a run past its column.
bool ReferenceDecode(const uint8_t *data, size_t size, std::vector<uint8_t> *rows) {
    if (size < 4)
        return false;
    const size_t width = data[0] | data[1] << 8, height = data[2] | data[3] << 8;
    if (width == 0 || width % 4 != 0 || height == 0)
        return false;
    rows->assign(width * height, 0);
    size_t at = 4;
    for (size_t column = 0; column < width / 4; ++column) {
        for (size_t row = 0; row < height;) {
            if (size - at < 4)
                return false;
            const uint8_t *cell = data + at;
            at += 4;
            size_t copies = 0;
            // Fewer than 4 bytes left here fail the next cell's read.
            if (row + 1 < height && size - at >= 4 && std::memcmp(data + at, cell, 4) == 0) {
                at += 4;
                if (at == size || (data[at] == 0 && at + 1 == size))
                    return false;
                copies = data[at] != 0 ? data[at] : 256 + data[at + 1];
                at += data[at] != 0 ? 1 : 2;
                if (copies >= height - row)
                    return false;
            }
            for (size_t k = 0; k <= copies; ++k, ++row)
                std::memcpy(&(*rows)[row * width + 4 * column], cell, 4);
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size >= 4 &&
        static_cast<size_t>(data[0] | data[1] << 8) * (data[2] | data[3] << 8) > (size_t{1} << 18))
        return 0; // every height fits at the narrowest width
    // A private copy of exactly `size` bytes, so reading past it is caught.
    std::vector<uint8_t> input(data, data + size);
    std::vector<uint8_t> reference;
    const bool valid = ReferenceDecode(input.data(), size, &reference);
    uint32_t width = 0, height = 0;
    const bool header = ColumnRleReadHeader(input.data(), size, &width, &height);
    if (valid && !header)
        std::abort();
    if (!header)
        return 0;
    const size_t bytes = static_cast<size_t>(width) * height;
    std::vector<uint8_t> checked(bytes, 0xA5);
    const int32_t stride = static_cast<int32_t>(width);
    if (ColumnRleDecodeChecked(checked.data(), input.data(), size, stride) != valid)
        std::abort();
    if (!valid)
        return 0;
    if (checked != reference)
        std::abort();
    std::vector<uint8_t> trusted(bytes, 0x5A);
    ColumnRleDecode(trusted.data(), input.data(), stride);
    if (trusted != reference)
        std::abort();
    std::vector<uint8_t> upward(bytes, 0x3C);
    if (!ColumnRleDecodeChecked(upward.data() + (bytes - width), input.data(), size, -stride))
        std::abort();
    for (uint32_t k = 0; k < height; ++k)
        if (std::memcmp(&upward[(height - 1 - k) * static_cast<size_t>(width)],
                        &reference[k * static_cast<size_t>(width)], width) != 0)
            std::abort();
    return 0;
}
