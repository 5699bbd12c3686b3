// Key helpers shared by the drawing operations. Cells are loaded and stored
// with the column walker's helpers, as one 32-bit value in memory order.
#pragma once
#include <cstdint>
#include "colrle_walk.h"

namespace cell {

// The key byte is the key argument's most significant byte, repeated so that
// a whole cell is compared with it at once.
inline uint32_t KeyCell(uint32_t key) {
    return (key >> 24) * 0x01010101u;
}

// 0xFF in every byte of v that equals the corresponding byte of keyCell, 0
// elsewhere. Byte-wise, so independent of the machine's byte order: the
// addition cannot carry from one byte into the next.
inline uint32_t KeyBytes(uint32_t v, uint32_t keyCell) {
    uint32_t x = v ^ keyCell;
    uint32_t nonzero = ((x & 0x7F7F7F7Fu) + 0x7F7F7F7Fu) | x;
    return ((~nonzero & 0x80808080u) >> 7) * 0xFFu;
}

// Writes v at p except for its bytes equal to the key byte, which leave the
// destination byte as it was.
inline void StoreKeyed(uint8_t *p, uint32_t v, uint32_t keyCell) {
    uint32_t keep = KeyBytes(v, keyCell);
    if (keep == 0)
        ColumnRleStoreCell(p, v);
    else if (keep != 0xFFFFFFFFu)
        ColumnRleStoreCell(p, (ColumnRleLoadCell(p) & keep) | (v & ~keep));
}

} // namespace cell
