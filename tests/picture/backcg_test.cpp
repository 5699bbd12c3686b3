// The background picture resource: its layout, its colour table, and the
// stored title picture.
#include "backcg.h"
#include "colrle.h"
#include "title_picture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

void PutU32(Bytes &b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// A resource of `size` bytes with the given count and first offset.
Bytes Resource(size_t size, uint32_t count, uint32_t offset) {
    Bytes r(size, 0);
    PutU32(r, 768, count);
    PutU32(r, 772, offset);
    return r;
}

TEST(LocateBackgroundPicture, FollowsTheFirstOffset) {
    const uint8_t *picture = nullptr;
    size_t size = 0;
    Bytes r = Resource(800, 1, 4);
    ASSERT_TRUE(LocateBackgroundPicture(r.data(), r.size(), &picture, &size));
    EXPECT_EQ(picture, r.data() + 780); // record at 776, its picture 4 bytes in
    EXPECT_EQ(size, 800u - 780u);

    // The count is not read: offset 8 puts the record at 780 whatever it says.
    for (uint32_t count : {0u, 1u, 7u, 0xFFFFFFFFu}) {
        Bytes s = Resource(800, count, 8);
        ASSERT_TRUE(LocateBackgroundPicture(s.data(), s.size(), &picture, &size)) << count;
        EXPECT_EQ(picture, s.data() + 784) << count;
        EXPECT_EQ(size, 800u - 784u) << count;
    }
}

TEST(LocateBackgroundPicture, RefusesWhatLiesPastTheEnd) {
    const uint8_t *picture = nullptr;
    size_t size = 0;
    // Colour table or picture table cut short.
    Bytes shortTable(775, 0);
    EXPECT_FALSE(LocateBackgroundPicture(shortTable.data(), shortTable.size(), &picture, &size));
    // The record's reserved word, width and height must all be there.
    Bytes exact = Resource(784, 1, 4);
    EXPECT_TRUE(LocateBackgroundPicture(exact.data(), exact.size(), &picture, &size));
    EXPECT_EQ(size, 4u);
    Bytes cut = Resource(783, 1, 4);
    EXPECT_FALSE(LocateBackgroundPicture(cut.data(), cut.size(), &picture, &size));
    // Offsets past the end, including ones that would wrap a pointer.
    for (uint32_t offset : {5u, 28u, 1000u, 0x7FFFFFFFu, 0xFFFFFFF0u, 0xFFFFFFFFu}) {
        Bytes r = Resource(784, 1, offset);
        EXPECT_FALSE(LocateBackgroundPicture(r.data(), r.size(), &picture, &size)) << offset;
    }
}

TEST(SplitColourTable, ChannelOrder) {
    uint8_t table[768];
    for (int i = 0; i < 256; ++i) {
        table[3 * i] = static_cast<uint8_t>(i);
        table[3 * i + 1] = static_cast<uint8_t>(i + 1);
        table[3 * i + 2] = static_cast<uint8_t>(i + 2);
    }
    table[3 * 40] = 1; // entry 40 holds the bytes 1, 2, 3
    table[3 * 40 + 1] = 2;
    table[3 * 40 + 2] = 3;
    uint8_t logical[256][4], quads[256][4];
    SplitColourTable(table, logical, quads);
    // Logical palette: red, green, blue, flags.
    EXPECT_EQ(logical[40][0], 3);
    EXPECT_EQ(logical[40][1], 2);
    EXPECT_EQ(logical[40][2], 1);
    EXPECT_EQ(logical[40][3], kPaletteNoCollapse);
    // Bitmap colour table: blue, green, red, reserved 0.
    EXPECT_EQ(quads[40][0], 1);
    EXPECT_EQ(quads[40][1], 2);
    EXPECT_EQ(quads[40][2], 3);
    EXPECT_EQ(quads[40][3], 0);
    for (int i = 0; i < 256; ++i) {
        if (i == 40)
            continue;
        ASSERT_EQ(logical[i][0], static_cast<uint8_t>(i + 2)) << i;
        ASSERT_EQ(logical[i][2], static_cast<uint8_t>(i)) << i;
        ASSERT_EQ(logical[i][3], 4) << i;
        ASSERT_EQ(quads[i][0], static_cast<uint8_t>(i)) << i;
        ASSERT_EQ(quads[i][2], static_cast<uint8_t>(i + 2)) << i;
        ASSERT_EQ(quads[i][3], 0) << i;
    }
}

Bytes ReadStored() {
    Bytes data;
    FILE *f = std::fopen(Q7_BACKCG_PATH, "rb");
    if (f == nullptr)
        return data;
    int c;
    while ((c = std::fgetc(f)) != EOF)
        data.push_back(static_cast<uint8_t>(c));
    std::fclose(f);
    return data;
}

TEST(StoredBackground, IsTheTitlePictureAndDecodes) {
    Bytes stored = ReadStored();
    ASSERT_FALSE(stored.empty()) << Q7_BACKCG_PATH;
    // The committed file is exactly what the generator draws today.
    EXPECT_TRUE(BuildTitleResource() == stored);

    for (int i = 0; i < 256; ++i) {
        if (i < 10 || i >= 246) {
            for (int k = 0; k < 3; ++k)
                ASSERT_EQ(stored[3 * i + k], 0) << "entry " << i;
        }
    }

    const uint8_t *picture = nullptr;
    size_t size = 0;
    ASSERT_TRUE(LocateBackgroundPicture(stored.data(), stored.size(), &picture, &size));
    EXPECT_EQ(picture, stored.data() + 780);
    uint32_t width = 0, height = 0;
    ASSERT_TRUE(ColumnRleReadHeader(picture, size, &width, &height));
    EXPECT_EQ(width, 580u);
    EXPECT_EQ(height, 440u);

    // Decoded as the load does it: bottom-up, stride minus the width.
    Bytes pixels(static_cast<size_t>(width) * height, 0);
    ASSERT_TRUE(ColumnRleDecodeChecked(pixels.data() + (height - 1) * width, picture, size,
                                       -static_cast<int32_t>(width)));
    for (size_t i = 0; i < pixels.size(); ++i)
        ASSERT_TRUE(pixels[i] >= 10 && pixels[i] <= 228) << "pixel " << i;
    Bytes unchecked(pixels.size(), 1);
    ColumnRleDecode(unchecked.data() + (height - 1) * width, picture, -static_cast<int32_t>(width));
    EXPECT_TRUE(unchecked == pixels);

    // The stream ends exactly at the end of the resource: a byte less is
    // refused.
    EXPECT_FALSE(ColumnRleDecodeChecked(pixels.data() + (height - 1) * width, picture, size - 1,
                                        -static_cast<int32_t>(width)));
}

} // namespace
