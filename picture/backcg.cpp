#include "backcg.h"

namespace {
const size_t kRecordHeaderSize = 4 + 4; // reserved field, width and height

uint32_t Load32(const uint8_t *p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
} // namespace

bool LocateBackgroundPicture(const uint8_t *resource, size_t size, const uint8_t **picture,
                             size_t *pictureSize) {
    if (size < kPictureTableOffset + 4)
        return false;
    size_t offset = Load32(resource + kPictureTableOffset);
    size_t room = size - kPictureTableOffset;
    if (room < kRecordHeaderSize || offset > room - kRecordHeaderSize)
        return false;
    size_t record = kPictureTableOffset + offset;
    *picture = resource + record + 4;
    *pictureSize = size - record - 4;
    return true;
}

void SplitColourTable(const uint8_t *table, uint8_t logical[256][4], uint8_t quads[256][4]) {
    for (int i = 0; i < 256; ++i) {
        const uint8_t *bgr = table + 3 * i;
        logical[i][0] = bgr[2];
        logical[i][1] = bgr[1];
        logical[i][2] = bgr[0];
        logical[i][3] = kPaletteNoCollapse;
        quads[i][0] = bgr[0];
        quads[i][1] = bgr[1];
        quads[i][2] = bgr[2];
        quads[i][3] = 0;
    }
}
