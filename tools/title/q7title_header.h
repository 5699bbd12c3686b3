// What a picture's bytes say before any decoder sees them: its format, the
// size its header gives, a PNG's colour chunks, a GIF's frames, and whether
// an uncompressed BMP holds every row it promises. Plain byte reading that
// never reads past the data, whatever the data.
#pragma once
#include <cstddef>
#include <string>

namespace q7title {

// "PNG", "GIF", "JPEG" or "BMP" by the file's magic bytes, or null: only
// the four formats the publisher is promised are handed to ImageMagick, and
// by name, so nothing in the file or its name can pick another coder.
const char *SniffFormat(const std::string &data);

// The size the header of a picture in `format` (as SniffFormat names it)
// gives: a PNG's IHDR, a BMP's (an OS/2 header's 16-bit sizes, or a
// negative, top-down height as its magnitude), a GIF's first frame (which
// may be larger than its screen; the screen when no frame descriptor is
// found), a JPEG's first frame header. 0 x 0 when the header is cut short.
void StoredSize(const std::string &d, const char *format, size_t *w, size_t *h);

// What a PNG says of its colours before its pixels: a gamma (gAMA), and
// whether an sRGB chunk or a colour profile (iCCP) overrides it.
struct PngColour {
    double gamma = 0; // 0: no gAMA
    bool srgb = false, profile = false;
};
PngColour PngChunks(const std::string &d);

// The number of frames in a GIF: its image descriptors, the blocks between
// them skipped; stops where the file is cut or damaged.
size_t GifFrames(const std::string &d);

// Throws a Failure for `path` when an uncompressed BMP of w x h (its
// StoredSize, within the limits Load checks first) ends before its last row.
void CheckBmpPixels(const char *path, const std::string &d, size_t w, size_t h);

} // namespace q7title
