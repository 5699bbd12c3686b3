// Reading a publisher's picture as a viewer shows it: the first frame of an
// animation, turned as its EXIF orientation says, without the page offset a
// crop or a GIF frame carries, a PNG's gamma applied, converted to sRGB from
// a colour profile that names another space, transparent parts black.
// Pictures beyond the limits are refused by their header, before any
// decoder runs; ImageMagick's failures become messages about the file.
#pragma once
#include <Magick++.h>

#include <cstddef>
#include <string>
#include <vector>

namespace q7title {

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

// Reads the picture at `path`: its pixels as a viewer shows them, in sRGB
// without transparency. `width` x `height` is what the window needs of it
// (0 x 0: all of it), so that a large JPEG is decoded scaled down. Lines for
// the report (an animation, a gamma) are added to `report`. Throws a
// Failure that names the file and what is wrong with it.
Magick::Image Load(const char *path, size_t width, size_t height, std::vector<std::string> *report);

// ImageMagick's reason without the source location it appends.
std::string Reason(const Magick::Exception &e);

// ImageMagick ran out of room for a picture within the limits: its disk
// cache could not be written (a full disk) or memory failed. A decoder
// reports this in its own words ("Memory allocation failed", "No image was
// loaded"), the cause in the exceptions nested under its own: returns the
// one that tells it, or null.
const Magick::Exception *OutOfRoom(const Magick::Exception &e);

} // namespace q7title
