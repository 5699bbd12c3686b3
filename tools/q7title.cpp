// q7title: turns a publisher's picture (PNG, BMP, JPEG or GIF) into the
// launcher's BACKCG resource. Native tool only; never part of Q7.EXE.
//
// Reading, scaling and colour quantising are ImageMagick's; this file only
// fits the picture to the window, numbers its colours into the palette slots
// the launcher may use, and lays out the resource.
#include "colrle_encode.h"
#include "title_picture.h"

#include <Magick++.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
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

// The main dialog's client area (232 x 160 dialog units) at the system font;
// a kept size must cover it, or the window shows what lies past the picture.
const size_t kMinKeptWidth = 464;
const size_t kMinKeptHeight = 320;

// Far beyond any title art; keeps a hostile header from asking for gigabytes.
const size_t kMaxSide = 8192;
const long kMaxFileBytes = 256L * 1024 * 1024;

const char kUsage[] = "usage: q7title [--keep-size] [--dither=none|riemersma|floyd-steinberg] "
                      "IMAGE OUTPUT.bin\n";

const char kHelp[] = "Turns a PNG, BMP, JPEG or GIF picture into the launcher's BACKCG resource.\n"
                     "\n"
                     "The picture is scaled to cover 580 x 440 and cropped to its centre;\n"
                     "transparent parts become black. A picture of at most 236 colours keeps\n"
                     "its exact colours; one with more is reduced to 236 by ImageMagick's\n"
                     "quantiser.\n"
                     "\n"
                     "  --keep-size    keep the picture's own size (its width a multiple of 4,\n"
                     "                 at least 464 x 320) instead of fitting it to 580 x 440\n"
                     "  --dither=M     dithering when colours are reduced: none (the default),\n"
                     "                 riemersma or floyd-steinberg\n"
                     "  --help         this text\n"
                     "\n"
                     "Reports the size, colours, stream and resource size and the PSNR against\n"
                     "the fitted picture on stdout; progress goes to stderr. OUTPUT.bin is\n"
                     "written whole or not at all.\n";

struct Options {
    bool keepSize = false;
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

// Runs one ImageMagick step on the picture at `path`, turning its errors
// into failures that say what is wrong with the file.
template <class Step> void Guarded(const char *path, const char *format, Step step) {
    const std::string tooLarge = "too large (at most " + Size(kMaxSide, kMaxSide) + ")";
    try {
        step();
    } catch (const Magick::WarningCorruptImage &e) {
        // Pixels are missing: what was read is not the picture.
        throw Failure{path,
                      std::string("damaged or truncated ") + format + " image (" + Reason(e) + ")"};
    } catch (const Magick::Warning &e) {
        Progress(std::string(path) + ": " + Reason(e));
    } catch (const Magick::Exception &e) {
        std::string reason = Reason(e);
        if (reason.find("exceeds limit") != std::string::npos)
            throw Failure{path, tooLarge};
        throw Failure{path, std::string("not a valid ") + format + " image (" + reason + ")"};
    }
}

Magick::Image Load(const char *path) {
    std::string data = ReadWhole(path);
    const char *format = SniffFormat(data);
    if (format == nullptr)
        throw Failure{path, "not a PNG, BMP, JPEG or GIF image"};
    Magick::Blob blob(data.data(), data.size());
    // The header first, so that a picture too large is refused unread.
    Magick::Image header;
    header.magick(format);
    Guarded(path, format, [&] { header.ping(blob); });
    if (header.columns() > kMaxSide || header.rows() > kMaxSide)
        throw Failure{path, Size(header.columns(), header.rows()) + " is too large (at most " +
                                Size(kMaxSide, kMaxSide) + ")"};
    Magick::Image image;
    image.subRange(1); // the first frame of an animation
    Guarded(path, format, [&] { image.read(blob, Magick::Geometry(), format); });
    if (image.columns() == 0 || image.rows() == 0)
        throw Failure{path, std::string("damaged or truncated ") + format +
                                " image (no pixels could be read)"};
    Progress(std::string("read ") + path + " (" + format + ", " +
             Size(image.columns(), image.rows()) + ")");
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

// The same for a picture of any size, a row at a time: a photograph is
// recognised within its first rows, without a copy of its pixels.
std::vector<uint32_t> Colours(Magick::Image &image, size_t limit) {
    std::vector<uint32_t> seen;
    std::vector<uint8_t> row(image.columns() * 3);
    for (size_t y = 0; y < image.rows() && seen.size() <= limit; ++y) {
        image.write(0, static_cast<ssize_t>(y), image.columns(), 1, "RGB", Magick::CharPixel,
                    row.data());
        std::vector<uint32_t> more = Colours(row, limit);
        std::vector<uint32_t> merged;
        std::set_union(seen.begin(), seen.end(), more.begin(), more.end(),
                       std::back_inserter(merged));
        seen.swap(merged);
    }
    if (seen.size() > limit)
        seen.resize(limit + 1);
    return seen;
}

// Scales the picture to cover width x height and crops its centre; true
// when it was scaled.
bool Fit(Magick::Image &image, size_t width, size_t height) {
    size_t w = image.columns(), h = image.rows();
    if (w == width && h == height)
        return false;
    size_t sw = width, sh = height;
    if (w * height >= h * width) // relatively wider: the height decides
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
    image.page(Magick::Geometry(0, 0));
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

// Writes beside the target, then renames: the target is whole or untouched.
void WriteWhole(const char *path, const std::vector<uint8_t> &data) {
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
    if (ok && std::rename(temp.c_str(), path) != 0) {
        err = errno;
        ok = false;
    }
    if (!ok) {
        unlink(temp.c_str());
        throw Failure{path, std::string("cannot write: ") + std::strerror(err)};
    }
}

void Convert(const Options &opt) {
    Magick::Image image = Load(opt.input);
    if (image.matte()) {
        image.backgroundColor(Magick::Color("black"));
        image.alphaChannel(Magick::RemoveAlphaChannel);
    }
    image.colorSpace(Magick::sRGBColorspace);

    size_t width = 580, height = 440;
    if (opt.keepSize) {
        width = image.columns();
        height = image.rows();
        if (width % 4 != 0 || width < kMinKeptWidth || height < kMinKeptHeight)
            throw Failure{opt.input, "cannot keep its size " + Size(width, height) +
                                         ": the width must be a multiple of 4 and the size at "
                                         "least " +
                                         Size(kMinKeptWidth, kMinKeptHeight)};
    }

    // An exact palette is taken from the picture as it comes, before
    // scaling blends its colours.
    std::vector<uint32_t> own = Colours(image, kMaxColours);
    bool scaled = Fit(image, width, height);
    std::vector<uint8_t> fitted = Rgb(image);

    if (own.size() <= kMaxColours) {
        if (scaled) {
            std::vector<uint8_t> bytes;
            for (uint32_t c : own)
                bytes.insert(bytes.end(), {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)});
            Magick::Image palette;
            palette.read(own.size(), 1, "RGB", Magick::CharPixel, bytes.data());
            image.map(palette, false);
            Progress("scaled colours mapped back to the picture's own (" +
                     std::to_string(own.size()) + ")");
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
    WriteWhole(opt.output, resource);

    double psnr = Psnr(fitted, final);
    std::printf("picture: %zu x %zu\n", width, height);
    std::printf("colours: %zu\n", colours.size());
    std::printf("stream: %zu bytes\n", stats.bytes - 4);
    std::printf("resource: %zu bytes\n", resource.size());
    if (std::isinf(psnr))
        std::printf("psnr: exact\n");
    else
        std::printf("psnr: %.2f dB\n", psnr);
}

bool ParseArgs(int argc, char **argv, Options *opt, bool *help) {
    std::vector<const char *> files;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--help") {
            *help = true;
        } else if (a == "--keep-size") {
            opt->keepSize = true;
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
    return true;
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
        std::fprintf(stderr, "%s: %s\n", opt.input, Reason(e).c_str());
        status = 1;
    } catch (const std::bad_alloc &) {
        std::fprintf(stderr, "%s: not enough memory\n", opt.input);
        status = 1;
    }
    Magick::TerminateMagick();
    return status;
}
