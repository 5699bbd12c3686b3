// q7title, run as the publisher runs it: pictures in, the BACKCG resource
// out, read back with the launcher's own decoder.
#include "backcg.h"
#include "colrle.h"

#include <Magick++.h>
#include <gtest/gtest.h>
#include <lcms2.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>
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

// The main window's push buttons as the resource script places them, in
// dialog units: what the player's window shows, so what the preview shows.
struct Box {
    int x, y, width, height;
};
std::vector<Box> MainWindowButtons() {
    std::ifstream rc(Q7_SOURCE_DIR "/resources/q7.rc");
    std::vector<Box> out;
    bool inMain = false;
    for (std::string line; std::getline(rc, line);) {
        if (line.rfind("DLG_MAIN DIALOG", 0) == 0)
            inMain = true;
        else if (inMain && line.rfind("END", 0) == 0)
            break;
        else if (inMain && line.find("CONTROL") != std::string::npos &&
                 line.find(", 0x0080,") != std::string::npos) {
            // CONTROL "label", id, class, style, x, y, width, height
            std::stringstream rest(line.substr(line.rfind('"') + 1));
            std::vector<int> fields;
            for (std::string f; std::getline(rest, f, ',');)
                fields.push_back(std::atoi(f.c_str()));
            size_t n = fields.size();
            if (n >= 4)
                out.push_back({fields[n - 4], fields[n - 3], fields[n - 2], fields[n - 1]});
        }
    }
    return out;
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

// The picture's bytes with an EXIF segment holding only an orientation.
std::string WithOrientation(const std::string &jpeg, uint8_t orientation) {
    const uint8_t app1[] = {0xFF, 0xE1, 0, 34, 'E',         'x', 'i', 'f', 0,    0, 'I', 'I',
                            42,   0,    8, 0,  0,           0,   1,   0,   0x12, 1, 3,   0,
                            1,    0,    0, 0,  orientation, 0,   0,   0,   0,    0, 0,   0};
    return jpeg.substr(0, 2) + std::string(app1, app1 + sizeof app1) + jpeg.substr(2);
}

// A baseline JPEG of w x h flat grey (128) pixels made without an encoder:
// Huffman tables of one 1-bit code each make every block two zero bits, so
// a picture the size of a camera's costs a few hundred kilobytes.
std::string FlatGreyJpeg(unsigned w, unsigned h) {
    std::string j = "\xFF\xD8";
    auto segment = [&j](uint8_t marker, std::initializer_list<unsigned> body) {
        j += {char(0xFF), char(marker), char((body.size() + 2) >> 8), char(body.size() + 2)};
        for (unsigned b : body)
            j += char(b);
    };
    std::initializer_list<unsigned> dc = {0x00, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    std::initializer_list<unsigned> ac = {0x10, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    std::string quant(65, '\1');
    quant[0] = 0;
    j += {char(0xFF), char(0xDB), 0, 67};
    j += quant;
    segment(0xC0, {8, h >> 8, h & 255, w >> 8, w & 255, 1, 1, 0x11, 0});
    segment(0xC4, dc);
    segment(0xC4, ac);
    segment(0xDA, {1, 1, 0x00, 0, 63, 0});
    size_t bits = 2 * size_t((w + 7) / 8) * ((h + 7) / 8);
    j += std::string(bits / 8, '\0');
    if (bits % 8 != 0)
        j += char(0xFF >> (bits % 8)); // the unused bits of the last byte are ones
    return j + "\xFF\xD9";
}

// A profile whose red, green and blue are sRGB's but stored linearly: a
// stored value v shows as sRGB's encoding of v / 255.
std::string LinearRgbProfile() {
    cmsCIExyY white = {0.3127, 0.3290, 1.0};
    cmsCIExyYTRIPLE primaries = {{0.64, 0.33, 1.0}, {0.30, 0.60, 1.0}, {0.15, 0.06, 1.0}};
    cmsToneCurve *linear = cmsBuildGamma(nullptr, 1.0);
    cmsToneCurve *curves[3] = {linear, linear, linear};
    cmsHPROFILE p = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(p, nullptr, &size);
    std::string bytes(size, '\0');
    cmsSaveProfileToMem(p, &bytes[0], &size);
    cmsCloseProfile(p);
    cmsFreeToneCurve(linear);
    return bytes;
}

uint8_t SrgbEncoded(uint8_t v) {
    double l = v / 255.0;
    double e = l <= 0.0031308 ? 12.92 * l : 1.055 * std::pow(l, 1 / 2.4) - 0.055;
    return static_cast<uint8_t>(std::lround(e * 255));
}

// A PNG chunk: length, type, data and the CRC-32 of type and data.
std::string PngChunk(const std::string &type, const std::string &data) {
    auto be32 = [](uint32_t v) {
        return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    };
    uint32_t crc = 0xFFFFFFFF;
    for (char c : type + data) {
        crc ^= uint8_t(c);
        for (int k = 0; k < 8; ++k)
            crc = crc & 1 ? 0xEDB88320 ^ (crc >> 1) : crc >> 1;
    }
    return be32(uint32_t(data.size())) + type + data + be32(~crc);
}

// The start of a PNG of w x h, 8-bit grey, whose pixel data is cut off
// after a few bytes: what its header says is all there is.
std::string PngHeaderOnly(uint32_t w, uint32_t h) {
    std::string ihdr;
    for (uint32_t v : {w, h})
        ihdr += {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    ihdr += {8, 0, 0, 0, 0};
    return "\x89PNG\r\n\x1a\n" + PngChunk("IHDR", ihdr) + PngChunk("IDAT", "\x78\x9c\x01");
}

// A GIF of a 600 x 440 screen: frame 1 is 1 x 1 and transparent, or with
// `full` the screen's width and height in colour 1 (199, 41, 90); frame 2
// fills the screen with colour 2. Frames hold 7-bit LZW codes stored as whole bytes:
// a clear code before every 126 literals keeps the code size at 8 bits.
std::string TwoFrameGif(bool full) {
    std::string g = "GIF89a";
    auto le16 = [&g](unsigned v) { g += {char(v & 255), char(v >> 8)}; };
    le16(600), le16(440);
    g += {char(0xF6), 0, 0}; // a global table of 128 colours
    for (int i = 0; i < 128; ++i)
        g += {char(200 - i), char(40 + i), char(90)};
    g += std::string("\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00", 19);
    auto frame = [&](unsigned w, unsigned h, bool transparent, char colour) {
        g += {char(0x21), char(0xF9), 4, char(transparent ? 0x09 : 0x08), 10, 0, 0, 0};
        g += char(0x2C);
        le16(0), le16(0), le16(w), le16(h);
        g += {0, 7};
        std::string codes;
        for (size_t i = 0; i < size_t(w) * h; ++i) {
            if (i % 126 == 0)
                codes += char(128); // clear
            codes += transparent ? char(0) : colour;
        }
        codes += char(129); // end
        for (size_t at = 0; at < codes.size(); at += 255) {
            std::string block = codes.substr(at, 255);
            g += char(block.size());
            g += block;
        }
        g += char(0);
    };
    if (full)
        frame(600, 440, false, 1);
    else
        frame(1, 1, true, 0);
    frame(600, 440, false, 2);
    return g + ";";
}

TEST_F(Q7Title, KeepsTheExactColoursOfAPictureOfAtMost236) {
    Bytes rgba = FewColourPicture();
    WriteImage(Path("few.png"), kW, kH, "RGBA", rgba, "PNG");

    // 600 x 440 covers 580 x 440 unscaled: the centre crop, pixel for pixel.
    Outcome r =
        Tool("--preview " + Path("preview.png") + " " + Path("few.png") + " " + Path("few.bin"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(" 464 x 320 "), std::string::npos) << r.out;
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

    // The preview is the client area at the usual font, 232 x 160 dialog
    // units of 2 pixels: the picture less 58 pixels left and right and 60
    // above and below, and the buttons where the launcher's own window has
    // them.
    Magick::Image preview(Path("preview.png"));
    ASSERT_EQ(preview.columns(), 464u);
    ASSERT_EQ(preview.rows(), 320u);
    Bytes shown(464 * 320 * 3);
    preview.write(0, 0, 464, 320, "RGB", Magick::CharPixel, shown.data());
    const std::vector<Box> buttons = MainWindowButtons();
    ASSERT_EQ(buttons.size(), 3u);
    for (const Box &b : buttons) {
        size_t area = 0, changed = 0, grey = 0, dark = 0;
        for (int y = 2 * b.y; y < 2 * (b.y + b.height); ++y)
            for (int x = 2 * b.x; x < 2 * (b.x + b.width); ++x) {
                const uint8_t *p = &shown[3 * (y * 464 + x)];
                ++area;
                changed += std::memcmp(p, &s.rgb[3 * ((y + 60) * 580 + x + 58)], 3) != 0;
                grey += p[0] == p[1] && p[1] == p[2];
                // The label: dark pixels away from the edges.
                dark += p[0] < 80 && x > 2 * b.x + 4 && x < 2 * (b.x + b.width) - 4 &&
                        y > 2 * b.y + 4 && y < 2 * (b.y + b.height) - 4;
            }
        EXPECT_GT(changed, area * 95 / 100) << "button at " << b.x << ", " << b.y;
        EXPECT_GT(grey, area / 2) << "button at " << b.x << ", " << b.y;
        EXPECT_GT(dark, 20u) << "button at " << b.x << ", " << b.y << " has no label";
    }
    wrong = 0;
    for (int y = 0; y < 320; ++y)
        for (int x = 0; x < 464; ++x) {
            bool inButton = false;
            for (const Box &b : buttons)
                inButton = inButton || (x >= 2 * b.x && x < 2 * (b.x + b.width) && y >= 2 * b.y &&
                                        y < 2 * (b.y + b.height));
            if (!inButton)
                wrong += std::memcmp(&shown[3 * (y * 464 + x)],
                                     &s.rgb[3 * ((y + 60) * 580 + x + 58)], 3) != 0;
        }
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

// What a picture viewer shows is what the window gets: the pixels the file
// holds whatever page geometry it names, turned as its EXIF orientation
// says, in sRGB whatever colour profile it carries.
TEST_F(Q7Title, ReadsThePictureAsAViewerShowsIt) {
    Bytes rgba = FewColourPicture();
    // Placed at an offset on a larger page: the centre crop, pixel for pixel.
    for (const char *format : {"PNG", "GIF"}) {
        Magick::Image placed;
        placed.read(kW, kH, "RGBA", Magick::CharPixel, rgba.data());
        placed.page(Magick::Geometry(kW + 100, kH + 60, 50, 30));
        placed.magick(format);
        placed.write(Path("placed"));
        Outcome r = Tool(Path("placed") + " " + Path("placed.bin"));
        ASSERT_EQ(r.status, 0) << format << ": " << r.err;
        Shown s = Decode(Slurp(Path("placed.bin")));
        ASSERT_EQ(s.width, 580u) << format;
        ASSERT_EQ(s.height, 440u) << format;
        size_t wrong = 0;
        for (size_t y = 0; y < 440; ++y)
            for (size_t x = 0; x < 580; ++x)
                for (int c = 0; c < 3; ++c)
                    wrong += s.rgb[3 * (y * 580 + x) + c] != Expected(rgba, x + 10, y, c);
        EXPECT_EQ(wrong, 0u) << format;
    }

    // Stored on its side with an orientation that turns it upright: four
    // quadrants that must come out where a viewer shows them.
    const uint8_t quadrant[4][3] = {{220, 40, 40}, {40, 220, 40}, {40, 40, 220}, {220, 220, 40}};
    auto upright = [&](size_t x, size_t y) { return quadrant[(y >= kH / 2) * 2 + (x >= kW / 2)]; };
    Bytes stored; // kH wide, kW high: turned a quarter clockwise it is upright
    for (size_t sy = 0; sy < kW; ++sy)
        for (size_t sx = 0; sx < kH; ++sx)
            stored.insert(stored.end(), upright(kW - 1 - sy, sx), upright(kW - 1 - sy, sx) + 3);
    WriteImage(Path("side.jpg"), kH, kW, "RGB", stored, "JPEG");
    WriteBytes(Path("turned.jpg"), WithOrientation(Slurp(Path("side.jpg")), 6));
    Outcome r = Tool(Path("turned.jpg") + " " + Path("turned.bin"));
    ASSERT_EQ(r.status, 0) << r.err;
    Shown s = Decode(Slurp(Path("turned.bin")));
    ASSERT_EQ(s.width, 580u);
    ASSERT_EQ(s.height, 440u);
    for (size_t y : {100u, 340u})
        for (size_t x : {140u, 440u})
            for (int c = 0; c < 3; ++c)
                EXPECT_NEAR(s.rgb[3 * (y * 580 + x) + c], upright(x + 10, y)[c], 24)
                    << "at " << x << "," << y;

    // A profile that names another space than sRGB.
    const uint8_t colours[4][3] = {{128, 128, 128}, {64, 192, 32}, {0, 0, 0}, {255, 255, 255}};
    Bytes flat;
    for (size_t y = 0; y < kH; ++y)
        for (size_t x = 0; x < kW; ++x)
            flat.insert(flat.end(), colours[x * 4 / kW], colours[x * 4 / kW] + 3);
    Magick::Image tagged;
    tagged.read(kW, kH, "RGB", Magick::CharPixel, flat.data());
    std::string profile = LinearRgbProfile();
    tagged.iccColorProfile(Magick::Blob(profile.data(), profile.size()));
    tagged.magick("PNG");
    tagged.write(Path("linear.png"));
    r = Tool(Path("linear.png") + " " + Path("linear.bin"));
    ASSERT_EQ(r.status, 0) << r.err;
    s = Decode(Slurp(Path("linear.bin")));
    ASSERT_EQ(s.width, 580u);
    for (size_t k = 0; k < 4; ++k)
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(s.rgb[3 * (200 * 580 + k * 145 + 60) + c], SrgbEncoded(colours[k][c]), 2)
                << "colour " << k << " channel " << c;

    // A PNG gamma g without a colour profile, as browsers apply it for a
    // screen of gamma 2.2: a stored 128 shows as 255 (128 / 255)^(1 / 2.2g);
    // an sRGB chunk overrides it.
    struct Gamma {
        uint32_t gama; // g times 100,000
        bool srgb;
        int shown;
        const char *said;
    };
    const Gamma gammas[] = {
        {45455, false, 128, "gamma: 0.45455 (gAMA, no colour profile) is sRGB's"},
        {55555, false, 145, "gamma: 0.55555 (gAMA, no colour profile) applied"},
        {80000, false, 172, "gamma: 0.80000 (gAMA, no colour profile) applied"},
        {100000, false, 186, "gamma: 1.00000 (gAMA, no colour profile) applied"},
        {100000, true, 128, "gamma: 1.00000 (gAMA) ignored"}};
    Magick::Image grey;
    grey.read(64, 48, "RGB", Magick::CharPixel, Bytes(64 * 48 * 3, 128).data());
    grey.magick("PNG");
    grey.defineValue("png", "exclude-chunks", "all");
    Magick::Blob plain;
    grey.write(&plain);
    const std::string png(static_cast<const char *>(plain.data()), plain.length());
    for (const Gamma &g : gammas) {
        std::string extra = PngChunk(
            "gAMA", {char(g.gama >> 24), char(g.gama >> 16), char(g.gama >> 8), char(g.gama)});
        if (g.srgb)
            extra = PngChunk("sRGB", std::string(1, '\0')) + extra;
        WriteBytes(Path("gamma.png"), png.substr(0, 33) + extra + png.substr(33));
        r = Tool(Path("gamma.png") + " " + Path("gamma.bin"));
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find(g.said), std::string::npos) << r.out;
        s = Decode(Slurp(Path("gamma.bin")));
        ASSERT_EQ(s.width, 580u);
        EXPECT_NEAR(s.rgb[3 * (220 * 580 + 290)], g.shown, 1) << g.said;
    }

    // An animation shows its first frame, and says so.
    WriteBytes(Path("animated.gif"), TwoFrameGif(true));
    r = Tool(Path("animated.gif") + " " + Path("animated.bin"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("animated: a GIF of 2 frames; the first is used, 600 x 440 of its 600 x "
                         "440 screen\n"),
              std::string::npos)
        << r.out;
    s = Decode(Slurp(Path("animated.bin")));
    ASSERT_EQ(s.width, 580u);
    EXPECT_EQ(s.rgb[3 * (220 * 580 + 290)], 199);
    EXPECT_EQ(s.rgb[3 * (220 * 580 + 290) + 1], 41);
}

// A picture with a few colours too many loses only what it must.
TEST_F(Q7Title, KeepsNearlyAllColoursOfAPictureWithAFewMoreThan236) {
    for (size_t count : {237u, 300u}) {
        Bytes rgb;
        std::vector<bool> used(count);
        for (size_t y = 0; y < kH; ++y)
            for (size_t x = 0; x < kW; ++x) {
                size_t k = (x / 12 * 7 + y / 40 * 50) % count;
                used[k] = true;
                rgb.insert(rgb.end(), {uint8_t(k), uint8_t(255 - k / 2), uint8_t(k * 37)});
            }
        ASSERT_EQ(std::count(used.begin(), used.end(), true), long(count));
        WriteImage(Path("many.png"), kW, kH, "RGB", rgb, "PNG");
        Outcome r = Tool(Path("many.png") + " " + Path("many.bin"));
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find("colours: 236\n"), std::string::npos) << count << ": " << r.out;
        Shown s = Decode(Slurp(Path("many.bin")));
        ASSERT_EQ(s.width, 580u);
        size_t wrong = 0;
        for (size_t y = 0; y < 440; ++y)
            for (size_t x = 0; x < 580; ++x)
                wrong +=
                    std::memcmp(&s.rgb[3 * (y * 580 + x)], &rgb[3 * (y * kW + x + 10)], 3) != 0;
        // One colour of 237 merged: its share of the picture at most, twice over.
        if (count == 237) {
            EXPECT_LT(wrong, 580u * 440 * 2 / 237) << r.out;
        }
    }
}

// Pictures past the old 8,192-pixel limit, thin ones that would scale past
// any limit, and a camera's 108-megapixel JPEG: converted, not refused.
TEST_F(Q7Title, ConvertsLargeAndThinPictures) {
    auto bands = [](size_t w, size_t h) { // 7 across, 8 down
        Bytes rgb(w * h * 3, 90);
        for (size_t y = 0; y < h; ++y)
            for (size_t x = 0; x < w; ++x) {
                rgb[3 * (y * w + x)] = uint8_t(x * 7 / w * 32);
                rgb[3 * (y * w + x) + 1] = uint8_t(y * 8 / h * 32);
            }
        return rgb;
    };
    struct Case {
        const char *name, *format;
        size_t w, h;
    };
    for (const Case &c : {Case{"wide.png", "PNG", 8193, 16}, Case{"tall.png", "PNG", 600, 9000},
                          Case{"thin.png", "PNG", 2000, 16}, Case{"wide.gif", "GIF", 8500, 200},
                          Case{"wide.jpg", "JPEG", 8500, 200}})
        WriteImage(Path(c.name), c.w, c.h, "RGB", bands(c.w, c.h), c.format);
    WriteBytes(Path("camera.jpg"), FlatGreyJpeg(12000, 9000));
    // BMPs whose file size field is 0, or less than the file with bytes
    // after the pixels: every pixel is there.
    WriteImage(Path("plain.bmp"), 600, 440, "RGB", bands(600, 440), "BMP3");
    std::string bmp = Slurp(Path("plain.bmp"));
    WriteBytes(Path("nosize.bmp"), bmp.substr(0, 2) + std::string(4, '\0') + bmp.substr(6));
    WriteBytes(Path("trailing.bmp"), bmp + std::string(1000, '\x55'));
    for (const char *name : {"wide.png", "tall.png", "thin.png", "wide.gif", "wide.jpg",
                             "camera.jpg", "nosize.bmp", "trailing.bmp"}) {
        Outcome r = Tool(Path(name) + " " + Path("large.bin"));
        ASSERT_EQ(r.status, 0) << name << ": " << r.err;
        Shown s = Decode(Slurp(Path("large.bin")));
        EXPECT_EQ(s.width, 580u) << name;
        EXPECT_EQ(s.height, 440u) << name;
        std::remove(Path("large.bin").c_str());
    }
    // The thin one shows its middle band of red, and its green bands from
    // top to bottom.
    Tool(Path("thin.png") + " " + Path("thin.bin"));
    Shown s = Decode(Slurp(Path("thin.bin")));
    ASSERT_EQ(s.rgb.size(), 580u * 440 * 3);
    EXPECT_EQ(s.rgb[3 * (220 * 580 + 290)], 96);
    EXPECT_EQ(s.rgb[3 * (5 * 580 + 290) + 1], 0);
    EXPECT_EQ(s.rgb[3 * (435 * 580 + 290) + 1], 224);
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
    // At and past the limits of Debian's ImageMagick, 16,000 a side (its
    // "16KP") and the 56 megapixels its disk cache holds for any picture;
    // within them a picture cut short is damaged, not too large.
    WriteBytes(Path("side.bmp"), bmp(16001, 16));
    WriteBytes(Path("side.png"), PngHeaderOnly(16384, 16));
    WriteBytes(Path("grey.png"), PngHeaderOnly(8000, 8000));
    WriteBytes(Path("edge.png"), PngHeaderOnly(16000, 3500));
    WriteBytes(Path("past.png"), PngHeaderOnly(16000, 3501));
    WriteImage(Path("whole.bmp"), kW, kH, "RGBA", rgba, "BMP3");
    std::string bmpFile = Slurp(Path("whole.bmp"));
    WriteBytes(Path("cut.bmp"), bmpFile.substr(0, bmpFile.size() * 99 / 100));
    WriteBytes(Path("animated.gif"), TwoFrameGif(false));
    WriteImage(Path("clear.png"), 8, 8, "RGBA", Bytes(8 * 8 * 4, 0), "PNG");
    WriteBytes(Path("huge.bmp"), bmp(100000, 100000));
    WriteBytes(Path("area.bmp"), bmp(12000, 9000));
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
        {"", "huge.bmp", "100000 x 100000 is too large"},
        {"", "area.bmp", "12000 x 9000 is too large"},
        {"", "side.bmp", "16001 x 16 is too large: at most 16000 pixels a side and 56 megapixels"},
        {"", "side.png", "16384 x 16 is too large: at most 16000 pixels a side"},
        {"", "grey.png", "8000 x 8000 is too large: at most 16000 pixels a side and 56 megapixels"},
        {"", "edge.png", "damaged or truncated PNG image"},
        {"", "past.png", "16000 x 3501 is too large"},
        {"", "cut.bmp", "damaged or truncated BMP image"},
        {"", "animated.gif", "its first frame, the one used, shows nothing"},
        {"", "clear.png", "it shows nothing"},
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

    // Outputs that exist and are not regular files are left as they are,
    // the preview's as OUTPUT's.
    ASSERT_EQ(mkfifo(Path("fifo").c_str(), 0644), 0);
    ASSERT_EQ(symlink("out.bin", Path("link").c_str()), 0);
    std::vector<std::string> nodes = {"fifo", "link"};
    if (mknod(Path("device").c_str(), S_IFCHR | 0644, makedev(1, 3)) == 0)
        nodes.push_back("device"); // a null device; only root may make one
    const std::vector<std::string> withNodes = Files();
    for (const std::string &node : nodes) {
        struct stat was, is;
        ASSERT_EQ(lstat(Path(node).c_str(), &was), 0);
        for (const std::string &args :
             {Path("good.png") + " " + Path(node),
              "--preview " + Path(node) + " " + Path("good.png") + " " + Path("new.bin")}) {
            Outcome r = Tool(args);
            EXPECT_EQ(r.status, 1) << args;
            EXPECT_NE(r.err.find(Path(node) + ": "), std::string::npos) << r.err;
            ASSERT_EQ(lstat(Path(node).c_str(), &is), 0);
            EXPECT_EQ(is.st_mode, was.st_mode) << args;
            EXPECT_EQ(is.st_rdev, was.st_rdev) << args;
            EXPECT_EQ(Files(), withNodes) << args;
        }
    }
    EXPECT_EQ(Slurp(Path("out.bin")), "earlier output");

    // Outputs that are one file only through a folder mounted twice; then a
    // rename that fails (onto a file with another mounted over it) after the
    // other output's: both times nothing written, the earlier files kept.
    auto listing = [this](const std::string &sub) {
        std::vector<std::string> names;
        DIR *d = opendir(Path(sub).c_str());
        while (dirent *e = readdir(d))
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
                names.push_back(e->d_name);
        closedir(d);
        std::sort(names.begin(), names.end());
        std::string all;
        for (const std::string &n : names)
            all += n + " ";
        return all;
    };
    ASSERT_EQ(mkdir(Path("a").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(Path("b").c_str(), 0755), 0);
    if (mount(Path("a").c_str(), Path("b").c_str(), nullptr, MS_BIND, nullptr) != 0) {
        std::printf("    skipped: outputs that are one file through a bind mount (cannot mount: "
                    "%s)\n",
                    std::strerror(errno));
    } else {
        Outcome r =
            Tool("--preview " + Path("b/t.bin") + " " + Path("good.png") + " " + Path("a/t.bin"));
        umount(Path("b").c_str());
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find(Path("b/t.bin") + ": is OUTPUT.bin " + Path("a/t.bin") +
                             " through another path"),
                  std::string::npos)
            << r.err;
        EXPECT_EQ(listing("a"), "");
        WriteBytes(Path("a/out.bin"), "earlier output");
        WriteBytes(Path("a/p.png"), "earlier preview");
        WriteBytes(Path("a/over"), "mounted over");
        for (const std::string busy : {"out.bin", "p.png"}) {
            ASSERT_EQ(
                mount(Path("a/over").c_str(), Path("a/" + busy).c_str(), nullptr, MS_BIND, nullptr),
                0);
            r = Tool("--preview " + Path("a/p.png") + " " + Path("good.png") + " " +
                     Path("a/out.bin"));
            umount(Path("a/" + busy).c_str());
            EXPECT_EQ(r.status, 1) << busy;
            EXPECT_NE(r.err.find(Path("a/" + busy) + ": cannot write"), std::string::npos) << r.err;
            EXPECT_EQ(Slurp(Path("a/out.bin")), "earlier output") << busy;
            EXPECT_EQ(Slurp(Path("a/p.png")), "earlier preview") << busy;
            EXPECT_EQ(listing("a"), "out.bin over p.png ") << busy;
        }
    }

    // A wrong call: one line of usage, exit 2; --help: the usage on stdout.
    const std::string wrongCalls[] = {"", Path("good.png"), "--dither=lots a b", "--what a b"};
    for (const std::string &args : wrongCalls) {
        Outcome r = Tool(args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_EQ(r.err.rfind("usage: q7title ", 0), 0u) << args;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << args;
    }
    // After "--" a name that begins with '-' is a file's.
    ASSERT_EQ(std::system(("cp '" + Path("good.png") + "' '" + Path("-x.png") + "'").c_str()), 0);
    int status = std::system(
        ("cd '" + dir_ + "' && " + Q7TITLE + " -- -x.png -x.bin >/dev/null 2>&1").c_str());
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0);
    EXPECT_EQ(Decode(Slurp(Path("-x.bin"))).width, 580u);

    Outcome help = Tool("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("usage: q7title ", 0), 0u);
}

} // namespace
