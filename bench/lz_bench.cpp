// Decompression speed of the streaming back-reference decoder, fed in 64 KB
// pieces and one byte per call, against zlib inflate and LZ4 on the same
// data in the same run. Throughput counts decompressed bytes. The closing
// lines give each decoder's speed relative to LZ4.
#include "lzencode.h"
#include "lzstream.h"

#include <benchmark/benchmark.h>
#include <lz4.h>
#include <zlib.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// Text-like data: words of a made-up vocabulary drawn with a skewed
// (Zipf-like) frequency, sentences, numbers and line breaks.
void AppendText(Bytes &out, size_t size, std::mt19937 &rng) {
    static std::vector<std::string> vocabulary;
    if (vocabulary.empty()) {
        std::mt19937 words(1);
        const char *const syllables[] = {"ka",  "ri", "to", "ne",  "su", "mo", "ha", "yu", "ta",
                                         "shi", "ro", "ke", "the", "in", "ar", "on", "es", "al"};
        for (int i = 0; i < 2000; ++i) {
            std::string w;
            for (unsigned n = 1 + words() % 4; n != 0; --n)
                w += syllables[words() % (sizeof syllables / sizeof syllables[0])];
            vocabulary.push_back(w);
        }
    }
    std::string text;
    size_t inSentence = 0;
    while (text.size() < size) {
        double u = std::uniform_real_distribution<double>(0.0, 1.0)(rng);
        size_t index = static_cast<size_t>(std::pow(vocabulary.size(), u)) - 1;
        std::string word = vocabulary[index];
        if (inSentence == 0)
            word[0] = static_cast<char>(word[0] - 'a' + 'A');
        text += word;
        if (rng() % 23 == 0)
            text += " " + std::to_string(rng() % 10000);
        if (++inSentence > 5 + rng() % 12) {
            text += rng() % 4 == 0 ? ".\n" : ". ";
            inSentence = 0;
        } else {
            text += rng() % 11 == 0 ? ", " : " ";
        }
    }
    out.insert(out.end(), text.begin(), text.begin() + static_cast<ptrdiff_t>(size));
}

// Picture-like data: 8-bit pixels, 640 per row, with flat areas, dithered
// gradients, a repeated sprite and a little noise, rows resembling the row
// above.
void AppendPicture(Bytes &out, size_t rows, std::mt19937 &rng) {
    const size_t width = 640;
    Bytes sprite(32 * 32);
    for (uint8_t &p : sprite)
        p = static_cast<uint8_t>(rng() % 3 == 0 ? 0 : 64 + rng() % 8);
    size_t start = out.size();
    out.resize(start + width * rows);
    uint8_t *pic = out.data() + start;
    size_t spriteX = rng() % (width - 32), spriteY = rng() % rows;
    for (size_t y = 0; y < rows; ++y) {
        uint8_t *row = pic + y * width;
        for (size_t x = 0; x < width;) {
            size_t run = 4 + rng() % 60;
            unsigned kind = rng() % 8;
            for (; run != 0 && x < width; --run, ++x) {
                uint8_t v;
                if (kind < 3 && y > 0)
                    v = row[x - width]; // as above
                else if (kind < 5)
                    v = static_cast<uint8_t>(16 + (x + y) / 24);
                else if (kind < 7)
                    v = static_cast<uint8_t>(128 + (x / 8 + y / 8) % 16 + ((x ^ y) & 1));
                else
                    v = static_cast<uint8_t>(rng() % 4 == 0 ? rng() : 200);
                row[x] = v;
            }
        }
        if (y >= spriteY && y < spriteY + 32 && y + 32 < rows)
            for (size_t x = 0; x < 32; ++x)
                if (sprite[(y - spriteY) * 32 + x] != 0)
                    row[spriteX + x] = sprite[(y - spriteY) * 32 + x];
    }
}

struct Corpus {
    Bytes raw;
    Bytes ours;
    Bytes zlib;
    Bytes lz4;
};

const Corpus &TheCorpus() {
    static Corpus c;
    if (!c.raw.empty())
        return c;
    std::mt19937 rng(2026);
    while (c.raw.size() < 8u << 20) {
        if (rng() % 2)
            AppendText(c.raw, 64 * 1024 + rng() % (192 * 1024), rng);
        else
            AppendPicture(c.raw, 100 + rng() % 300, rng);
    }
    c.ours = LzEncode(c.raw.data(), c.raw.size());

    uLongf zsize = compressBound(static_cast<uLong>(c.raw.size()));
    c.zlib.resize(zsize);
    compress2(c.zlib.data(), &zsize, c.raw.data(), static_cast<uLong>(c.raw.size()),
              Z_DEFAULT_COMPRESSION);
    c.zlib.resize(zsize);

    c.lz4.resize(static_cast<size_t>(LZ4_compressBound(static_cast<int>(c.raw.size()))));
    int lsize = LZ4_compress_default(
        reinterpret_cast<const char *>(c.raw.data()), reinterpret_cast<char *>(c.lz4.data()),
        static_cast<int>(c.raw.size()), static_cast<int>(c.lz4.size()));
    c.lz4.resize(static_cast<size_t>(lsize));
    std::fprintf(stderr, "data %zu bytes; compressed: ours %zu, zlib %zu, lz4 %zu\n", c.raw.size(),
                 c.ours.size(), c.zlib.size(), c.lz4.size());
    return c;
}

void DecodePieces(const Bytes &stream, uint8_t *out, size_t piece) {
    LzStreamBegin(out);
    for (size_t at = 0; at < stream.size(); at += piece) {
        size_t n = stream.size() - at < piece ? stream.size() - at : piece;
        LzStreamSetInput(stream.data() + at, static_cast<uint32_t>(n));
        LzStreamDecode();
    }
}

void Finish(benchmark::State &state, const Bytes &out) {
    if (out != TheCorpus().raw)
        state.SkipWithError("decoded data differs");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(out.size()));
}

void BM_LzStream64K(benchmark::State &state) {
    const Corpus &c = TheCorpus();
    Bytes out(c.raw.size());
    for (auto _ : state) {
        DecodePieces(c.ours, out.data(), 64 * 1024);
        benchmark::ClobberMemory();
    }
    Finish(state, out);
}

void BM_LzStreamBytewise(benchmark::State &state) {
    const Corpus &c = TheCorpus();
    Bytes out(c.raw.size());
    for (auto _ : state) {
        DecodePieces(c.ours, out.data(), 1);
        benchmark::ClobberMemory();
    }
    Finish(state, out);
}

void BM_ZlibInflate(benchmark::State &state) {
    const Corpus &c = TheCorpus();
    Bytes out(c.raw.size());
    for (auto _ : state) {
        uLongf size = static_cast<uLongf>(out.size());
        if (uncompress(out.data(), &size, c.zlib.data(), static_cast<uLong>(c.zlib.size())) != Z_OK)
            state.SkipWithError("inflate failed");
        benchmark::ClobberMemory();
    }
    Finish(state, out);
}

void BM_Lz4Decompress(benchmark::State &state) {
    const Corpus &c = TheCorpus();
    Bytes out(c.raw.size());
    for (auto _ : state) {
        int n = LZ4_decompress_safe(reinterpret_cast<const char *>(c.lz4.data()),
                                    reinterpret_cast<char *>(out.data()),
                                    static_cast<int>(c.lz4.size()), static_cast<int>(out.size()));
        if (n != static_cast<int>(out.size()))
            state.SkipWithError("LZ4 failed");
        benchmark::ClobberMemory();
    }
    Finish(state, out);
}

BENCHMARK(BM_LzStream64K)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LzStreamBytewise)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibInflate)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lz4Decompress)->Unit(benchmark::kMillisecond);

// Prints each benchmark's speed (decompressed bytes per CPU second) as a
// fraction of LZ4's after the usual table.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run> &runs) override {
        ConsoleReporter::ReportRuns(runs);
        // With repetitions, the median stands for the benchmark: on a shared
        // machine a few disturbed repetitions pull the mean down.
        for (const Run &run : runs) {
            auto it = run.counters.find("bytes_per_second");
            if (it != run.counters.end() &&
                (run.run_type == Run::RT_Iteration || run.aggregate_name == "median"))
                speeds_[run.run_name.str()] = it->second.value;
        }
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        auto lz4 = speeds_.find("BM_Lz4Decompress");
        if (lz4 == speeds_.end() || lz4->second <= 0)
            return;
        for (const auto &s : speeds_)
            std::printf("%-22s %8.1f MB/s  %.3fx LZ4\n", s.first.c_str(), s.second / 1e6,
                        s.second / lz4->second);
    }

  private:
    std::map<std::string, double> speeds_;
};

} // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    TheCorpus();
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
