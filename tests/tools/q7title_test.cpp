// q7title, run as the publisher runs it: pictures in, the BACKCG resource
// out, read back with the launcher's own decoder.
#include "backcg.h"
#include "colrle.h"

#include <Magick++.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

struct Outcome {
    int status = -1;
    std::string out, err;
};

std::string Slurp(const std::string &path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

class Q7Title : public ::testing::Test {
  protected:
    void SetUp() override {
        static bool magick = false;
        if (!magick)
            Magick::InitializeMagick(nullptr);
        magick = true;
        char tmpl[] = "/tmp/q7title-test.XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
    }
    void TearDown() override {
        std::system(("rm -rf '" + dir_ + "'").c_str());
    }

    std::string Path(const std::string &name) const {
        return dir_ + "/" + name;
    }

    Outcome Tool(const std::string &args) const {
        Outcome r;
        std::string out = Path("stdout.txt"), err = Path("stderr.txt");
        int s = std::system(
            (std::string(Q7TITLE) + " " + args + " >'" + out + "' 2>'" + err + "'").c_str());
        r.status = WIFEXITED(s) ? WEXITSTATUS(s) : -1;
        r.out = Slurp(out);
        r.err = Slurp(err);
        std::remove(out.c_str());
        std::remove(err.c_str());
        return r;
    }

    // Names in the work directory, for spotting leftovers.
    std::vector<std::string> Files() const {
        std::vector<std::string> names;
        DIR *d = opendir(dir_.c_str());
        while (dirent *e = readdir(d))
            if (e->d_name[0] != '.')
                names.push_back(e->d_name);
        closedir(d);
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string dir_;
};

void WriteImage(const std::string &path, size_t w, size_t h, const char *map, const Bytes &pixels,
                const char *format) {
    Magick::Image image;
    image.read(w, h, map, Magick::CharPixel, pixels.data());
    image.magick(format);
    image.write(path);
}

void WriteBytes(const std::string &path, const std::string &data) {
    std::ofstream(path, std::ios::binary) << data;
}

// A resource read back as the launcher holds it, as top-down RGB.
struct Shown {
    uint32_t width = 0, height = 0;
    Bytes rgb;
    Bytes indices;
};

Shown Decode(const std::string &resource) {
    Shown s;
    const uint8_t *bytes = reinterpret_cast<const uint8_t *>(resource.data());
    const uint8_t *picture = nullptr;
    size_t size = 0;
    EXPECT_TRUE(LocateBackgroundPicture(bytes, resource.size(), &picture, &size));
    if (picture == nullptr || !ColumnRleReadHeader(picture, size, &s.width, &s.height))
        return s;
    s.indices.resize(static_cast<size_t>(s.width) * s.height);
    // Checked: the stream must end exactly at the end of the resource.
    EXPECT_TRUE(
        ColumnRleDecodeChecked(s.indices.data(), picture, size, static_cast<int32_t>(s.width)));
    for (int i = 0; i < 256; ++i) {
        if (i < 10 || i > 245) {
            EXPECT_TRUE(bytes[3 * i] == 0 && bytes[3 * i + 1] == 0 && bytes[3 * i + 2] == 0)
                << "system slot " << i << " is not black";
        }
    }
    size_t inSystemSlots = 0;
    for (uint8_t k : s.indices) {
        inSystemSlots += k < 10 || k > 245;
        s.rgb.insert(s.rgb.end(), {bytes[3 * k + 2], bytes[3 * k + 1], bytes[3 * k]});
    }
    EXPECT_EQ(inSystemSlots, 0u) << "pixels in the system colour slots";
    return s;
}

// 235 colours in flat blocks (vertical runs of every length, one column flat
// from top to bottom) plus a transparent band that must come out black.
const size_t kW = 600, kH = 440;
Bytes FewColourPicture() {
    Bytes rgba;
    for (size_t y = 0; y < kH; ++y) {
        for (size_t x = 0; x < kW; ++x) {
            size_t k = (x / 12 * 7 + y / (1 + x % 9) / 9) % 235;
            if (x >= 300 && x < 304)
                k = 17;
            uint8_t a = (y >= 200 && y < 230) ? 0 : 255;
            rgba.insert(rgba.end(), {uint8_t(40 + k), uint8_t(255 - k), uint8_t(k * 37), a});
        }
    }
    return rgba;
}

// What the launcher must show of it: black where transparent.
uint8_t Expected(const Bytes &rgba, size_t x, size_t y, int channel) {
    const uint8_t *p = &rgba[4 * (y * kW + x)];
    return p[3] == 0 ? 0 : p[channel];
}

TEST_F(Q7Title, KeepsTheExactColoursOfAPictureOfAtMost236) {
    Bytes rgba = FewColourPicture();
    WriteImage(Path("few.png"), kW, kH, "RGBA", rgba, "PNG");

    // 600 x 440 covers 580 x 440 unscaled: the centre crop, pixel for pixel.
    Outcome r = Tool(Path("few.png") + " " + Path("few.bin"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("picture: 580 x 440\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("colours: 236\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("psnr: exact\n"), std::string::npos) << r.out;
    std::string resource = Slurp(Path("few.bin"));
    EXPECT_NE(r.out.find("resource: " + std::to_string(resource.size()) + " bytes\n"),
              std::string::npos)
        << r.out;
    Shown s = Decode(resource);
    ASSERT_EQ(s.width, 580u);
    ASSERT_EQ(s.height, 440u);
    size_t wrong = 0;
    for (size_t y = 0; y < 440; ++y)
        for (size_t x = 0; x < 580; ++x)
            for (int c = 0; c < 3; ++c)
                wrong += s.rgb[3 * (y * 580 + x) + c] != Expected(rgba, x + 10, y, c);
    EXPECT_EQ(wrong, 0u);

    // Kept at its own size: the whole picture.
    r = Tool("--keep-size " + Path("few.png") + " " + Path("kept.bin"));
    ASSERT_EQ(r.status, 0) << r.err;
    s = Decode(Slurp(Path("kept.bin")));
    ASSERT_EQ(s.width, kW);
    ASSERT_EQ(s.height, kH);
    wrong = 0;
    for (size_t y = 0; y < kH; ++y)
        for (size_t x = 0; x < kW; ++x)
            for (int c = 0; c < 3; ++c)
                wrong += s.rgb[3 * (y * kW + x) + c] != Expected(rgba, x, y, c);
    EXPECT_EQ(wrong, 0u);

    // An indexed GIF that must be scaled (to 580 x 440 from 1160 x 880)
    // still shows only colours it came with.
    Bytes big;
    for (size_t y = 0; y < 880; ++y)
        for (size_t x = 0; x < 1160; ++x)
            for (int c = 0; c < 3; ++c)
                big.push_back(Expected(rgba, x / 2, y / 2, c));
    WriteImage(Path("few.gif"), 1160, 880, "RGB", big, "GIF");
    r = Tool(Path("few.gif") + " " + Path("gif.bin"));
    ASSERT_EQ(r.status, 0) << r.err;
    s = Decode(Slurp(Path("gif.bin")));
    ASSERT_EQ(s.width, 580u);
    ASSERT_EQ(s.height, 440u);
    std::vector<bool> own(1 << 24);
    for (size_t i = 0; i < big.size(); i += 3)
        own[big[i] << 16 | big[i + 1] << 8 | big[i + 2]] = true;
    size_t foreign = 0;
    for (size_t i = 0; i < s.rgb.size(); i += 3)
        foreign += !own[s.rgb[i] << 16 | s.rgb[i + 1] << 8 | s.rgb[i + 2]];
    EXPECT_EQ(foreign, 0u);
}

// A photograph-like picture: a blurred plasma, smooth gradients everywhere,
// with a fixed seed. Without dithering ImageMagick's 236 colours give it
// 33.4 dB; the same quantiser left with 128 colours gives 31.4 dB. 32 dB
// thus fails a converter that wastes half the palette, and anything
// coarser, while leaving room for ImageMagick's versions to differ.
TEST_F(Q7Title, PhotographStaysAbove32dB) {
    Magick::SetRandomSeed(7);
    Magick::Image plasma;
    plasma.size(Magick::Geometry(580, 440));
    plasma.read("plasma:fractal");
    plasma.blur(0, 4);
    Bytes source(580 * 440 * 3);
    plasma.write(0, 0, 580, 440, "RGB", Magick::CharPixel, source.data());
    WriteImage(Path("photo.png"), 580, 440, "RGB", source, "PNG");

    Outcome r = Tool(Path("photo.png") + " " + Path("photo.bin"));
    ASSERT_EQ(r.status, 0) << r.err;
    Shown s = Decode(Slurp(Path("photo.bin")));
    ASSERT_EQ(s.rgb.size(), source.size());
    double sum = 0;
    for (size_t i = 0; i < source.size(); ++i)
        sum += (double(s.rgb[i]) - source[i]) * (double(s.rgb[i]) - source[i]);
    double psnr = 10 * std::log10(255.0 * 255.0 * double(source.size()) / sum);
    EXPECT_GT(psnr, 32.0);
    char said[32];
    std::snprintf(said, sizeof said, "psnr: %.2f dB\n", psnr);
    EXPECT_NE(r.out.find(said), std::string::npos) << r.out << " measured " << said;
    std::printf("photograph-like picture: %s", r.out.c_str());
}

TEST_F(Q7Title, RefusesBadInputAndLeavesTheOutputAlone) {
    Bytes rgba = FewColourPicture();
    WriteImage(Path("good.png"), kW, kH, "RGBA", rgba, "PNG");
    WriteImage(Path("good.jpg"), kW, kH, "RGBA", rgba, "JPEG");
    std::string png = Slurp(Path("good.png")), jpg = Slurp(Path("good.jpg"));
    WriteBytes(Path("text.png"), "not a picture at all\n");
    WriteBytes(Path("cut.png"), png.substr(0, png.size() / 2));
    WriteBytes(Path("cut.jpg"), jpg.substr(0, jpg.size() / 2));
    // A BMP header of the given size, 24 bits a pixel, and 16 bytes of pixels.
    auto bmp = [](int32_t w, int32_t h) {
        std::string b = "BM";
        auto put = [&b](uint32_t v, int n) {
            for (int i = 0; i < n; ++i)
                b += char(v >> (8 * i));
        };
        put(70, 4), put(0, 4), put(54, 4);
        put(40, 4), put(uint32_t(w), 4), put(uint32_t(h), 4), put(1, 2), put(24, 2);
        put(0, 4), put(16, 4), put(0, 4), put(0, 4), put(0, 4), put(0, 4);
        return b + std::string(16, '\0');
    };
    WriteBytes(Path("zero.bmp"), bmp(0, 10));
    WriteBytes(Path("huge.bmp"), bmp(100000, 100000));
    WriteImage(Path("odd.png"), 598, 440, "RGBA", Bytes(rgba.begin(), rgba.begin() + 598 * 440 * 4),
               "PNG");
    std::system(("mkdir '" + Path("adir") + "'").c_str());

    struct Case {
        std::string options, file, what;
    };
    const Case cases[] = {
        {"", "missing.png", "cannot read"},
        {"", "text.png", "not a PNG, BMP, JPEG or GIF image"},
        {"", "cut.png", "damaged or truncated PNG image"},
        {"", "cut.jpg", "damaged or truncated JPEG image"},
        {"", "zero.bmp", "not a valid BMP image"},
        {"", "huge.bmp", "too large"},
        {"--keep-size", "odd.png", "cannot keep its size 598 x 440"},
    };
    WriteBytes(Path("out.bin"), "earlier output");
    const std::vector<std::string> before = Files();
    for (const Case &c : cases) {
        Outcome r = Tool(c.options + " " + Path(c.file) + " " + Path("out.bin"));
        EXPECT_EQ(r.status, 1) << c.file;
        // Progress lines may come first; the verdict is the last line.
        std::string last = r.err.substr(r.err.rfind('\n', r.err.size() - 2) + 1);
        EXPECT_EQ(last.rfind(Path(c.file) + ": " + c.what, 0), 0u) << c.file << ": " << r.err;
        EXPECT_EQ(r.out, "") << c.file;
        EXPECT_EQ(Slurp(Path("out.bin")), "earlier output") << c.file;
        EXPECT_EQ(Files(), before) << c.file;
    }

    // Outputs that cannot be written: the picture itself is fine.
    for (const std::string &out : {Path("adir"), Path("nodir/out.bin")}) {
        Outcome r = Tool(Path("good.png") + " " + out);
        EXPECT_EQ(r.status, 1) << out;
        EXPECT_NE(r.err.find(out + ": cannot write"), std::string::npos) << r.err;
        EXPECT_EQ(Files(), before) << out;
    }

    // A wrong call: one line of usage, exit 2; --help: the usage on stdout.
    const std::string wrongCalls[] = {"", Path("good.png"), "--dither=lots a b", "--what a b"};
    for (const std::string &args : wrongCalls) {
        Outcome r = Tool(args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_EQ(r.err.rfind("usage: q7title ", 0), 0u) << args;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << args;
    }
    Outcome help = Tool("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("usage: q7title ", 0), 0u);
}

} // namespace
