#include "q7title_load.h"
#include "q7title_header.h"
#include "q7title_messages.h"

#include <lcms2.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <sys/types.h>

namespace q7title {

namespace {

// The file is read whole: room for a BMP of 56 megapixels at 32 bits a
// pixel (224 MB).
const long kMaxFileBytes = 256L * 1024 * 1024;

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

} // namespace

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

} // namespace q7title
