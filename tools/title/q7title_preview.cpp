#include "q7title_preview.h"
#include "q7title_messages.h"

#include <Magick++.h>

#include <cmath>
#include <cstring>
#include <string>
#include <unistd.h>

namespace q7title {

namespace {

const char kLabelFont[] = "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf";

// The classic raised push button: a face with a light top and left, a dark
// shadow under a grey one at the bottom and right.
void DrawButton(std::vector<uint8_t> &shot, const MainButton &b) {
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
void DrawLabel(Magick::Image &image, const MainButton &b) {
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

} // namespace

std::vector<uint8_t> Preview(const std::vector<uint8_t> &rgb, size_t width, size_t height) {
    const size_t left = (width - kWindowWidth) / 2;
    // The launcher halves the margin counting rows from the bottom.
    const size_t top = height - kWindowHeight - (height - kWindowHeight) / 2;
    std::vector<uint8_t> shot(kWindowWidth * kWindowHeight * 3);
    for (size_t y = 0; y < kWindowHeight; ++y)
        std::memcpy(&shot[3 * y * kWindowWidth], &rgb[3 * ((top + y) * width + left)],
                    3 * kWindowWidth);
    for (const MainButton &b : kMainButtons)
        DrawButton(shot, b);
    Magick::Image image;
    image.read(kWindowWidth, kWindowHeight, "RGB", Magick::CharPixel, shot.data());
    if (access(kLabelFont, R_OK) == 0) {
        image.font(kLabelFont);
        image.fontPointsize(14);
        image.fillColor(Magick::Color("black"));
        image.strokeColor(Magick::Color());
        for (const MainButton &b : kMainButtons)
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

} // namespace q7title
