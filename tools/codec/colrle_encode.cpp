#include "colrle_encode.h"

#include <cstring>

namespace {

uint32_t CellAt(const uint8_t *pixels, uint32_t width, uint32_t column, uint32_t row) {
    uint32_t v;
    std::memcpy(&v, pixels + static_cast<size_t>(row) * width + 4 * static_cast<size_t>(column), 4);
    return v;
}

void PutCell(std::vector<uint8_t> &out, uint32_t v) {
    uint8_t bytes[4];
    std::memcpy(bytes, &v, 4);
    out.insert(out.end(), bytes, bytes + 4);
}

const uint32_t kMaxRunRows = 512;

} // namespace

std::vector<uint8_t> ColumnRleEncode(const uint8_t *pixels, uint32_t width, uint32_t height,
                                     ColumnRleStats *stats) {
    std::vector<uint8_t> out;
    ColumnRleStats counts;
    if (width < 4 || width > 65532 || (width & 3) != 0 || height < 1 || height > 65535) {
        if (stats != nullptr)
            *stats = counts;
        return out;
    }
    out.push_back(static_cast<uint8_t>(width));
    out.push_back(static_cast<uint8_t>(width >> 8));
    out.push_back(static_cast<uint8_t>(height));
    out.push_back(static_cast<uint8_t>(height >> 8));
    for (uint32_t column = 0; column < width / 4; ++column) {
        uint32_t row = 0;
        while (row < height) {
            uint32_t v = CellAt(pixels, width, column, row);
            uint32_t rows = 1;
            while (rows < kMaxRunRows && row + rows < height &&
                   CellAt(pixels, width, column, row + rows) == v)
                ++rows;
            PutCell(out, v);
            if (rows == 1) {
                ++counts.cells;
            } else {
                uint32_t count = rows - 1;
                PutCell(out, v);
                if (count < 256) {
                    out.push_back(static_cast<uint8_t>(count));
                } else {
                    out.push_back(0);
                    out.push_back(static_cast<uint8_t>(count - 256));
                    ++counts.longRuns;
                }
                ++counts.runs;
            }
            row += rows;
        }
    }
    counts.bytes = out.size();
    if (stats != nullptr)
        *stats = counts;
    return out;
}
