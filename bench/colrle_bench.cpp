// Column-RLE decoding speed against the cost of its output alone.
//
//   Memcpy   copies the decoded size: what a plain copy of the bytes costs.
//   Floor    stores the same 4-byte cells column by column with the same
//            stride: the decoder's output pattern with no stream to read.
//   Copy     the floor's stores, each row's cell loaded from a column-ordered
//            copy of the picture (an uncompressed column stream, 4 bytes a
//            row, no branch but the loop's): what reading a stream adds.
//   Decode   ColumnRleDecode, the trusted decoder.
//   Checked  ColumnRleDecodeChecked, the decoder for untrusted data.
//   Paired   the floor, the copy and both decoders in turns, as fractions of
//            the floor.
//
// On an AMD EPYC (Zen 4) host the floor's own speed depends on where its loop
// lies: the same loop ran at 0.6, 1.0 or 2.0 cycles a store, the slowest when
// it crossed a 64-byte boundary, and a loop with a load in it never reached
// the fastest. Floor and copy are kept out of line and aligned to 64 bytes so
// that at least the crossing cannot come and go with unrelated edits.
//
// What reading a stream costs depends on the picture's shape there too. The
// copy loop, reading 4 bytes a row, ran at 0.82 of the floor at the title's
// 580 x 440, at 0.92 with 700 bytes a row and at 0.97 with 576. With 580
// bytes a row it matched the floor up to 352 rows, and written to a small
// buffer instead of the picture it beat the floor. One column of 440 rows
// writes to 440 cache lines; at 580 bytes a row, 37 % of the first-level
// cache's sets (64 sets of 8 lines) get 8 of them, and a line of the stream
// landing in such a set pushes out a line the next column writes again. At
// 576 or 704 bytes a row no set gets more than 7. The decoders read less
// than 4 bytes a row, so they can run faster than the copy.
//
// Pictures: the stored title picture (580 x 440, from resources/backcg.bin)
// a generated 4096 x 4096 picture with bands, blocks, long flat areas and
// noisy patches, and a busy 580 x 440 picture made mostly of single cells. Both are decoded
// bottom-up (stride minus the width), as the picture load does it.
#include "backcg.h"
#include "colrle.h"
#include "colrle_encode.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <algorithm>
#include <chrono>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

struct Picture {
    Bytes stream; // header and column stream
    uint32_t width = 0, height = 0;
    // One output buffer per picture, shared by every benchmark on it, so
    // that they all write to the same addresses.
    Bytes out;
    uint8_t *LastRow() {
        if (out.empty())
            out.assign(static_cast<size_t>(width) * height, 0);
        return out.data() + static_cast<size_t>(height - 1) * width;
    }
};

Picture StoredPicture() {
    Picture p;
    Bytes resource;
    if (FILE *f = std::fopen(Q7_BACKCG_PATH, "rb")) {
        int c;
        while ((c = std::fgetc(f)) != EOF)
            resource.push_back(static_cast<uint8_t>(c));
        std::fclose(f);
    }
    const uint8_t *picture;
    size_t size;
    if (LocateBackgroundPicture(resource.data(), resource.size(), &picture, &size) &&
        ColumnRleReadHeader(picture, size, &p.width, &p.height))
        p.stream.assign(picture, picture + size);
    return p;
}

uint32_t Random(uint32_t &state) {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
}

// A large picture with the mix of a drawn scene: horizontal bands of varied
// height, rectangles over them, tall flat areas (long runs) and some noise.
Picture LargePicture() {
    const uint32_t w = 4096, h = 4096;
    Bytes px(static_cast<size_t>(w) * h);
    uint32_t s = 12345;
    for (uint32_t y = 0; y < h;) {
        uint32_t band = 3 + Random(s) % 40;
        uint8_t colour = static_cast<uint8_t>(Random(s));
        for (uint32_t k = 0; k < band && y < h; ++k, ++y)
            std::memset(&px[static_cast<size_t>(y) * w], colour, w);
    }
    for (int n = 0; n < 3000; ++n) {
        uint32_t x0 = Random(s) % w, y0 = Random(s) % h;
        uint32_t rw = 8 + Random(s) % 400, rh = 4 + Random(s) % 700;
        uint8_t colour = static_cast<uint8_t>(Random(s));
        bool noisy = n % 10 == 0;
        for (uint32_t y = y0; y < h && y < y0 + rh; ++y)
            for (uint32_t x = x0; x < w && x < x0 + rw; ++x)
                px[static_cast<size_t>(y) * w + x] =
                    noisy ? static_cast<uint8_t>(colour + Random(s) % 3) : colour;
    }
    Picture p;
    p.width = w;
    p.height = h;
    p.stream = ColumnRleEncode(px.data(), w, h);
    return p;
}

// A busy picture of the stored picture's size: mostly single cells, with a
// run every ten rows or so, the mix of a detailed, shaded illustration.
Picture BusyPicture() {
    const uint32_t w = 580, h = 440;
    Bytes px(static_cast<size_t>(w) * h);
    uint32_t s = 777;
    for (uint32_t x = 0; x < w; x += 4)
        for (uint32_t y = 0; y < h;) {
            uint32_t rows = Random(s) % 11 == 0 ? 2 + Random(s) % 20 : 1;
            uint32_t v = Random(s);
            for (uint32_t k = 0; k < rows && y < h; ++k, ++y)
                std::memcpy(&px[static_cast<size_t>(y) * w + x], &v, 4);
        }
    Picture p;
    p.width = w;
    p.height = h;
    p.stream = ColumnRleEncode(px.data(), w, h);
    return p;
}

Picture &Get(int which) {
    static Picture stored = StoredPicture();
    static Picture large = LargePicture();
    static Picture busy = BusyPicture();
    return which == 0 ? stored : which == 1 ? large : busy;
}

std::string Describe(const Picture &p) {
    char text[80];
    std::snprintf(text, sizeof text, "%ux%u, stream %zu bytes", p.width, p.height, p.stream.size());
    return text;
}

void Label(benchmark::State &state, const Picture &p) {
    state.SetLabel(Describe(p));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * p.width * p.height);
}

void Memcpy(benchmark::State &state) {
    Picture &p = Get(static_cast<int>(state.range(0)));
    Bytes src(static_cast<size_t>(p.width) * p.height, 7);
    p.LastRow();
    for (auto _ : state) {
        std::memcpy(p.out.data(), src.data(), src.size());
        benchmark::ClobberMemory();
    }
    Label(state, p);
}

// The decoder's output pattern with no stream to read.
__attribute__((noinline, aligned(64))) void StoreFloor(const Picture &p, uint8_t *last) {
    // Locals: read through p, the sizes would be loaded again after every
    // store (the stores may alias them), a load per row that the decoder's
    // own loops do not have.
    const uint32_t columns = p.width / 4, height = p.height;
    const int32_t stride = -static_cast<int32_t>(p.width);
    for (uint32_t i = 0; i < columns; ++i) {
        uint8_t *o = last + 4 * static_cast<size_t>(i);
        uint32_t v = i * 0x01010101u;
        for (uint32_t k = 0; k < height; ++k) {
            std::memcpy(o, &v, 4);
            o += stride;
        }
    }
}

// The same stores, each cell read in turn from a column-ordered array.
__attribute__((noinline, aligned(64))) void StoreCopy(const Picture &p, uint8_t *last,
                                                      const uint8_t *cells) {
    const uint32_t columns = p.width / 4, height = p.height;
    const int32_t stride = -static_cast<int32_t>(p.width);
    for (uint32_t i = 0; i < columns; ++i) {
        uint8_t *o = last + 4 * static_cast<size_t>(i);
        for (uint32_t k = 0; k < height; ++k) {
            uint32_t v;
            std::memcpy(&v, cells, 4);
            cells += 4;
            std::memcpy(o, &v, 4);
            o += stride;
        }
    }
}

// The picture's cells in column order, top row first: the copy's source.
Bytes ColumnOrder(Picture &p) {
    Bytes cells;
    cells.reserve(static_cast<size_t>(p.width) * p.height);
    ColumnRleDecode(p.LastRow(), p.stream.data(), -static_cast<int32_t>(p.width));
    for (uint32_t i = 0; i < p.width / 4; ++i)
        for (uint32_t k = p.height; k-- != 0;) {
            const uint8_t *cell = p.out.data() + static_cast<size_t>(k) * p.width + 4 * i;
            cells.insert(cells.end(), cell, cell + 4);
        }
    return cells;
}

void Floor(benchmark::State &state) {
    Picture &p = Get(static_cast<int>(state.range(0)));
    uint8_t *last = p.LastRow();
    for (auto _ : state) {
        StoreFloor(p, last);
        benchmark::ClobberMemory();
    }
    Label(state, p);
}

void Decode(benchmark::State &state) {
    Picture &p = Get(static_cast<int>(state.range(0)));
    uint8_t *last = p.LastRow();
    for (auto _ : state) {
        ColumnRleDecode(last, p.stream.data(), -static_cast<int32_t>(p.width));
        benchmark::ClobberMemory();
    }
    Label(state, p);
}

void Checked(benchmark::State &state) {
    Picture &p = Get(static_cast<int>(state.range(0)));
    uint8_t *last = p.LastRow();
    for (auto _ : state) {
        bool ok = ColumnRleDecodeChecked(last, p.stream.data(), p.stream.size(),
                                         -static_cast<int32_t>(p.width));
        benchmark::DoNotOptimize(ok);
        benchmark::ClobberMemory();
        if (!ok)
            state.SkipWithError("checked decode refused the picture");
    }
    Label(state, p);
}

// Argument 0 is the stored picture, 1 the large one, 2 the busy one.
BENCHMARK(Memcpy)->Arg(0)->Arg(1)->Arg(2);
BENCHMARK(Floor)->Arg(0)->Arg(1)->Arg(2);
BENCHMARK(Decode)->Arg(0)->Arg(1)->Arg(2);
BENCHMARK(Checked)->Arg(0)->Arg(1)->Arg(2);

// The copy, the floor and both decoders in turns within every iteration,
// each timed on its own. On a shared machine the load that comes and goes
// between separate benchmarks moves their ratio (from 0.5x to 1.1x on one
// host); turns see the same load, and the fastest time of each, which load
// can only lengthen, is the one kept. The counters are the floor's fastest
// time and the others' speeds as fractions of the floor's: the figures to
// compare across changes.
void Paired(benchmark::State &state) {
    using Clock = std::chrono::steady_clock;
    Picture &p = Get(static_cast<int>(state.range(0)));
    uint8_t *last = p.LastRow();
    const int32_t stride = -static_cast<int32_t>(p.width);
    const Bytes columns = ColumnOrder(p);
    Clock::duration floor = Clock::duration::max(), copy = floor, decode = floor, checked = floor;
    for (auto _ : state) {
        Clock::time_point tc = Clock::now();
        StoreCopy(p, last, columns.data());
        benchmark::ClobberMemory();
        Clock::time_point t0 = Clock::now();
        StoreFloor(p, last);
        benchmark::ClobberMemory();
        Clock::time_point t1 = Clock::now();
        ColumnRleDecode(last, p.stream.data(), stride);
        benchmark::ClobberMemory();
        Clock::time_point t2 = Clock::now();
        bool ok = ColumnRleDecodeChecked(last, p.stream.data(), p.stream.size(), stride);
        benchmark::DoNotOptimize(ok);
        benchmark::ClobberMemory();
        Clock::time_point t3 = Clock::now();
        if (!ok)
            state.SkipWithError("checked decode refused the picture");
        copy = std::min(copy, t0 - tc);
        floor = std::min(floor, t1 - t0);
        decode = std::min(decode, t2 - t1);
        checked = std::min(checked, t3 - t2);
    }
    state.SetLabel(Describe(p));
    state.counters["floor_us"] = std::chrono::duration<double, std::micro>(floor).count();
    state.counters["copy_x_floor"] = std::chrono::duration<double>(floor) / copy;
    state.counters["decode_x_floor"] = std::chrono::duration<double>(floor) / decode;
    state.counters["checked_x_floor"] = std::chrono::duration<double>(floor) / checked;
}
BENCHMARK(Paired)->Arg(0)->Arg(1)->Arg(2);

} // namespace

BENCHMARK_MAIN();
