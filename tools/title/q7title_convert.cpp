#include "q7title_convert.h"
#include "backcg.h"
#include "backcg_encode.h"
#include "colrle_encode.h"
#include "q7title_colours.h"
#include "q7title_load.h"
#include "q7title_messages.h"
#include "q7title_output.h"
#include "q7title_preview.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

namespace q7title {

namespace {

// A kept size becomes the launcher's picture as it is.
const size_t kMaxKeptSide = 8192;

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

} // namespace

void Convert(const Options &opt) {
    CheckReplaceable(opt.output);
    if (opt.preview != nullptr)
        CheckReplaceable(opt.preview);
    size_t width = kTitleWidth, height = kTitleHeight;
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
        if (palette.size() > kTitleMaxColours) {
            palette = Merge(own, kTitleMaxColours);
            Progress("merged the " + std::to_string(own.colours.size() - kTitleMaxColours) +
                     " colours that would move the fewest pixels the least into their nearest");
        }
        if (scaled || palette.size() < own.colours.size()) {
            MapTo(image, palette);
            Progress("colours mapped to the picture's own (" + std::to_string(palette.size()) +
                     ")");
        }
    } else {
        Progress(std::string("reducing to ") + std::to_string(kTitleMaxColours) +
                 " colours, dithering: " + opt.ditherName);
        image.quantizeColors(kTitleMaxColours);
        image.quantizeColorSpace(Magick::sRGBColorspace);
        image.quantizeDither(opt.dither != Magick::NoDitherMethod);
        image.quantizeDitherMethod(opt.dither);
        image.quantize();
    }
    std::vector<uint8_t> final = Rgb(image);
    std::vector<uint32_t> colours = Colours(final, kTitleMaxColours);
    if (colours.size() > kTitleMaxColours)
        throw Failure{opt.input, "more than " + std::to_string(kTitleMaxColours) +
                                     " colours remain after reducing them"};

    uint8_t table[kColourTableSize] = {};
    for (size_t k = 0; k < colours.size(); ++k) {
        uint8_t *e = table + 3 * (kTitleFirstIndex + k);
        e[0] = uint8_t(colours[k]);
        e[1] = uint8_t(colours[k] >> 8);
        e[2] = uint8_t(colours[k] >> 16);
    }
    std::vector<uint8_t> pixels(width * height);
    for (size_t i = 0; i < pixels.size(); ++i) {
        size_t k =
            std::lower_bound(colours.begin(), colours.end(), ColourAt(final, i)) - colours.begin();
        pixels[i] = static_cast<uint8_t>(kTitleFirstIndex + k);
    }

    Progress("encoding");
    ColumnRleStats stats;
    std::vector<uint8_t> resource = BuildBackgroundResource(
        table, pixels.data(), static_cast<uint32_t>(width), static_cast<uint32_t>(height), &stats);
    if (resource.empty())
        throw Failure{opt.input, "cannot encode a picture of " + Size(width, height)};

    // Both written beside their targets before either is put in place, and
    // put in place together or not at all.
    std::vector<Placement> files = {{WriteBeside(opt.output, resource), opt.output}};
    try {
        if (opt.preview != nullptr) {
            Progress("drawing the preview");
            files.push_back({WriteBeside(opt.preview, Preview(final, width, height)), opt.preview});
            // Paths yet to be written can name one file through another
            // path (a folder mounted twice); their temporary files tell.
            if (BecomesOneFile(files[0].temp, opt.output, opt.preview))
                throw Failure{opt.preview, "is OUTPUT.bin " + std::string(opt.output) +
                                               " through another path: writing one would "
                                               "replace the other; name another file "
                                               "(nothing written)"};
        }
    } catch (...) {
        for (const Placement &f : files)
            unlink(f.temp.c_str());
        throw;
    }
    PutInPlace(files);

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

} // namespace q7title
