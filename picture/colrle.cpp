#include "colrle.h"

#include <cstring>

namespace {

inline uint32_t Load32(const uint8_t *p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

inline void Store32(uint8_t *p, uint32_t v) {
    std::memcpy(p, &v, 4);
}

inline uint32_t Load16(const uint8_t *p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8;
}

} // namespace

void ColumnRleDecode(uint8_t *destination, const uint8_t *source, int32_t stride) {
    uint32_t columns = Load16(source) >> 2;
    uint32_t height = Load16(source + 2);
    const uint8_t *s = source + 4;
    for (uint32_t i = 0; i < columns; ++i) {
        uint8_t *out = destination + 4 * static_cast<ptrdiff_t>(i);
        uint32_t left = height;
        while (left != 0) {
            uint32_t v = Load32(s);
            s += 4;
            for (;;) {
                Store32(out, v);
                out += stride;
                if (--left == 0)
                    break;
                uint32_t x = Load32(s);
                s += 4;
                if (x != v) {
                    v = x;
                    continue;
                }
                uint32_t count = *s++;
                if (count == 0)
                    count = 256 + *s++;
                left -= count;
                for (; count != 0; --count) {
                    Store32(out, v);
                    out += stride;
                }
                break;
            }
        }
    }
}

bool ColumnRleReadHeader(const uint8_t *source, size_t size, uint32_t *width, uint32_t *height) {
    if (size < 4)
        return false;
    uint32_t w = Load16(source);
    uint32_t h = Load16(source + 2);
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
    const uint8_t *s = source + 4;
    const uint8_t *end = source + size;
    for (uint32_t i = 0; i < (width >> 2); ++i) {
        uint8_t *out = destination + 4 * static_cast<ptrdiff_t>(i);
        uint32_t left = height;
        bool fresh = true;
        uint32_t v = 0;
        while (left != 0) {
            if (fresh) {
                if (static_cast<size_t>(end - s) < 4)
                    return false;
                v = Load32(s);
                s += 4;
            }
            Store32(out, v);
            out += stride;
            if (--left == 0)
                break;
            if (static_cast<size_t>(end - s) < 4)
                return false;
            uint32_t x = Load32(s);
            s += 4;
            if (x != v) {
                v = x;
                fresh = false;
                continue;
            }
            if (s == end)
                return false;
            uint32_t count = *s++;
            if (count == 0) {
                if (s == end)
                    return false;
                count = 256 + *s++;
            }
            if (count > left)
                return false;
            left -= count;
            for (; count != 0; --count) {
                Store32(out, v);
                out += stride;
            }
            fresh = true;
        }
    }
    return true;
}
