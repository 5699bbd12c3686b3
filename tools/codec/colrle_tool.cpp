// Column-RLE encoder on the command line.
//   colrle_encode WIDTH HEIGHT INPUT.raw OUTPUT
// INPUT.raw holds HEIGHT rows of WIDTH bytes, top row first. OUTPUT gets the
// column-RLE picture (header and stream); its size, runs and long runs are
// reported on standard output.
#include "colrle_encode.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

bool ParseSize(const char *text, unsigned long limit, uint32_t *value) {
    char *end = nullptr;
    unsigned long v = std::strtoul(text, &end, 10);
    if (end == text || *end != '\0' || v == 0 || v > limit)
        return false;
    *value = static_cast<uint32_t>(v);
    return true;
}

bool ReadFile(const char *path, std::vector<uint8_t> *data) {
    FILE *f = std::fopen(path, "rb");
    if (f == nullptr)
        return false;
    uint8_t buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) != 0)
        data->insert(data->end(), buffer, buffer + n);
    bool ok = std::ferror(f) == 0;
    std::fclose(f);
    return ok;
}

} // namespace

int main(int argc, char **argv) {
    uint32_t width, height;
    if (argc != 5 || !ParseSize(argv[1], 65532, &width) || !ParseSize(argv[2], 65535, &height) ||
        width % 4 != 0) {
        std::fprintf(stderr, "usage: colrle_encode WIDTH HEIGHT INPUT.raw OUTPUT\n"
                             "  WIDTH a multiple of 4 from 4 to 65532, HEIGHT from 1 to 65535\n");
        return 2;
    }
    std::vector<uint8_t> pixels;
    if (!ReadFile(argv[3], &pixels)) {
        std::fprintf(stderr, "colrle_encode: cannot read %s\n", argv[3]);
        return 1;
    }
    if (pixels.size() != static_cast<size_t>(width) * height) {
        std::fprintf(stderr, "colrle_encode: %s holds %zu bytes, not %u x %u\n", argv[3],
                     pixels.size(), width, height);
        return 1;
    }
    ColumnRleStats stats;
    std::vector<uint8_t> out = ColumnRleEncode(pixels.data(), width, height, &stats);
    FILE *f = std::fopen(argv[4], "wb");
    bool ok = f != nullptr && std::fwrite(out.data(), 1, out.size(), f) == out.size();
    if (f != nullptr && std::fclose(f) != 0)
        ok = false;
    if (!ok) {
        std::fprintf(stderr, "colrle_encode: cannot write %s\n", argv[4]);
        return 1;
    }
    std::printf("%u x %u: %zu bytes, %zu runs, %zu long runs, %zu single cells\n", width, height,
                stats.bytes, stats.runs, stats.longRuns, stats.cells);
    return 0;
}
