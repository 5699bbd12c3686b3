// The conversion itself: a picture in, the BACKCG resource (and the preview)
// out, and the report on stdout.
#pragma once
#include <Magick++.h>

namespace q7title {

struct Options {
    bool keepSize = false;
    const char *preview = nullptr;
    Magick::DitherMethod dither = Magick::NoDitherMethod;
    const char *ditherName = "none";
    const char *input = nullptr;
    const char *output = nullptr;
};

// Reads opt.input, fits it to the window (or keeps its size), brings its
// colours into the launcher's palette, writes opt.output and the preview,
// then prints the report. Throws a Failure that names the file at fault;
// nothing is written unless all of it succeeds.
void Convert(const Options &opt);

} // namespace q7title
