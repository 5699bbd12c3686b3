// Speed of the drawing operations on a picture of the launcher's size
// (580 x 440), against the plain decoder.
#include "blit.h"
#include "colrle.h"
#include "colrle_blit.h"
#include "colrle_pattern.h"
#include "colrle_encode.h"
#include "title_picture.h"

#include <benchmark/benchmark.h>
#include <random>
#include <vector>

namespace {

const uint32_t kWidth = kTitleWidth, kHeight = kTitleHeight;

enum Kind { kTitle, kRunny, kNoisy, kTransparent };

// Title: the launcher's own background picture. Runny: every column a mix of single cells and runs
// of 2 to 60 rows, some holding the byte 12; noisy: no two rows alike; transparent: all 12.
std::vector<uint8_t> MakePixels(Kind kind) {
    std::mt19937 rng(42);
    std::vector<uint8_t> px(static_cast<size_t>(kWidth) * kHeight, 12);
    if (kind == kTransparent)
        return px;
    if (kind == kTitle) {
        uint8_t colours[768];
        DrawTitlePicture(px.data(), colours);
        return px;
    }
    for (uint32_t col = 0; col < kWidth / 4; ++col) {
        uint32_t y = 0;
        while (y < kHeight) {
            uint32_t n = kind == kNoisy || rng() % 3 == 0 ? 1 : 2 + rng() % 59;
            uint8_t b[4];
            for (uint8_t &v : b)
                v = static_cast<uint8_t>(kind == kNoisy ? 13 + rng() % 240 : rng() % 32);
            for (uint32_t k = 0; k < n && y < kHeight; ++k, ++y)
                for (int j = 0; j < 4; ++j)
                    px[static_cast<size_t>(y) * kWidth + 4 * col + j] = b[j];
        }
    }
    return px;
}

const std::vector<uint8_t> &Stream(Kind kind) {
    static std::vector<uint8_t> streams[4];
    if (streams[kind].empty()) {
        std::vector<uint8_t> px = MakePixels(kind);
        streams[kind] = ColumnRleEncode(px.data(), kWidth, kHeight);
    }
    return streams[kind];
}

const std::vector<uint8_t> &Raw() {
    static std::vector<uint8_t> raw;
    if (raw.empty()) {
        raw = {kWidth & 0xFF, kWidth >> 8, kHeight & 0xFF, kHeight >> 8};
        std::vector<uint8_t> px = MakePixels(kRunny);
        raw.insert(raw.end(), px.begin(), px.end());
    }
    return raw;
}

// Bottom-up destination, as the launcher's bitmap.
struct Target {
    std::vector<uint8_t> bytes = std::vector<uint8_t>(static_cast<size_t>(kWidth) * kHeight);
    uint8_t *last() {
        return bytes.data() + static_cast<size_t>(kWidth) * (kHeight - 1);
    }
    int32_t stride() const {
        return -static_cast<int32_t>(kWidth);
    }
};

void Finish(benchmark::State &state, Target &t) {
    benchmark::DoNotOptimize(t.bytes.data());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kWidth * kHeight);
}

void BM_Decode(benchmark::State &state) {
    const auto &s = Stream(static_cast<Kind>(state.range(0)));
    Target t;
    for (auto _ : state) {
        ColumnRleDecode(t.last(), s.data(), t.stride());
        benchmark::ClobberMemory();
    }
    Finish(state, t);
}

void BM_DecodeClipWhole(benchmark::State &state) {
    const auto &s = Stream(static_cast<Kind>(state.range(0)));
    Target t;
    for (auto _ : state) {
        ColumnRleDecodeClip(t.last(), s.data(), t.stride(), 0, 0, kWidth, kHeight);
        benchmark::ClobberMemory();
    }
    Finish(state, t);
}

// Whole width, wrapping at column 72, and all but one row: the windowed walk.
void BM_DecodeClipWrapped(benchmark::State &state) {
    const auto &s = Stream(static_cast<Kind>(state.range(0)));
    Target t;
    for (auto _ : state) {
        ColumnRleDecodeClip(t.last(), s.data(), t.stride(), 288, 1, kWidth, kHeight - 1);
        benchmark::ClobberMemory();
    }
    Finish(state, t);
}

void BM_DecodeClipKeyWrapped(benchmark::State &state) {
    const auto &s = Stream(static_cast<Kind>(state.range(0)));
    Target t;
    for (auto _ : state) {
        ColumnRleDecodeClipKey(0x0C000000, t.last(), s.data(), t.stride(), 288, 1, kWidth,
                               kHeight - 1);
        benchmark::ClobberMemory();
    }
    Finish(state, t);
}

void BM_DecodeKey(benchmark::State &state) {
    const auto &s = Stream(static_cast<Kind>(state.range(0)));
    Target t;
    for (auto _ : state) {
        ColumnRleDecodeKey(0x0C000000, t.last(), s.data(), t.stride());
        benchmark::ClobberMemory();
    }
    Finish(state, t);
}

void BM_DecodePattern(benchmark::State &state) {
    const auto &s = Stream(static_cast<Kind>(state.range(0)));
    Target t;
    for (auto _ : state) {
        SetPattern(0, 0xF00F, 1);
        ColumnRleDecodePattern(t.last(), s.data(), t.stride());
        benchmark::ClobberMemory();
    }
    Finish(state, t);
}

void BM_DecodePatternKey(benchmark::State &state) {
    const auto &s = Stream(static_cast<Kind>(state.range(0)));
    Target t;
    for (auto _ : state) {
        SetPattern(0, 0xF00F, 1);
        ColumnRleDecodePatternKey(t.last(), s.data(), t.stride());
        benchmark::ClobberMemory();
    }
    Finish(state, t);
}

void BM_RawCopy(benchmark::State &state) {
    Target t;
    for (auto _ : state) {
        RawCopy(t.last(), Raw().data(), t.stride());
        benchmark::ClobberMemory();
    }
    Finish(state, t);
}

void BM_RawCopyKey(benchmark::State &state) {
    Target t;
    for (auto _ : state) {
        RawCopyKey(0x0C000000, t.last(), Raw().data(), t.stride());
        benchmark::ClobberMemory();
    }
    Finish(state, t);
}

void BM_RawCopyWave(benchmark::State &state) {
    Target t;
    for (auto _ : state) {
        RawCopyWave(t.last(), Raw().data(), t.stride(), 20, 0, kWidth - 40, kHeight, 150, 8, 0);
        benchmark::ClobberMemory();
    }
    Finish(state, t);
}

void BM_ClearRect(benchmark::State &state) {
    Target t;
    for (auto _ : state) {
        ClearRect(t.last(), t.stride(), kWidth, kHeight);
        benchmark::ClobberMemory();
    }
    Finish(state, t);
}

void Kinds(benchmark::internal::Benchmark *b) {
    b->ArgName("kind")->Arg(kTitle)->Arg(kRunny)->Arg(kNoisy)->Arg(kTransparent);
}

} // namespace

BENCHMARK(BM_Decode)->Apply(Kinds);
BENCHMARK(BM_DecodeClipWhole)->Apply(Kinds);
BENCHMARK(BM_DecodeClipWrapped)->Apply(Kinds);
BENCHMARK(BM_DecodeClipKeyWrapped)->Apply(Kinds);
BENCHMARK(BM_DecodeKey)->Apply(Kinds);
BENCHMARK(BM_DecodePattern)->Apply(Kinds);
BENCHMARK(BM_DecodePatternKey)->Apply(Kinds);
BENCHMARK(BM_RawCopy);
BENCHMARK(BM_RawCopyKey);
BENCHMARK(BM_RawCopyWave);
BENCHMARK(BM_ClearRect);

BENCHMARK_MAIN();
