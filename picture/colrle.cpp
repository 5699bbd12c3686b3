#include "colrle.h"
#include "colrle_walk.h"

void ColumnRleDecode(uint8_t *destination, const uint8_t *source, int32_t stride) {
    const uint32_t columns = ColumnRleColumns(source);
    const uint32_t height = ColumnRleHeight(source);
    const uint8_t *s = ColumnRleStream(source);
    for (uint32_t i = 0; i < columns; ++i) {
        ColumnRleStoreSink sink(destination + 4 * static_cast<size_t>(i), stride);
        s = ColumnRleWalkColumn(s, height, sink);
    }
}

bool ColumnRleReadHeader(const uint8_t *source, size_t size, uint32_t *width, uint32_t *height) {
    if (size < 4)
        return false;
    uint32_t w = ColumnRleWidth(source);
    uint32_t h = ColumnRleHeight(source);
    if (w < 4 || (w & 3) != 0 || h == 0)
        return false;
    *width = w;
    *height = h;
    return true;
}

bool ColumnRleDecodeChecked(uint8_t *destination, const uint8_t *source, size_t size,
                            int32_t stride) {
    uint32_t width, height;
    if (!ColumnRleReadHeader(source, size, &width, &height))
        return false;
    const uint8_t *s = ColumnRleStream(source);
    const uint8_t *end = source + size;
    const uint32_t columns = width >> 2;
    for (uint32_t i = 0; i < columns; ++i) {
        ColumnRleStoreSink sink(destination + 4 * static_cast<size_t>(i), stride);
        s = ColumnRleWalkColumnChecked(s, end, height, sink);
        if (s == nullptr)
            return false;
    }
    return true;
}
