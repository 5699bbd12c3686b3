// The picture's colours: counting them, merging the colours of a picture
// with a few too many, mapping pixels to a palette, and measuring how far
// the pixels moved.
#pragma once
#include <Magick++.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace q7title {

// Up to this many colours a picture is art: Merge takes its colours away one
// at a time, each into its nearest, only as many as must go; beyond, it is a
// photograph for ImageMagick's quantiser (which leaves art with far fewer
// than 236).
const size_t kMergeLimit = 1024;

// Top-down rows of red, green, blue bytes.
std::vector<uint8_t> Rgb(Magick::Image &image);

// The colour of pixel i of such rows as 0xRRGGBB.
uint32_t ColourAt(const std::vector<uint8_t> &rgb, size_t i);

// The distinct colours, sorted; of more than `limit`, only the first
// limit + 1, enough to tell that there are too many.
std::vector<uint32_t> Colours(const std::vector<uint8_t> &rgb, size_t limit);

// Distinct colours (0xRRGGBB), sorted, with the pixels of each.
struct Histogram {
    std::vector<uint32_t> colours;
    std::vector<uint64_t> counts;
};

// The colours of a picture of any size, counted a row at a time: a
// photograph is recognised within its first rows, without a copy of its
// pixels. Stops counting past `limit` colours and keeps limit + 1.
Histogram Count(Magick::Image &image, size_t limit);

// Merges colours until `keep` remain, one at a time: the one whose pixels
// move least (their count times the squared distance to the nearest colour
// left) goes into that nearest, whose pixels it joins. What is left are
// colours of the picture, exact.
std::vector<uint32_t> Merge(const Histogram &h, size_t keep);

// Gives every pixel the nearest of `palette`'s colours.
void MapTo(Magick::Image &image, const std::vector<uint32_t> &palette);

// The peak signal-to-noise ratio of b against a, in dB; infinite when they
// are the same.
double Psnr(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b);

} // namespace q7title
