// Draws the title picture and writes it as the BACKCG resource.
//   make_backcg OUTPUT.bin [PREVIEW.ppm]
#include "backcg_encode.h"
#include "title_picture.h"

#include <cstdio>
#include <vector>

namespace {

bool WriteFile(const char *path, const std::vector<uint8_t> &data) {
    FILE *f = std::fopen(path, "wb");
    if (f == nullptr)
        return false;
    bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
    return std::fclose(f) == 0 && ok;
}

// A colour preview of the picture, for looking at it.
std::vector<uint8_t> Preview(const uint8_t *pixels, const uint8_t *table) {
    char header[32];
    int n = std::snprintf(header, sizeof header, "P6\n%u %u\n255\n", kTitleWidth, kTitleHeight);
    std::vector<uint8_t> out(header, header + n);
    for (size_t i = 0; i < static_cast<size_t>(kTitleWidth) * kTitleHeight; ++i) {
        const uint8_t *bgr = table + 3 * pixels[i];
        out.push_back(bgr[2]);
        out.push_back(bgr[1]);
        out.push_back(bgr[0]);
    }
    return out;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: make_backcg OUTPUT.bin [PREVIEW.ppm]\n");
        return 2;
    }
    std::vector<uint8_t> pixels(static_cast<size_t>(kTitleWidth) * kTitleHeight);
    uint8_t table[768];
    DrawTitlePicture(pixels.data(), table);
    ColumnRleStats stats;
    std::vector<uint8_t> resource =
        BuildBackgroundResource(table, pixels.data(), kTitleWidth, kTitleHeight, &stats);
    if (!WriteFile(argv[1], resource)) {
        std::fprintf(stderr, "make_backcg: cannot write %s\n", argv[1]);
        return 1;
    }
    if (argc == 3 && !WriteFile(argv[2], Preview(pixels.data(), table))) {
        std::fprintf(stderr, "make_backcg: cannot write %s\n", argv[2]);
        return 1;
    }
    std::printf("%s: %zu bytes; picture %zu bytes, %zu runs (%zu long), %zu single cells\n",
                argv[1], resource.size(), stats.bytes, stats.runs, stats.longRuns, stats.cells);
    return 0;
}
