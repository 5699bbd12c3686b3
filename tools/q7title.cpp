// q7title: turns a publisher's picture (PNG, BMP, JPEG or GIF) into the
// launcher's BACKCG resource. Native tool only; never part of Q7.EXE.
//
// Reading, scaling, colour conversion and the quantising of photographs are
// ImageMagick's (with Little CMS); this file reads a picture as a viewer shows
// it, fits it to the window, merges the colours of a picture with a few too
// many, numbers its colours into the palette slots the launcher may use, lays
// out the resource, and draws a preview of the window.
#include "colrle_encode.h"
#include "title_picture.h"

#include <Magick++.h>
#include <lcms2.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <initializer_list>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// The picture's colours go to entries 10 to 245; the 20 system colour slots
// around them stay black.
const unsigned kFirstIndex = 10;
const unsigned kMaxColours = 236;
// Up to this many colours a picture is art whose colours are merged two at a
// time, only as many as must go; beyond, it is a photograph for
// ImageMagick's quantiser (which leaves art with far fewer than 236).
const size_t kMergeLimit = 1024;

// The main dialog's client area, 232 x 160 dialog units, at the usual
// system font (dialog base units 8 x 16: 2 pixels a unit): what the player
// sees of the picture. A kept size must cover it.
const int kPixelsPerUnit = 2;
const size_t kWindowWidth = 232 * kPixelsPerUnit;
const size_t kWindowHeight = 160 * kPixelsPerUnit;

// The main dialog's buttons as its template places them, in dialog units.
struct Button {
    int x, y, width, height;
    const char *label; // UTF-8; '&' marks the underlined letter
};
const Button kButtons[] = {{8, 136, 56, 16, "プレイ(&P)"},
                           {72, 136, 88, 16, "インストール(&I)"},
                           {168, 136, 56, 16, "終了(&X)"}};
const char kLabelFont[] = "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf";

// The limits of Debian's ImageMagick (its policy.xml): 16KP a side, which
// is 16,000 (a decimal prefix), an area of 128 MP, and a pixel cache of
// 256 MiB in memory, then 512 MiB mapped, then 1 GiB on disk. Its cache
// takes 8 bytes a pixel (16-bit red, green, blue and alpha); a picture with
// a palette or in grey takes 10, and the PNG decoder holds both caches at
// once when it moves a picture to its palette: 18 bytes a pixel within
// 1 GiB, just under 60 megapixels. 56 million pixels leave room for what
// the disk file and the mapped file need besides. Every size within both
// is read; one beyond is refused by its header, before any decoder runs.
// A JPEG is decoded scaled down when the window needs fewer of its pixels,
// so a camera's photograph of any size passes; only the decoded picture
// must keep within these.
const size_t kMaxSide = 16000;
const size_t kMaxPixels = 56000000;
// A kept size becomes the launcher's picture as it is.
const size_t kMaxKeptSide = 8192;
const long kMaxFileBytes = 256L * 1024 * 1024;

const char kUsage[] = "usage: q7title [--keep-size] [--dither=none|riemersma|floyd-steinberg] "
                      "[--preview PREVIEW.png] [--] IMAGE OUTPUT.bin\n";

const char kHelp[] = "Turns a PNG, BMP, JPEG or GIF picture into the launcher's BACKCG resource.\n"
                     "\n"
                     "The picture is read as a viewer shows it: turned as its EXIF orientation\n"
                     "says, converted to sRGB from a colour profile that names another space,\n"
                     "without the page offset a crop or a GIF frame may carry; transparent parts\n"
                     "become black. It is scaled to cover 580 x 440 and cropped to its centre.\n"
                     "The launcher's window shows the centre 464 x 320 of that at the usual\n"
                     "system font; larger fonts show more, and so does the Wine of\n"
                     "scripts/demo.sh (464 x 360). A picture of at most 236 colours keeps its\n"
                     "exact colours; one with a few more has only as many merged as must go;\n"
                     "a photograph is reduced to 236 by ImageMagick's quantiser.\n"
                     "A PNG gamma (gAMA) without a colour profile or sRGB chunk is applied as\n"
                     "browsers apply it, for a screen of gamma 2.2. Of an animated GIF the first\n"
                     "frame is used; one that shows nothing is refused.\n"
                     "Pictures up to 16000 pixels a side and 56 megapixels are read (the limits\n"
                     "of Debian's ImageMagick); a larger JPEG photograph is decoded scaled\n"
                     "down, so a camera's of any size is too.\n"
                     "\n"
                     "  --keep-size    keep the picture's own size (its width a multiple of 4,\n"
                     "                 at least 464 x 320, at most 8192 x 8192 and 56\n"
                     "                 megapixels) instead of\n"
                     "                 fitting it to 580 x 440\n"
                     "  --dither=M     dithering when colours are reduced: none (the default),\n"
                     "                 riemersma or floyd-steinberg\n"
                     "  --preview P    also write P, a PNG of the window as the player sees it\n"
                     "                 at the usual font: the picture's centre and the buttons\n"
                     "  --help         this text\n"
                     "  --             the names that follow are files, even one that begins\n"
                     "                 with '-'\n"
                     "\n"
                     "Reports the size, colours, stream and resource size, the PSNR against the\n"
                     "fitted picture and the part the window shows on stdout; progress goes to\n"
                     "stderr. OUTPUT.bin and the preview are written whole or not at all; an\n"
                     "OUTPUT that exists must be a regular file.\n";

struct Options {
    bool keepSize = false;
    const char *preview = nullptr;
    Magick::DitherMethod dither = Magick::NoDitherMethod;
    const char *ditherName = "none";
    const char *input = nullptr;
    const char *output = nullptr;
};

// A failure that names the file it concerns.
struct Failure {
    std::string file, what;
};

void Progress(const std::string &text) {
    std::fprintf(stderr, "q7title: %s\n", text.c_str());
}

std::string Size(size_t w, size_t h) {
    return std::to_string(w) + " x " + std::to_string(h);
}

std::string ReadWhole(const char *path) {
    FILE *f = std::fopen(path, "rb");
    if (f == nullptr)
        throw Failure{path, std::string("cannot read: ") + std::strerror(errno)};
    std::string data;
    char buf[65536];
    size_t n;
    bool tooLarge = false;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
        data.append(buf, n);
        if (data.size() > static_cast<size_t>(kMaxFileBytes)) {
            tooLarge = true;
            break;
        }
    }
    bool failed = std::ferror(f) != 0;
    int err = errno;
    std::fclose(f);
    if (failed)
        throw Failure{path, std::string("cannot read: ") + std::strerror(err)};
    if (tooLarge)
        throw Failure{path, "larger than 256 MB, too large for a picture"};
    return data;
}

// Only the four formats the publisher is promised are handed to ImageMagick,
// and by name, so nothing in the file or its name can pick another coder.
const char *SniffFormat(const std::string &data) {
    auto starts = [&](const char *magic, size_t n) {
        return data.size() >= n && std::memcmp(data.data(), magic, n) == 0;
    };
    if (starts("\x89PNG\r\n\x1a\n", 8))
        return "PNG";
    if (starts("GIF87a", 6) || starts("GIF89a", 6))
        return "GIF";
    if (starts("\xFF\xD8\xFF", 3))
        return "JPEG";
    if (starts("BM", 2))
        return "BMP";
    return nullptr;
}

// ImageMagick's reason without the source location it appends.
std::string Reason(const Magick::Exception &e) {
    std::string s = e.what();
    size_t colon = s.find(": ");
    if (colon != std::string::npos && s.compare(0, colon, "Magick") != 0 && s.find(' ') > colon)
        s.erase(0, colon + 2); // the "ProgramName: " prefix
    for (const char *cut : {" `", " @ "}) {
        size_t at = s.find(cut);
        if (at != std::string::npos)
            s.erase(at);
    }
    return s;
}

bool WithinLimits(size_t w, size_t h) {
    return w <= kMaxSide && h <= kMaxSide && w * h <= kMaxPixels;
}

// What to say of a picture of w x h beyond the limits.
std::string TooLarge(size_t w, size_t h) {
    return Size(w, h) + " is too large: at most " + std::to_string(kMaxSide) +
           " pixels a side and " + std::to_string(kMaxPixels / 1000000) +
           " megapixels, the limits of ImageMagick here (a JPEG may be larger when the "
           "window needs fewer of its pixels)";
}

// ImageMagick ran out of room for a picture within the limits: its disk
// cache could not be written (a full disk) or memory failed. A decoder
// reports this in its own words ("Memory allocation failed", "No image was
// loaded"), the cause in the exceptions nested under its own: returns the
// one that tells it, or null.
const Magick::Exception *OutOfRoom(const Magick::Exception &e) {
    for (const Magick::Exception *x = &e; x != nullptr; x = x->nested()) {
        if (dynamic_cast<const Magick::ErrorResourceLimit *>(x) != nullptr ||
            dynamic_cast<const Magick::WarningResourceLimit *>(x) != nullptr ||
            dynamic_cast<const Magick::ErrorCache *>(x) != nullptr ||
            dynamic_cast<const Magick::WarningCache *>(x) != nullptr)
            return x;
        const std::string what = x->what();
        for (const char *sign : {"exceeds limit", "cache resources exhausted",
                                 "Memory allocation failed", "unable to extend cache"})
            if (what.find(sign) != std::string::npos)
                return x;
    }
    return nullptr;
}

// The cause of an OutOfRoom failure, for the publisher to act on.
std::string NoRoom(size_t w, size_t h, const Magick::Exception &e) {
    return Size(w, h) + " is within the limits, but ImageMagick could not get the memory or " +
           "the disk space in its temporary folder it needs for it (" + Reason(e) + ")";
}

// Runs one ImageMagick step on the picture at `path`, turning its errors
// into failures that say what is wrong with the file, or with the room
// ImageMagick had for the picture of w x h its header gives.
template <class Step>
void Guarded(const char *path, const char *format, size_t w, size_t h, Step step) {
    try {
        step();
    } catch (const Magick::Exception &e) {
        if (const Magick::Exception *cause = OutOfRoom(e))
            throw Failure{path, NoRoom(w, h, *cause)};
        // Pixels are missing: what was read is not the picture.
        const std::string reason = Reason(e);
        const bool cut = reason.find("insufficient image data") != std::string::npos ||
                         reason.find("end-of-file") != std::string::npos;
        if (dynamic_cast<const Magick::WarningCorruptImage *>(&e) != nullptr || cut)
            throw Failure{path, std::string("damaged or truncated ") + format + " image (" +
                                    Reason(e) + ")"};
        if (dynamic_cast<const Magick::Warning *>(&e) != nullptr) {
            Progress(std::string(path) + ": " + Reason(e));
            return;
        }
        throw Failure{path, std::string("not a valid ") + format + " image (" + Reason(e) + ")"};
    }
}

unsigned Be16(const std::string &d, size_t at) {
    return uint8_t(d[at]) << 8 | uint8_t(d[at + 1]);
}
unsigned Le16(const std::string &d, size_t at) {
    return uint8_t(d[at]) | uint8_t(d[at + 1]) << 8;
}
uint32_t Be32(const std::string &d, size_t at) {
    return uint32_t(Be16(d, at)) << 16 | Be16(d, at + 2);
}
uint32_t Le32(const std::string &d, size_t at) {
    return Le16(d, at) | uint32_t(Le16(d, at + 2)) << 16;
}

// The size the picture's header gives, read before any decoder sees it:
// ImageMagick meets a picture past its limits with a message about memory,
// or with no message at all (PNG). 0 x 0 when the header is cut short.
void StoredSize(const std::string &d, const char *format, size_t *w, size_t *h) {
    *w = *h = 0;
    auto room = [&d](size_t at, size_t n) { return at <= d.size() && d.size() - at >= n; };
    if (std::strcmp(format, "PNG") == 0 && room(16, 8)) {
        *w = Be32(d, 16), *h = Be32(d, 20);
    } else if (std::strcmp(format, "BMP") == 0 && room(14, 12)) {
        if (Le32(d, 14) == 12) { // the OS/2 header's 16-bit sizes
            *w = Le16(d, 18), *h = Le16(d, 20);
        } else {
            int32_t sw = int32_t(Le32(d, 18)), sh = int32_t(Le32(d, 22));
            *w = sw < 0 ? 0 - size_t(sw) : size_t(sw);
            *h = sh < 0 ? 0 - size_t(sh) : size_t(sh); // negative: stored top-down
        }
    } else if (std::strcmp(format, "GIF") == 0 && room(6, 7)) {
        // The first frame's own size: a frame may be larger than its screen.
        size_t at = 13;
        if (uint8_t(d[10]) & 0x80)
            at += 3u << ((d[10] & 7) + 1);
        while (room(at, 1) && d[at] == 0x21 && room(at, 2)) {
            at += 2;
            while (room(at, 1) && d[at] != 0)
                at += 1 + uint8_t(d[at]);
            ++at;
        }
        if (room(at, 9) && d[at] == 0x2C)
            *w = Le16(d, at + 5), *h = Le16(d, at + 7);
        else
            *w = Le16(d, 6), *h = Le16(d, 8);
    } else if (std::strcmp(format, "JPEG") == 0) {
        for (size_t at = 2; room(at, 4) && uint8_t(d[at]) == 0xFF;) {
            unsigned marker = uint8_t(d[at + 1]);
            if (marker == 0xFF) { // fill byte
                ++at;
                continue;
            }
            bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
                         marker != 0xCC;
            if (frame && room(at, 9)) {
                *h = Be16(d, at + 5), *w = Be16(d, at + 7);
                break;
            }
            if (marker == 0xDA)
                break;
            at += 2 + Be16(d, at + 2);
        }
    }
}

// What a PNG says of its colours before its pixels: a gamma (gAMA), and
// whether an sRGB chunk or a colour profile (iCCP) overrides it.
struct PngColour {
    double gamma = 0; // 0: no gAMA
    bool srgb = false, profile = false;
};

PngColour PngChunks(const std::string &d) {
    PngColour c;
    for (size_t at = 8; at <= d.size() && d.size() - at >= 12;) {
        uint32_t length = Be32(d, at);
        std::string type = d.substr(at + 4, 4);
        if (type == "IDAT" || length > d.size() - at - 12)
            break;
        if (type == "gAMA" && length == 4 && Be32(d, at + 8) != 0)
            c.gamma = Be32(d, at + 8) / 100000.0;
        c.srgb = c.srgb || type == "sRGB";
        c.profile = c.profile || type == "iCCP";
        at += 12 + length;
    }
    return c;
}

// The number of frames in a GIF: its image descriptors, the blocks between
// them skipped; stops where the file is cut or damaged.
size_t GifFrames(const std::string &d) {
    auto room = [&d](size_t at, size_t n) { return at <= d.size() && d.size() - at >= n; };
    if (!room(0, 13))
        return 0;
    size_t at = 13, frames = 0;
    if (uint8_t(d[10]) & 0x80)
        at += 3u << ((d[10] & 7) + 1);
    auto skipSubBlocks = [&] {
        while (room(at, 1) && d[at] != 0)
            at += 1 + uint8_t(d[at]);
        ++at;
    };
    while (room(at, 1)) {
        if (d[at] == 0x21) { // an extension
            at += 2;
            skipSubBlocks();
        } else if (d[at] == 0x2C && room(at, 10)) {
            ++frames;
            unsigned flags = uint8_t(d[at + 9]);
            at += 10;
            if (flags & 0x80)
                at += 3u << ((flags & 7) + 1);
            ++at; // the LZW code size
            skipSubBlocks();
        } else {
            break; // the trailer, or damage
        }
    }
    return frames;
}

// An uncompressed BMP must hold every row its header promises; ImageMagick
// calls one cut short an "improper image header". Its bfSize is not
// checked: 0 and a size that leaves trailing bytes are both common.
void CheckBmpPixels(const char *path, const std::string &d, size_t w, size_t h) {
    if (d.size() < 30)
        return; // too short for a header: the decoder says so
    uint32_t offset = Le32(d, 10), header = Le32(d, 14);
    unsigned bits = 0;
    uint32_t compression = 0;
    if (header == 12) {
        bits = Le16(d, 24);
    } else if (header >= 40 && d.size() >= 34) {
        bits = Le16(d, 28);
        compression = Le32(d, 30);
    }
    const bool uncompressed = compression == 0 || compression == 3 || compression == 6;
    if (!uncompressed || bits == 0 || bits > 32 || offset < 14 + header)
        return;
    const size_t stride = (w * bits + 31) / 32 * 4;
    const size_t end = offset + stride * h;
    if (d.size() < end)
        throw Failure{path, "damaged or truncated BMP image (its " + Size(w, h) +
                                " pixels end at byte " + std::to_string(end) +
                                ", the file at byte " + std::to_string(d.size()) + ")"};
}

// True when at least one pixel is not wholly transparent.
bool ShowsAnything(Magick::Image &image) {
    if (!image.matte())
        return true;
    std::vector<uint8_t> alpha(image.columns());
    for (size_t y = 0; y < image.rows(); ++y) {
        image.write(0, static_cast<ssize_t>(y), image.columns(), 1, "A", Magick::CharPixel,
                    alpha.data());
        for (uint8_t a : alpha)
            if (a != 0)
                return true;
    }
    return false;
}

// A PNG's gamma without a colour profile or sRGB chunk, applied as browsers
// apply it: the stored value v is shown as v^(1/(2.2 g)) on a screen of
// gamma 2.2, as sRGB nearly is. Its gamma of 1/2.2 is thus sRGB's own and
// changes nothing. ImageMagick alone calls a picture of gamma 0.8 or 1
// linear and leaves one of 0.55555 as stored, so that 0.8 and 1 came out
// alike and 0.55555 as if it had no gamma. Returns the line for the report.
std::string ApplyPngGamma(const PngColour &c, Magick::Image &image) {
    // Whatever ImageMagick made of the gamma, the pixels are as stored.
    if (image.colorSpace() == Magick::RGBColorspace)
        image.colorspaceType(Magick::sRGBColorspace);
    else if (image.colorSpace() == MagickCore::LinearGRAYColorspace)
        image.colorspaceType(Magick::GRAYColorspace);
    if (c.gamma == 0)
        return "";
    char line[200];
    const double exponent = 2.2 * c.gamma;
    if (c.srgb || c.profile) {
        std::snprintf(line, sizeof line, "gamma: %.5f (gAMA) ignored: its %s decides", c.gamma,
                      c.profile ? "colour profile" : "sRGB chunk");
    } else if (std::fabs(exponent - 1) < 0.01) {
        std::snprintf(line, sizeof line,
                      "gamma: %.5f (gAMA, no colour profile) is sRGB's: colours as stored",
                      c.gamma);
    } else {
        image.gamma(exponent, exponent, exponent);
        std::snprintf(line, sizeof line,
                      "gamma: %.5f (gAMA, no colour profile) applied as browsers apply it: a "
                      "stored value v shows as v^(1/%.4f)",
                      c.gamma, exponent);
    }
    return line;
}

bool QuarterTurned(Magick::OrientationType o) {
    return o == Magick::LeftTopOrientation || o == Magick::RightTopOrientation ||
           o == Magick::RightBottomOrientation || o == Magick::LeftBottomOrientation;
}

// True when the profile gives every colour as sRGB does, within one step:
// such a picture keeps its exact colours.
bool ActsAsSrgb(cmsHPROFILE profile, cmsHPROFILE srgb) {
    if (cmsGetColorSpace(profile) != cmsSigRgbData)
        return false;
    cmsHTRANSFORM t =
        cmsCreateTransform(profile, TYPE_RGB_8, srgb, TYPE_RGB_8, INTENT_PERCEPTUAL, 0);
    if (t == nullptr)
        return false;
    std::vector<uint8_t> in, out(16 * 16 * 16 * 3);
    for (int r = 0; r < 256; r += 17)
        for (int g = 0; g < 256; g += 17)
            for (int b = 0; b < 256; b += 17)
                in.insert(in.end(), {uint8_t(r), uint8_t(g), uint8_t(b)});
    cmsDoTransform(t, in.data(), out.data(), static_cast<cmsUInt32Number>(in.size() / 3));
    cmsDeleteTransform(t);
    for (size_t i = 0; i < in.size(); ++i)
        if (std::abs(int(in[i]) - int(out[i])) > 1)
            return false;
    return true;
}

// The launcher's screen is sRGB: a picture whose colour profile names
// another space is converted from it, as a viewer converts it.
void ConvertToSrgb(const char *path, Magick::Image &image) {
    Magick::Blob own = image.iccColorProfile();
    if (own.length() == 0)
        return;
    cmsHPROFILE profile =
        cmsOpenProfileFromMem(own.data(), static_cast<cmsUInt32Number>(own.length()));
    if (profile == nullptr) {
        Progress(std::string(path) + ": its colour profile is damaged; read as sRGB");
        return;
    }
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    bool same = ActsAsSrgb(profile, srgb);
    cmsUInt32Number size = 0;
    std::string bytes;
    if (!same && cmsSaveProfileToMem(srgb, nullptr, &size)) {
        bytes.resize(size);
        if (!cmsSaveProfileToMem(srgb, &bytes[0], &size))
            bytes.clear();
    }
    cmsCloseProfile(srgb);
    cmsCloseProfile(profile);
    if (same)
        return;
    if (bytes.empty())
        throw Failure{path, "cannot convert its colours to sRGB"};
    try {
        image.renderingIntent(Magick::PerceptualIntent);
        image.profile("ICC", Magick::Blob(bytes.data(), bytes.size()));
        Progress("converted from its colour profile to sRGB");
    } catch (const Magick::Exception &e) {
        // A viewer shows such a picture as if it had no profile.
        Progress(std::string(path) + ": its colour profile does not fit it (" + Reason(e) +
                 "); read as sRGB");
    }
}

// The one place a picture is read: its pixels as a viewer shows them, in
// sRGB without transparency. `width` x `height` is what the window needs
// of it (0 x 0: all of it), so that a large JPEG is decoded scaled down.
Magick::Image Load(const char *path, size_t width, size_t height,
                   std::vector<std::string> *report) {
    std::string data = ReadWhole(path);
    const char *format = SniffFormat(data);
    if (format == nullptr)
        throw Failure{path, "not a PNG, BMP, JPEG or GIF image"};
    size_t w, h;
    StoredSize(data, format, &w, &h);
    bool scaledRead = std::strcmp(format, "JPEG") == 0 && width != 0;
    if (!scaledRead && !WithinLimits(w, h))
        throw Failure{path, TooLarge(w, h)};
    Magick::Blob blob(data.data(), data.size());
    Magick::Image image;
    image.subRange(1); // the first frame of an animation
    if (std::strcmp(format, "BMP") == 0) {
        CheckBmpPixels(path, data, w, h);
        image.defineValue("bmp", "ignore-filesize", "true");
    }
    if (scaledRead && w != 0 && h != 0) {
        Magick::Image header;
        header.magick(format);
        Guarded(path, format, w, h, [&] { header.ping(blob); });
        size_t ow = w, oh = h;
        if (QuarterTurned(header.orientation()))
            std::swap(ow, oh);
        // No less than twice what the window needs; the JPEG decoder scales
        // by eighths, and only when asked for at most half.
        double k = 2 * std::max(double(width) / ow, double(height) / oh);
        if (k <= 0.5) {
            std::string hint = std::to_string(size_t(std::ceil(w * k))) + "x" +
                               std::to_string(size_t(std::ceil(h * k)));
            image.defineValue("jpeg", "size", hint);
        }
    }
    Guarded(path, format, w, h, [&] { image.read(blob, Magick::Geometry(), format); });
    if (image.columns() == 0 || image.rows() == 0)
        throw Failure{path, std::string("damaged or truncated ") + format +
                                " image (no pixels could be read)"};
    if (!WithinLimits(image.columns(), image.rows()))
        throw Failure{path, TooLarge(image.columns(), image.rows())};
    Progress(std::string("read ") + path + " (" + format + ", " +
             Size(image.columns(), image.rows()) + ")");

    // An animation shows as its first frame where it cannot play.
    const size_t frames = std::strcmp(format, "GIF") == 0 ? GifFrames(data) : 1;
    std::string which = "it";
    if (frames > 1) {
        const Magick::Geometry screen = image.page();
        report->push_back("animated: a GIF of " + std::to_string(frames) +
                          " frames; the first is used, " + Size(image.columns(), image.rows()) +
                          " of its " + Size(screen.width(), screen.height()) + " screen");
        which = "its first frame, the one used,";
    }
    if (!ShowsAnything(image))
        throw Failure{path, which + " shows nothing: every pixel is transparent, and the title "
                                    "would be all black"};

    Guarded(path, format, w, h, [&] {
        // Only the pixels the file holds: a page geometry (left by a crop,
        // or a GIF frame's place on its screen) would have every later
        // step count from the page instead.
        image.repage();
        if (image.orientation() != Magick::TopLeftOrientation &&
            image.orientation() != Magick::UndefinedOrientation) {
            image.autoOrient();
            Progress("turned upright as its orientation says (" +
                     Size(image.columns(), image.rows()) + ")");
        }
    });
    if (std::strcmp(format, "PNG") == 0) {
        std::string said = ApplyPngGamma(PngChunks(data), image);
        if (!said.empty())
            report->push_back(said);
    }
    ConvertToSrgb(path, image);
    if (image.matte()) {
        image.backgroundColor(Magick::Color("black"));
        image.alphaChannel(Magick::RemoveAlphaChannel);
    }
    image.colorSpace(Magick::sRGBColorspace);
    return image;
}

// Top-down rows of red, green, blue bytes.
std::vector<uint8_t> Rgb(Magick::Image &image) {
    std::vector<uint8_t> rgb(image.columns() * image.rows() * 3);
    image.write(0, 0, image.columns(), image.rows(), "RGB", Magick::CharPixel, rgb.data());
    return rgb;
}

uint32_t ColourAt(const std::vector<uint8_t> &rgb, size_t i) {
    return static_cast<uint32_t>(rgb[3 * i]) << 16 | static_cast<uint32_t>(rgb[3 * i + 1]) << 8 |
           rgb[3 * i + 2];
}

// The distinct colours, sorted; stops counting past `limit`.
std::vector<uint32_t> Colours(const std::vector<uint8_t> &rgb, size_t limit) {
    std::vector<uint32_t> all(rgb.size() / 3);
    for (size_t i = 0; i < all.size(); ++i)
        all[i] = ColourAt(rgb, i);
    std::sort(all.begin(), all.end());
    all.erase(std::unique(all.begin(), all.end()), all.end());
    if (all.size() > limit)
        all.resize(limit + 1);
    return all;
}

// The distinct colours of a picture of any size with the pixels of each,
// sorted, a row at a time: a photograph is recognised within its first
// rows, without a copy of its pixels. Stops counting past `limit` colours.
struct Histogram {
    std::vector<uint32_t> colours;
    std::vector<uint64_t> counts;
};

Histogram Count(Magick::Image &image, size_t limit) {
    Histogram seen;
    std::vector<uint8_t> row(image.columns() * 3);
    std::vector<uint32_t> line(image.columns());
    for (size_t y = 0; y < image.rows() && seen.colours.size() <= limit; ++y) {
        image.write(0, static_cast<ssize_t>(y), image.columns(), 1, "RGB", Magick::CharPixel,
                    row.data());
        for (size_t x = 0; x < line.size(); ++x)
            line[x] = ColourAt(row, x);
        std::sort(line.begin(), line.end());
        Histogram both;
        size_t i = 0, j = 0;
        while (i < seen.colours.size() || j < line.size()) {
            uint32_t c = j == line.size() || (i < seen.colours.size() && seen.colours[i] < line[j])
                             ? seen.colours[i]
                             : line[j];
            uint64_t n = 0;
            if (i < seen.colours.size() && seen.colours[i] == c)
                n += seen.counts[i++];
            for (; j < line.size() && line[j] == c; ++j)
                ++n;
            both.colours.push_back(c);
            both.counts.push_back(n);
        }
        seen = std::move(both);
    }
    if (seen.colours.size() > limit) {
        seen.colours.resize(limit + 1);
        seen.counts.resize(limit + 1);
    }
    return seen;
}

uint32_t Distance(uint32_t a, uint32_t b) {
    uint32_t sum = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        int d = int(a >> shift & 255) - int(b >> shift & 255);
        sum += static_cast<uint32_t>(d * d);
    }
    return sum;
}

// Merges colours until `keep` remain, one at a time: the one whose pixels
// move least (their count times the squared distance to the nearest colour
// left) goes into that nearest, whose pixels it joins. What is left are
// colours of the picture, exact.
std::vector<uint32_t> Merge(const Histogram &h, size_t keep) {
    const size_t n = h.colours.size();
    std::vector<uint64_t> counts = h.counts;
    std::vector<bool> gone(n);
    std::vector<size_t> nearest(n);
    std::vector<uint32_t> distance(n);
    auto findNearest = [&](size_t i) {
        distance[i] = UINT32_MAX;
        for (size_t j = 0; j < n; ++j) {
            uint32_t d = Distance(h.colours[i], h.colours[j]);
            if (j != i && !gone[j] && d < distance[i]) {
                distance[i] = d;
                nearest[i] = j;
            }
        }
    };
    for (size_t i = 0; i < n; ++i)
        findNearest(i);
    for (size_t left = n; left > keep; --left) {
        size_t drop = n;
        for (size_t i = 0; i < n; ++i)
            if (!gone[i] && (drop == n || counts[i] * distance[i] < counts[drop] * distance[drop]))
                drop = i;
        gone[drop] = true;
        counts[nearest[drop]] += counts[drop];
        for (size_t i = 0; i < n; ++i)
            if (!gone[i] && nearest[i] == drop)
                findNearest(i);
    }
    std::vector<uint32_t> kept;
    for (size_t i = 0; i < n; ++i)
        if (!gone[i])
            kept.push_back(h.colours[i]);
    return kept;
}

// Gives every pixel the nearest of `palette`'s colours.
void MapTo(Magick::Image &image, const std::vector<uint32_t> &palette) {
    std::vector<uint8_t> bytes;
    for (uint32_t c : palette)
        bytes.insert(bytes.end(), {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)});
    Magick::Image colours;
    colours.read(palette.size(), 1, "RGB", Magick::CharPixel, bytes.data());
    image.map(colours, false);
}

// Scales the picture to cover width x height and crops its centre; true
// when it was scaled.
bool Fit(Magick::Image &image, size_t width, size_t height) {
    size_t w = image.columns(), h = image.rows();
    if (w == width && h == height)
        return false;
    const bool wider = w * height >= h * width; // relatively wider: the height decides
    // The part of the picture the fitted size keeps.
    size_t cw = w, ch = h;
    if (wider)
        cw = std::min(w, (h * width + height - 1) / height);
    else
        ch = std::min(h, (w * height + width - 1) / width);
    // Scaled up whole, a thin picture would pass every limit (2,000 x 16
    // becomes 55,000 x 440), and scaled down whole, a long one costs for what
    // is cut off: those are cropped first. A large photograph of about the
    // window's shape is scaled first, never copied whole.
    if ((wider ? h < height : w < width) || cw * ch * 2 <= w * h) {
        image.crop(Magick::Geometry(cw, ch, (w - cw) / 2, (h - ch) / 2));
        image.repage();
        w = cw, h = ch;
    }
    size_t sw = width, sh = height;
    if (wider)
        sw = std::max(width, static_cast<size_t>(std::llround(double(w) * height / h)));
    else
        sh = std::max(height, static_cast<size_t>(std::llround(double(h) * width / w)));
    if (sw != w || sh != h) {
        Magick::Geometry to(sw, sh);
        to.aspect(true);
        image.resize(to);
        Progress("scaled to " + Size(sw, sh));
    }
    image.crop(Magick::Geometry(width, height, (sw - width) / 2, (sh - height) / 2));
    image.repage();
    Progress("cropped the centre " + Size(width, height));
    return sw != w || sh != h;
}

double Psnr(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b) {
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        double d = double(a[i]) - double(b[i]);
        sum += d * d;
    }
    if (sum == 0)
        return INFINITY;
    return 10.0 * std::log10(255.0 * 255.0 * double(a.size()) / sum);
}

// OUTPUT and the preview replace only regular files: the rename that puts
// them in place would put a file where a device, a FIFO or a link was.
void CheckReplaceable(const char *path) {
    struct stat st;
    if (lstat(path, &st) != 0 || S_ISREG(st.st_mode))
        return; // absent, or a path whose writing will say what is wrong
    const char *what = S_ISDIR(st.st_mode)                          ? "a folder"
                       : S_ISLNK(st.st_mode)                        ? "a symbolic link"
                       : S_ISFIFO(st.st_mode)                       ? "a FIFO"
                       : S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) ? "a device"
                                                                    : "a socket";
    throw Failure{path, std::string("cannot write: it is ") + what +
                            ", not a regular file; left as it is"};
}

// Writes `data` beside `path`; returns the name written, for PutInPlace.
std::string WriteBeside(const char *path, const std::vector<uint8_t> &data) {
    std::string temp = std::string(path) + ".XXXXXX";
    int fd = mkstemp(&temp[0]);
    if (fd < 0)
        throw Failure{path, std::string("cannot write: ") + std::strerror(errno)};
    mode_t mask = umask(0);
    umask(mask);
    bool ok = fchmod(fd, 0666 & ~mask) == 0;
    size_t done = 0;
    while (ok && done < data.size()) {
        ssize_t n = write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        if (ok)
            done += static_cast<size_t>(n);
    }
    ok = ok && fsync(fd) == 0;
    int err = errno;
    ok = close(fd) == 0 && ok;
    if (!ok) {
        unlink(temp.c_str());
        throw Failure{path, std::string("cannot write: ") + std::strerror(err)};
    }
    return temp;
}

// Renames what WriteBeside wrote onto `path`; on failure removes it.
void PutInPlace(const std::string &temp, const char *path) {
    try {
        CheckReplaceable(path);
    } catch (const Failure &) {
        unlink(temp.c_str());
        throw;
    }
    if (std::rename(temp.c_str(), path) != 0) {
        int err = errno;
        unlink(temp.c_str());
        throw Failure{path, std::string("cannot write: ") + std::strerror(err)};
    }
}

// The classic raised push button: a face with a light top and left, a dark
// shadow under a grey one at the bottom and right.
void DrawButton(std::vector<uint8_t> &shot, const Button &b) {
    const int x0 = b.x * kPixelsPerUnit, y0 = b.y * kPixelsPerUnit;
    const int w = b.width * kPixelsPerUnit, h = b.height * kPixelsPerUnit;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t v = 192;
            if (x == w - 1 || y == h - 1)
                v = 0;
            else if (x == 0 || y == 0)
                v = 255;
            else if (x == w - 2 || y == h - 2)
                v = 128;
            uint8_t *p = &shot[3 * ((y0 + y) * kWindowWidth + x0 + x)];
            p[0] = p[1] = p[2] = v;
        }
}

// Writes the button's label centred on it, its '&' letter underlined.
void DrawLabel(Magick::Image &image, const Button &b) {
    std::string text = b.label;
    size_t amp = text.find('&');
    text.erase(amp, 1);
    Magick::TypeMetric all, before, letter;
    image.fontTypeMetrics(text, &all);
    image.fontTypeMetrics(text.substr(0, amp), &before);
    image.fontTypeMetrics(text.substr(amp, 1), &letter);
    const int x0 = b.x * kPixelsPerUnit, y0 = b.y * kPixelsPerUnit;
    const int w = b.width * kPixelsPerUnit, h = b.height * kPixelsPerUnit;
    double left = x0 + std::floor((w - all.textWidth()) / 2);
    double baseline = y0 + std::floor((h + all.ascent() + all.descent()) / 2);
    image.draw(Magick::DrawableText(left, baseline, text, "UTF-8"));
    for (int x = int(left + before.textWidth());
         x < int(left + before.textWidth() + letter.textWidth()); ++x)
        image.pixelColor(static_cast<size_t>(x), static_cast<size_t>(baseline + 2),
                         Magick::Color("black"));
}

// The main window's client area as the player sees it at the usual system
// font, as PNG bytes: the centre of the picture as the launcher crops it,
// and the buttons, labelled when the Japanese font is there.
std::vector<uint8_t> Preview(const std::vector<uint8_t> &rgb, size_t width, size_t height) {
    const size_t left = (width - kWindowWidth) / 2;
    // The launcher halves the margin counting rows from the bottom.
    const size_t top = height - kWindowHeight - (height - kWindowHeight) / 2;
    std::vector<uint8_t> shot(kWindowWidth * kWindowHeight * 3);
    for (size_t y = 0; y < kWindowHeight; ++y)
        std::memcpy(&shot[3 * y * kWindowWidth], &rgb[3 * ((top + y) * width + left)],
                    3 * kWindowWidth);
    for (const Button &b : kButtons)
        DrawButton(shot, b);
    Magick::Image image;
    image.read(kWindowWidth, kWindowHeight, "RGB", Magick::CharPixel, shot.data());
    if (access(kLabelFont, R_OK) == 0) {
        image.font(kLabelFont);
        image.fontPointsize(14);
        image.fillColor(Magick::Color("black"));
        image.strokeColor(Magick::Color());
        for (const Button &b : kButtons)
            DrawLabel(image, b);
    } else {
        Progress(std::string("no ") + kLabelFont +
                 " (fonts-ipafont-gothic): the preview's "
                 "buttons have no labels");
    }
    image.magick("PNG24");
    image.defineValue("png", "exclude-chunks", "date,time");
    Magick::Blob png;
    image.write(&png);
    const uint8_t *bytes = static_cast<const uint8_t *>(png.data());
    return std::vector<uint8_t>(bytes, bytes + png.length());
}

void Convert(const Options &opt) {
    CheckReplaceable(opt.output);
    if (opt.preview != nullptr)
        CheckReplaceable(opt.preview);
    size_t width = 580, height = 440;
    std::vector<std::string> notes;
    Magick::Image image =
        opt.keepSize ? Load(opt.input, 0, 0, &notes) : Load(opt.input, width, height, &notes);
    if (opt.keepSize) {
        width = image.columns();
        height = image.rows();
        if (width % 4 != 0 || width < kWindowWidth || height < kWindowHeight ||
            width > kMaxKeptSide || height > kMaxKeptSide)
            throw Failure{opt.input, "cannot keep its size " + Size(width, height) +
                                         ": the width must be a multiple of 4 and the size at "
                                         "least " +
                                         Size(kWindowWidth, kWindowHeight) + " and at most " +
                                         Size(kMaxKeptSide, kMaxKeptSide)};
    }

    // An exact palette is taken from the picture as it comes, before
    // scaling blends its colours.
    Histogram own = Count(image, kMergeLimit);
    bool scaled = Fit(image, width, height);
    std::vector<uint8_t> fitted = Rgb(image);

    if (own.colours.size() <= kMergeLimit) {
        std::vector<uint32_t> palette = own.colours;
        if (palette.size() > kMaxColours) {
            palette = Merge(own, kMaxColours);
            Progress("merged the " + std::to_string(own.colours.size() - kMaxColours) +
                     " colours that would move the fewest pixels the least into their nearest");
        }
        if (scaled || palette.size() < own.colours.size()) {
            MapTo(image, palette);
            Progress("colours mapped to the picture's own (" + std::to_string(palette.size()) +
                     ")");
        }
    } else {
        Progress(std::string("reducing to ") + std::to_string(kMaxColours) +
                 " colours, dithering: " + opt.ditherName);
        image.quantizeColors(kMaxColours);
        image.quantizeColorSpace(Magick::sRGBColorspace);
        image.quantizeDither(opt.dither != Magick::NoDitherMethod);
        image.quantizeDitherMethod(opt.dither);
        image.quantize();
    }
    std::vector<uint8_t> final = Rgb(image);
    std::vector<uint32_t> colours = Colours(final, kMaxColours);
    if (colours.size() > kMaxColours)
        throw Failure{opt.input, "more than 236 colours remain after reducing them"};

    uint8_t table[768] = {};
    for (size_t k = 0; k < colours.size(); ++k) {
        uint8_t *e = table + 3 * (kFirstIndex + k);
        e[0] = uint8_t(colours[k]);
        e[1] = uint8_t(colours[k] >> 8);
        e[2] = uint8_t(colours[k] >> 16);
    }
    std::vector<uint8_t> pixels(width * height);
    for (size_t i = 0; i < pixels.size(); ++i) {
        size_t k =
            std::lower_bound(colours.begin(), colours.end(), ColourAt(final, i)) - colours.begin();
        pixels[i] = static_cast<uint8_t>(kFirstIndex + k);
    }

    Progress("encoding");
    ColumnRleStats stats;
    std::vector<uint8_t> resource = BuildBackgroundResource(
        table, pixels.data(), static_cast<uint32_t>(width), static_cast<uint32_t>(height), &stats);
    if (resource.empty())
        throw Failure{opt.input, "cannot encode a picture of " + Size(width, height)};

    // Both written beside their targets before either is put in place.
    std::string resourceTemp = WriteBeside(opt.output, resource);
    std::string previewTemp;
    try {
        if (opt.preview != nullptr) {
            Progress("drawing the preview");
            previewTemp = WriteBeside(opt.preview, Preview(final, width, height));
            PutInPlace(previewTemp, opt.preview);
        }
    } catch (...) {
        unlink(resourceTemp.c_str());
        throw;
    }
    PutInPlace(resourceTemp, opt.output);

    double psnr = Psnr(fitted, final);
    for (const std::string &note : notes)
        std::printf("%s\n", note.c_str());
    std::printf("picture: %zu x %zu\n", width, height);
    std::printf("colours: %zu\n", colours.size());
    std::printf("stream: %zu bytes\n", stats.bytes - 4);
    std::printf("resource: %zu bytes\n", resource.size());
    if (std::isinf(psnr))
        std::printf("psnr: exact\n");
    else
        std::printf("psnr: %.2f dB\n", psnr);
    const size_t left = (width - kWindowWidth) / 2, below = (height - kWindowHeight) / 2;
    std::printf("window: shows the centre %zu x %zu at the usual system font, hiding %zu pixels "
                "left, %zu right, %zu above and %zu below; larger fonts show more, and so "
                "does the Wine of scripts/demo.sh (464 x 360)\n",
                kWindowWidth, kWindowHeight, left, width - kWindowWidth - left,
                height - kWindowHeight - below, below);
}

bool ParseArgs(int argc, char **argv, Options *opt, bool *help) {
    std::vector<const char *> files;
    bool names = false; // after "--": a name that begins with '-' is a file's
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (names) {
            files.push_back(argv[i]);
        } else if (a == "--") {
            names = true;
        } else if (a == "--help") {
            *help = true;
        } else if (a == "--keep-size") {
            opt->keepSize = true;
        } else if (a == "--preview") {
            if (++i == argc)
                return false;
            opt->preview = argv[i];
        } else if (a.compare(0, 10, "--preview=") == 0 && a.size() > 10) {
            opt->preview = argv[i] + 10;
        } else if (a.compare(0, 9, "--dither=") == 0) {
            std::string m = a.substr(9);
            if (m == "none")
                opt->dither = Magick::NoDitherMethod;
            else if (m == "riemersma")
                opt->dither = Magick::RiemersmaDitherMethod;
            else if (m == "floyd-steinberg")
                opt->dither = Magick::FloydSteinbergDitherMethod;
            else
                return false;
            opt->ditherName = argv[i] + 9;
        } else if (a.size() > 1 && a[0] == '-') {
            return false;
        } else {
            files.push_back(argv[i]);
        }
    }
    if (*help)
        return true;
    if (files.size() != 2)
        return false;
    opt->input = files[0];
    opt->output = files[1];
    // One file cannot be both.
    return opt->preview == nullptr || std::strcmp(opt->preview, opt->output) != 0;
}

} // namespace

int main(int argc, char **argv) {
    Options opt;
    bool help = false;
    if (!ParseArgs(argc, argv, &opt, &help)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (help) {
        std::fputs(kUsage, stdout);
        std::fputs(kHelp, stdout);
        return 0;
    }
    Magick::InitializeMagick(argv[0]);
    // One thread: the same picture gives the same bytes on every machine.
    Magick::ResourceLimits::thread(1);
    Magick::ResourceLimits::width(kMaxSide);
    Magick::ResourceLimits::height(kMaxSide);
    int status = 0;
    try {
        Convert(opt);
    } catch (const Failure &f) {
        std::fprintf(stderr, "%s: %s\n", f.file.c_str(), f.what.c_str());
        status = 1;
    } catch (const Magick::Exception &e) {
        // Past the reading the picture is within the limits: a failure for
        // want of room is the memory's or the temporary folder's disk's.
        if (const Magick::Exception *cause = OutOfRoom(e))
            std::fprintf(stderr,
                         "%s: ImageMagick could not get the memory or the disk space in its "
                         "temporary folder it needs (%s)\n",
                         opt.input, Reason(*cause).c_str());
        else
            std::fprintf(stderr, "%s: %s\n", opt.input, Reason(e).c_str());
        status = 1;
    } catch (const std::bad_alloc &) {
        std::fprintf(stderr, "%s: not enough memory\n", opt.input);
        status = 1;
    }
    Magick::TerminateMagick();
    return status;
}
