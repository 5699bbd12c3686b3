#include "q7title_header.h"
#include "q7title_messages.h"

#include <cstdint>
#include <cstring>

namespace q7title {

namespace {

unsigned Be16(const std::string &d, size_t at) {
    return uint8_t(d[at]) << 8 | uint8_t(d[at + 1]);
}
unsigned Le16(const std::string &d, size_t at) {
    return uint8_t(d[at]) | uint8_t(d[at + 1]) << 8;
}
uint32_t Be32(const std::string &d, size_t at) {
    return uint32_t(Be16(d, at)) << 16 | Be16(d, at + 2);
}
uint32_t Le32(const std::string &d, size_t at) {
    return Le16(d, at) | uint32_t(Le16(d, at + 2)) << 16;
}

} // namespace

const char *SniffFormat(const std::string &data) {
    auto starts = [&](const char *magic, size_t n) {
        return data.size() >= n && std::memcmp(data.data(), magic, n) == 0;
    };
    if (starts("\x89PNG\r\n\x1a\n", 8))
        return "PNG";
    if (starts("GIF87a", 6) || starts("GIF89a", 6))
        return "GIF";
    if (starts("\xFF\xD8\xFF", 3))
        return "JPEG";
    if (starts("BM", 2))
        return "BMP";
    return nullptr;
}

// Read before any decoder runs: ImageMagick meets a picture past its limits
// with a message about memory, or with no message at all (PNG).
void StoredSize(const std::string &d, const char *format, size_t *w, size_t *h) {
    *w = *h = 0;
    auto room = [&d](size_t at, size_t n) { return at <= d.size() && d.size() - at >= n; };
    if (std::strcmp(format, "PNG") == 0 && room(16, 8)) {
        *w = Be32(d, 16), *h = Be32(d, 20);
    } else if (std::strcmp(format, "BMP") == 0 && room(14, 12)) {
        if (Le32(d, 14) == 12) { // the OS/2 header's 16-bit sizes
            *w = Le16(d, 18), *h = Le16(d, 20);
        } else {
            int32_t sw = int32_t(Le32(d, 18)), sh = int32_t(Le32(d, 22));
            *w = sw < 0 ? 0 - size_t(sw) : size_t(sw);
            *h = sh < 0 ? 0 - size_t(sh) : size_t(sh); // negative: stored top-down
        }
    } else if (std::strcmp(format, "GIF") == 0 && room(6, 7)) {
        // The first frame's own size: a frame may be larger than its screen.
        size_t at = 13;
        if (uint8_t(d[10]) & 0x80)
            at += 3u << ((d[10] & 7) + 1);
        while (room(at, 1) && d[at] == 0x21 && room(at, 2)) {
            at += 2;
            while (room(at, 1) && d[at] != 0)
                at += 1 + uint8_t(d[at]);
            ++at;
        }
        if (room(at, 9) && d[at] == 0x2C)
            *w = Le16(d, at + 5), *h = Le16(d, at + 7);
        else
            *w = Le16(d, 6), *h = Le16(d, 8);
    } else if (std::strcmp(format, "JPEG") == 0) {
        for (size_t at = 2; room(at, 4) && uint8_t(d[at]) == 0xFF;) {
            unsigned marker = uint8_t(d[at + 1]);
            if (marker == 0xFF) { // fill byte
                ++at;
                continue;
            }
            bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
                         marker != 0xCC;
            if (frame && room(at, 9)) {
                *h = Be16(d, at + 5), *w = Be16(d, at + 7);
                break;
            }
            if (marker == 0xDA)
                break;
            at += 2 + Be16(d, at + 2);
        }
    }
}

PngColour PngChunks(const std::string &d) {
    PngColour c;
    for (size_t at = 8; at <= d.size() && d.size() - at >= 12;) {
        uint32_t length = Be32(d, at);
        std::string type = d.substr(at + 4, 4);
        if (type == "IDAT" || length > d.size() - at - 12)
            break;
        if (type == "gAMA" && length == 4 && Be32(d, at + 8) != 0)
            c.gamma = Be32(d, at + 8) / 100000.0;
        c.srgb = c.srgb || type == "sRGB";
        c.profile = c.profile || type == "iCCP";
        at += 12 + length;
    }
    return c;
}

size_t GifFrames(const std::string &d) {
    auto room = [&d](size_t at, size_t n) { return at <= d.size() && d.size() - at >= n; };
    if (!room(0, 13))
        return 0;
    size_t at = 13, frames = 0;
    if (uint8_t(d[10]) & 0x80)
        at += 3u << ((d[10] & 7) + 1);
    auto skipSubBlocks = [&] {
        while (room(at, 1) && d[at] != 0)
            at += 1 + uint8_t(d[at]);
        ++at;
    };
    while (room(at, 1)) {
        if (d[at] == 0x21) { // an extension
            at += 2;
            skipSubBlocks();
        } else if (d[at] == 0x2C && room(at, 10)) {
            ++frames;
            unsigned flags = uint8_t(d[at + 9]);
            at += 10;
            if (flags & 0x80)
                at += 3u << ((flags & 7) + 1);
            ++at; // the LZW code size
            skipSubBlocks();
        } else {
            break; // the trailer, or damage
        }
    }
    return frames;
}

// ImageMagick calls a BMP cut short an "improper image header". Its bfSize
// is not checked: 0 and a size that leaves trailing bytes are both common.
void CheckBmpPixels(const char *path, const std::string &d, size_t w, size_t h) {
    if (d.size() < 30)
        return; // too short for a header: the decoder says so
    uint32_t offset = Le32(d, 10), header = Le32(d, 14);
    unsigned bits = 0;
    uint32_t compression = 0;
    if (header == 12) {
        bits = Le16(d, 24);
    } else if (header >= 40 && d.size() >= 34) {
        bits = Le16(d, 28);
        compression = Le32(d, 30);
    }
    const bool uncompressed = compression == 0 || compression == 3 || compression == 6;
    if (!uncompressed || bits == 0 || bits > 32 || offset < 14 + header)
        return;
    const size_t stride = (w * bits + 31) / 32 * 4;
    const size_t end = offset + stride * h;
    if (d.size() < end)
        throw Failure{path, "damaged or truncated BMP image (its " + Size(w, h) +
                                " pixels end at byte " + std::to_string(end) +
                                ", the file at byte " + std::to_string(d.size()) + ")"};
}

} // namespace q7title
