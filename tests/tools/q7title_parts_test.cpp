// The converter's parts that only a whole run reached before: the header
// parser that decides the limits, and the colour merge.
#include "q7title_colours.h"
#include "q7title_header.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Bytes(std::initializer_list<unsigned> b) {
    std::string s;
    for (unsigned v : b)
        s += char(v);
    return s;
}

TEST(Q7TitleParts, StoredSizeReadsEachHeader) {
    const std::string png = "\x89PNG\r\n\x1a\n" + Bytes({0, 0, 0, 13}) + "IHDR";
    const std::string bmp = "BM" + std::string(12, '\0');
    const std::string gif = "GIF89a" + Bytes({0x58, 2, 0xB8, 1}); // a 600 x 440 screen
    struct Row {
        const char *what, *format;
        std::string data;
        size_t w, h;
    } rows[] = {
        {"PNG", "PNG", png + Bytes({0, 0, 2, 0x80, 0, 0, 1, 0xE0}), 640, 480},
        {"PNG cut in its height", "PNG", png + Bytes({0, 0, 2, 0x80, 0, 0, 1}), 0, 0},
        {"BMP stored top-down", "BMP",
         bmp + Bytes({40, 0, 0, 0, 0x20, 3, 0, 0, 0x20, 0xFE, 0xFF, 0xFF}), 800, 480},
        {"OS/2 BMP", "BMP", bmp + Bytes({12, 0, 0, 0, 0xD0, 2, 0xE0, 1, 1, 0, 24, 0}), 720, 480},
        // A global table of 2 colours and a graphic control block come
        // before the first frame, which is larger than its screen.
        {"GIF frame", "GIF", gif + Bytes({0x80, 0, 0, 1,    2, 3, 4, 5, 6,    0x21, 0xF9, 4, 0, 0,
                                          0,    0, 0, 0x2C, 0, 0, 0, 0, 0xBC, 2,    0xF4, 1, 0}),
         700, 500},
        {"GIF without a frame", "GIF", gif + Bytes({0, 0, 0, 0x3B}), 600, 440},
        // A Huffman table and a fill byte before a progressive frame header.
        {"JPEG", "JPEG", Bytes({0xFF, 0xD8, 0xFF, 0xC4, 0,    4, 0,    0, 0xFF, 0xFF, 0xC2,
                                0,    11,   8,    1,    0xE0, 2, 0x80, 1, 1,    0x11, 0}),
         640, 480},
        {"JPEG cut in its frame header", "JPEG", Bytes({0xFF, 0xD8, 0xFF, 0xC0, 0, 11, 8, 1, 0xE0}),
         0, 0},
    };
    for (const Row &r : rows) {
        size_t w = 1, h = 1;
        q7title::StoredSize(r.data, r.format, &w, &h);
        EXPECT_EQ(w, r.w) << r.what;
        EXPECT_EQ(h, r.h) << r.what;
    }
}

TEST(Q7TitleParts, MergeMovesTheFewestPixelsTheLeast) {
    struct Row {
        const char *what;
        q7title::Histogram h;
        size_t keep;
        std::vector<uint32_t> kept;
    } rows[] = {
        {"all kept", {{0x000000, 0xFFFFFF}, {5, 5}}, 2, {0x000000, 0xFFFFFF}},
        // 0x0A0000 is the farthest from the others but has one pixel: it
        // moves 1 x 100, either of the others 1000 x 4.
        {"few pixels go first",
         {{0x000000, 0x000002, 0x0A0000}, {1000, 1000, 1}},
         2,
         {0x000000, 0x000002}},
        // 0x000000 (4 x 4) goes into 0x000002, whose 10 pixels then outweigh
        // 0x000064's 8 at the same distance; alone, its 6 would not.
        {"merged pixels count", {{0x000000, 0x000002, 0x000064}, {4, 6, 8}}, 1, {0x000002}},
    };
    for (const Row &r : rows)
        EXPECT_EQ(q7title::Merge(r.h, r.keep), r.kept) << r.what;
}

} // namespace
