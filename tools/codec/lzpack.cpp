// lzpack: packs a file into the back-reference format, or unpacks one.
//   lzpack c <input> <output>
//   lzpack d <input> <output>
#include "lzencode.h"
#include "lzstream.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

bool ReadFile(const char *path, std::vector<uint8_t> &data) {
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    data.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return !file.bad();
}

bool WriteFile(const char *path, const std::vector<uint8_t> &data) {
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char *>(data.data()),
               static_cast<std::streamsize>(data.size()));
    return static_cast<bool>(file);
}

bool Unpack(const std::vector<uint8_t> &packed, std::vector<uint8_t> &data) {
    size_t size;
    if (packed.size() > UINT32_MAX || !LzStreamMeasure(packed.data(), packed.size(), &size))
        return false;
    data.assign(size, 0);
    LzStreamBegin(data.data());
    LzStreamSetInput(packed.data(), static_cast<uint32_t>(packed.size()));
    LzStreamDecode();
    return g_lzStream.output == data.data() + size;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 4 || (argv[1][0] != 'c' && argv[1][0] != 'd') || argv[1][1] != 0) {
        std::fprintf(stderr, "usage: lzpack c|d <input> <output>\n");
        return 2;
    }
    std::vector<uint8_t> input, output;
    if (!ReadFile(argv[2], input)) {
        std::fprintf(stderr, "lzpack: cannot read %s\n", argv[2]);
        return 1;
    }
    if (argv[1][0] == 'c') {
        output = LzEncode(input.data(), input.size());
    } else if (!Unpack(input, output)) {
        std::fprintf(stderr, "lzpack: %s is not a valid back-reference stream\n", argv[2]);
        return 1;
    }
    if (!WriteFile(argv[3], output)) {
        std::fprintf(stderr, "lzpack: cannot write %s\n", argv[3]);
        return 1;
    }
    std::printf("%zu -> %zu bytes\n", input.size(), output.size());
    return 0;
}
