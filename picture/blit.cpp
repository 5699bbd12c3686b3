#include "blit.h"

#include "cell.h"

#include <cstddef>

namespace {

void CopyCells(uint8_t *out, const uint8_t *in, uint32_t cells) {
    for (uint32_t c = 0; c < cells; ++c)
        ColumnRleStoreCell(out + 4 * c, ColumnRleLoadCell(in + 4 * c));
}

void CopyCellsKeyed(uint8_t *out, const uint8_t *in, uint32_t cells, uint32_t keyCell) {
    for (uint32_t c = 0; c < cells; ++c)
        cell::StoreKeyed(out + 4 * c, ColumnRleLoadCell(in + 4 * c), keyCell);
}

// Start of window row k in the picture data; x is a plain byte offset.
inline const uint8_t *RowStart(const uint8_t *source, uint32_t width, uint32_t x, uint32_t row) {
    return source + 4 + static_cast<size_t>(row) * width + x;
}

} // namespace

void ClearRect(uint8_t *destination, int32_t stride, uint32_t width, uint32_t rows) {
    uint32_t cells = width >> 2;
    for (uint32_t k = 0; k < rows; ++k) {
        for (uint32_t c = 0; c < cells; ++c)
            ColumnRleStoreCell(destination + 4 * c, 0);
        destination += stride;
    }
}

void RawCopy(uint8_t *destination, const uint8_t *source, int32_t stride) {
    uint32_t width = ColumnRleLoad16(source);
    uint32_t height = ColumnRleLoad16(source + 2);
    for (uint32_t k = 0; k < height; ++k) {
        CopyCells(destination, RowStart(source, width, 0, k), width >> 2);
        destination += stride;
    }
}

void RawCopyClip(uint8_t *destination, const uint8_t *source, int32_t stride, uint32_t x,
                 uint32_t y, uint32_t w, uint32_t h) {
    uint32_t width = ColumnRleLoad16(source);
    for (uint32_t k = 0; k < h; ++k) {
        CopyCells(destination, RowStart(source, width, x, y + k), w >> 2);
        destination += stride;
    }
}

void RawCopyKey(uint32_t key, uint8_t *destination, const uint8_t *source, int32_t stride) {
    uint32_t width = ColumnRleLoad16(source);
    uint32_t height = ColumnRleLoad16(source + 2);
    uint32_t keyCell = cell::KeyCell(key);
    for (uint32_t k = 0; k < height; ++k) {
        CopyCellsKeyed(destination, RowStart(source, width, 0, k), width >> 2, keyCell);
        destination += stride;
    }
}

void RawCopyClipKey(uint32_t key, uint8_t *destination, const uint8_t *source, int32_t stride,
                    uint32_t x, uint32_t y, uint32_t w, uint32_t h) {
    uint32_t width = ColumnRleLoad16(source);
    uint32_t keyCell = cell::KeyCell(key);
    for (uint32_t k = 0; k < h; ++k) {
        CopyCellsKeyed(destination, RowStart(source, width, x, y + k), w >> 2, keyCell);
        destination += stride;
    }
}

int32_t WaveDisplacement(int32_t amplitude, uint32_t phase) {
    int64_t t = g_waveTable[(phase & 2047) >> 2];
    return static_cast<int32_t>(t * amplitude / 10000);
}

void RawCopyWave(uint8_t *destination, const uint8_t *source, int32_t stride, uint32_t x,
                 uint32_t y, uint32_t w, uint32_t h, int32_t amplitude, uint32_t phaseStep,
                 uint32_t startPhase) {
    uint32_t width = ColumnRleLoad16(source);
    uint32_t phase = startPhase;
    for (uint32_t k = 0; k < h; ++k) {
        const uint8_t *row = RowStart(source, width, x, y + k);
        CopyCells(destination, row + WaveDisplacement(amplitude, phase), w >> 2);
        destination += stride;
        phase = (phase + phaseStep) & 2047;
    }
}
