#include "backcg_encode.h"
#include "backcg.h"

namespace {

void PutU32(std::vector<uint8_t> &out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

} // namespace

std::vector<uint8_t> BuildBackgroundResource(const uint8_t colourTable[kColourTableSize],
                                             const uint8_t *pixels, uint32_t width, uint32_t height,
                                             ColumnRleStats *stats) {
    std::vector<uint8_t> picture = ColumnRleEncode(pixels, width, height, stats);
    std::vector<uint8_t> out;
    if (picture.empty())
        return out;
    out.assign(colourTable, colourTable + kColourTableSize);
    PutU32(out, 1); // picture count
    // The one picture's record follows right after the offset word.
    PutU32(out, static_cast<uint32_t>(out.size() + 4 - kPictureTableOffset));
    PutU32(out, 0); // reserved
    out.insert(out.end(), picture.begin(), picture.end());
    return out;
}
