#include "blit.h"

#include "canvas.h"

#include <gtest/gtest.h>
#include <cmath>

namespace {

Pixels Gradient(uint32_t width, uint32_t height) {
    Pixels p;
    p.width = width;
    p.height = height;
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x)
            p.data.push_back(static_cast<uint8_t>(x * 7 + y * 31 + 1));
    return p;
}

// What a keyed copy must leave in one destination byte.
uint8_t Keyed(uint8_t before, uint8_t source, uint32_t key) {
    return source == (key >> 24) ? before : source;
}

} // namespace

TEST(ClearRect, ClearsWholeCellsOnly) {
    for (bool bottomUp : {false, true}) {
        Canvas canvas(24, 5, 0x77, bottomUp);
        ClearRect(canvas.Destination(), canvas.Stride(), 22, 4);
        for (uint32_t r = 0; r < 5; ++r)
            for (uint32_t c = 0; c < 24; ++c)
                EXPECT_EQ(r < 4 && c < 20 ? 0 : 0x77, canvas.At(c, r)) << c << "," << r;
        EXPECT_TRUE(canvas.GuardsIntact());
    }
}

TEST(RawCopy, CopiesEveryRowInEitherOrder) {
    Pixels p = Gradient(12, 9);
    std::vector<uint8_t> raw = RawPicture(p);
    for (bool bottomUp : {false, true}) {
        Canvas canvas(12, 9, 0, bottomUp);
        RawCopy(canvas.Destination(), raw.data(), canvas.Stride());
        EXPECT_EQ(p.data, canvas.Pixels());
        EXPECT_TRUE(canvas.GuardsIntact());
    }
}

TEST(RawCopy, ClipUsesXAsAnyByteOffsetAndWholeCellsOfW) {
    Pixels p = Gradient(16, 10);
    std::vector<uint8_t> raw = RawPicture(p);
    struct Window {
        uint32_t x, y, w, h;
    };
    for (Window win :
         {Window{5, 2, 8, 3}, Window{0, 0, 16, 10}, Window{3, 9, 11, 1}, Window{12, 4, 4, 6}}) {
        Canvas canvas(win.w & ~3u, win.h, 0xEE);
        RawCopyClip(canvas.Destination(), raw.data(), canvas.Stride(), win.x, win.y, win.w, win.h);
        for (uint32_t r = 0; r < win.h; ++r)
            for (uint32_t c = 0; c < (win.w & ~3u); ++c)
                ASSERT_EQ(p.at(win.x + c, win.y + r), canvas.At(c, r)) << win.x << " " << c;
        EXPECT_TRUE(canvas.GuardsIntact());
    }
}

TEST(RawCopy, KeyedCopiesSkipTheKeyByteFromTheHighByteOfTheKey) {
    std::mt19937 rng(7);
    for (uint32_t key : {0x0C000000u, 0x0000000Cu, 0x0CFFFFFFu, 0xFF00000Cu}) {
        Pixels p = RandomPixels(rng, 20, 13, {0, 12, 0xFF, 0x0C, 3, 0x80}, false);
        std::vector<uint8_t> raw = RawPicture(p);
        Canvas canvas(20, 13, 0x99, true);
        Canvas before = canvas;
        RawCopyKey(key, canvas.Destination(), raw.data(), canvas.Stride());
        for (uint32_t r = 0; r < 13; ++r)
            for (uint32_t c = 0; c < 20; ++c)
                ASSERT_EQ(Keyed(before.At(c, r), p.at(c, r), key), canvas.At(c, r)) << key;
        EXPECT_TRUE(canvas.GuardsIntact());

        Canvas clip(8, 4, 0x99);
        RawCopyClipKey(key, clip.Destination(), raw.data(), clip.Stride(), 9, 6, 8, 4);
        for (uint32_t r = 0; r < 4; ++r)
            for (uint32_t c = 0; c < 8; ++c)
                ASSERT_EQ(Keyed(0x99, p.at(9 + c, 6 + r), key), clip.At(c, r)) << key;
        EXPECT_TRUE(clip.GuardsIntact());
    }
    // 0x0000000C: zero is the transparent byte and 12 is drawn.
    Pixels p;
    p.width = 4;
    p.height = 1;
    p.data = {0, 12, 0, 5};
    std::vector<uint8_t> raw = RawPicture(p);
    Canvas canvas(4, 1, 0x33);
    RawCopyKey(0x0000000C, canvas.Destination(), raw.data(), canvas.Stride());
    EXPECT_EQ((std::vector<uint8_t>{0x33, 12, 0x33, 5}), canvas.Pixels());
    RawCopyKey(0x0C000000, canvas.Destination(), raw.data(), canvas.Stride());
    EXPECT_EQ((std::vector<uint8_t>{0, 12, 0, 5}), canvas.Pixels());
}

TEST(WaveTable, HoldsRoundedCosineAndSine) {
    for (int k = 0; k < 256; ++k) {
        double a = 2.0 * M_PI * k / 256.0;
        EXPECT_EQ(std::lround(1000.0 * std::cos(a)), g_waveTable[2 * k]) << k;
        EXPECT_EQ(std::lround(1000.0 * std::sin(a)), g_waveTable[2 * k + 1]) << k;
    }
    const int32_t examples[][3] = {{0, 1000, 0},    {1, 1000, 25},   {2, 999, 49},
                                   {3, 997, 74},    {32, 707, 707},  {64, 0, 1000},
                                   {128, -1000, 0}, {255, 1000, -25}};
    for (const auto &e : examples) {
        EXPECT_EQ(e[1], g_waveTable[2 * e[0]]);
        EXPECT_EQ(e[2], g_waveTable[2 * e[0] + 1]);
    }
}

TEST(WaveTable, DisplacementTruncatesTowardZero) {
    EXPECT_EQ(7, WaveDisplacement(100, 256));  // cos 707
    EXPECT_EQ(0, WaveDisplacement(100, 4));    // sin 0
    EXPECT_EQ(-10, WaveDisplacement(-100, 8)); // cos 1000 of entry 1
    EXPECT_EQ(-3, WaveDisplacement(-37, 8));   // -3.7
    EXPECT_EQ(3, WaveDisplacement(37, 8));
    EXPECT_EQ(2, WaveDisplacement(-37, 1024 + 256));      // cos -707: -37 * -707 = 2.6
    EXPECT_EQ(-7, WaveDisplacement(100, 1024 + 256 + 4)); // sin of entry 160 is -707
    // The product needs 64 bits: 1000 * 2^31 does not fit in 32.
    EXPECT_EQ(214748364, WaveDisplacement(INT32_MAX, 0));
    EXPECT_EQ(-214748364, WaveDisplacement(INT32_MIN, 0));
    EXPECT_EQ(-214748364, WaveDisplacement(INT32_MAX, 1024));
}

namespace {

// A wide picture with distinct bytes along each row, so any sideways move
// shows.
Pixels WavePicture() {
    Pixels p;
    p.width = 64;
    p.height = 300;
    for (uint32_t y = 0; y < p.height; ++y)
        for (uint32_t x = 0; x < p.width; ++x)
            p.data.push_back(static_cast<uint8_t>(x + 3 * y));
    return p;
}

// The row shift computed from the angle, not from the table.
int32_t ExpectedShift(int32_t amplitude, uint32_t phase) {
    double a = 2.0 * M_PI * (phase / 8) / 256.0;
    long t = std::lround(1000.0 * (phase % 8 == 0 ? std::cos(a) : std::sin(a)));
    return static_cast<int32_t>(static_cast<long long>(t) * amplitude / 10000);
}

} // namespace

TEST(RawCopyWave, ZeroAmplitudeIsRawCopyClip) {
    Pixels p = WavePicture();
    std::vector<uint8_t> raw = RawPicture(p);
    Canvas wave(20, 50), clip(20, 50);
    RawCopyWave(wave.Destination(), raw.data(), wave.Stride(), 21, 30, 22, 50, 0, 12, 100);
    RawCopyClip(clip.Destination(), raw.data(), clip.Stride(), 21, 30, 20, 50);
    EXPECT_EQ(clip.Pixels(), wave.Pixels());
    EXPECT_TRUE(wave.GuardsIntact());
}

TEST(RawCopyWave, MovesEachRowByItsPhase) {
    Pixels p = WavePicture();
    std::vector<uint8_t> raw = RawPicture(p);
    struct Case {
        int32_t amplitude;
        uint32_t step, start;
    };
    // Single rows at the documented phases, then long runs that wrap the
    // phase past 2047 and mix cosines and sines.
    for (Case c : {Case{100, 0, 256}, Case{100, 0, 4}, Case{-100, 0, 8}, Case{-37, 0, 8},
                   Case{100, 8, 0}, Case{-150, 12, 2000}, Case{99, 2044, 4}}) {
        uint32_t rows = c.step == 0 ? 3 : 280;
        Canvas canvas(16, rows);
        RawCopyWave(canvas.Destination(), raw.data(), canvas.Stride(), 24, 10, 16, rows,
                    c.amplitude, c.step, c.start);
        uint32_t phase = c.start;
        for (uint32_t r = 0; r < rows; ++r) {
            int32_t shift = ExpectedShift(c.amplitude, phase);
            for (uint32_t x = 0; x < 16; ++x)
                ASSERT_EQ(p.at(24 + x + shift, 10 + r), canvas.At(x, r))
                    << "amplitude " << c.amplitude << " row " << r << " phase " << phase;
            phase = (phase + c.step) & 2047;
        }
        EXPECT_TRUE(canvas.GuardsIntact());
    }
    // The documented moves, seen on the pixels themselves.
    Canvas one(4, 1);
    RawCopyWave(one.Destination(), raw.data(), one.Stride(), 24, 0, 4, 1, 100, 0, 256);
    EXPECT_EQ(24 + 7, one.At(0, 0));
    RawCopyWave(one.Destination(), raw.data(), one.Stride(), 24, 0, 4, 1, -37, 0, 8);
    EXPECT_EQ(24 - 3, one.At(0, 0));
}
