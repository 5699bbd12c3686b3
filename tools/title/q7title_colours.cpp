#include "q7title_colours.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <sys/types.h>

namespace q7title {

namespace {

uint32_t Distance(uint32_t a, uint32_t b) {
    uint32_t sum = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        int d = int(a >> shift & 255) - int(b >> shift & 255);
        sum += static_cast<uint32_t>(d * d);
    }
    return sum;
}

} // namespace

std::vector<uint8_t> Rgb(Magick::Image &image) {
    std::vector<uint8_t> rgb(image.columns() * image.rows() * 3);
    image.write(0, 0, image.columns(), image.rows(), "RGB", Magick::CharPixel, rgb.data());
    return rgb;
}

uint32_t ColourAt(const std::vector<uint8_t> &rgb, size_t i) {
    return static_cast<uint32_t>(rgb[3 * i]) << 16 | static_cast<uint32_t>(rgb[3 * i + 1]) << 8 |
           rgb[3 * i + 2];
}

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

void MapTo(Magick::Image &image, const std::vector<uint32_t> &palette) {
    std::vector<uint8_t> bytes;
    for (uint32_t c : palette)
        bytes.insert(bytes.end(), {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)});
    Magick::Image colours;
    colours.read(palette.size(), 1, "RGB", Magick::CharPixel, bytes.data());
    image.map(colours, false);
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

} // namespace q7title
