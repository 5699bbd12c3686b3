// q7title: turns a publisher's picture (PNG, BMP, JPEG or GIF) into the
// launcher's BACKCG resource. Native tool only; never part of Q7.EXE.
//
// Reading, scaling, colour conversion and the quantising of photographs are
// ImageMagick's (with Little CMS). This file is the command line; the rest
// of the converter lies in one file a job:
//   q7title_convert   the conversion's steps and its report
//   q7title_load      reading a picture as a viewer shows it, within limits
//   q7title_header    what a picture's header says, before any decoder
//   q7title_colours   counting, merging and mapping colours
//   q7title_preview   the preview of the window
//   q7title_output    replacing an output file safely
//   backcg_encode     the BACKCG resource's layout
#include "q7title_convert.h"
#include "q7title_load.h"
#include "q7title_messages.h"
#include "q7title_output.h"

#include <Magick++.h>

#include <cstdio>
#include <new>
#include <string>
#include <vector>

using namespace q7title;

namespace {

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
                     "stderr. OUTPUT.bin and the preview are written whole, both or neither:\n"
                     "when either cannot be, both keep what they held. An OUTPUT that exists\n"
                     "must be a regular file.\n";

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
    return true;
}

// OUTPUT and the preview are renamed into place: neither may be the picture
// or the other. Says so and returns false when two of them are one file.
bool DistinctFiles(const Options &opt) {
    const char *labels[] = {"IMAGE", "OUTPUT.bin", "--preview"};
    const char *paths[] = {opt.input, opt.output, opt.preview};
    for (int i = 0; i < 3; ++i)
        for (int j = i + 1; j < 3; ++j)
            if (paths[i] != nullptr && paths[j] != nullptr && SameFile(paths[i], paths[j])) {
                std::fprintf(stderr,
                             "q7title: %s %s and %s %s are one file: writing one would replace "
                             "the other; name another file (nothing written)\n",
                             labels[i], paths[i], labels[j], paths[j]);
                return false;
            }
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
    if (!DistinctFiles(opt))
        return 2;
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
