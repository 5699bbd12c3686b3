// Cell helpers shared by the drawing operations: a cell is four pixels of
// one row, loaded and stored as one 32-bit value in memory order.
#pragma once
#include <cstdint>
#include <cstring>

namespace cell {

inline uint32_t Load(const uint8_t *p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

inline void Store(uint8_t *p, uint32_t v) {
    std::memcpy(p, &v, 4);
}

inline uint32_t Load16(const uint8_t *p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8;
}

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
        Store(p, v);
    else if (keep != 0xFFFFFFFFu)
        Store(p, (Load(p) & keep) | (v & ~keep));
}

} // namespace cell
