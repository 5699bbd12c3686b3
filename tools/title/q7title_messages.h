// How the title picture converter speaks: a failure names the file it
// concerns and ends the run; progress goes to stderr as it happens.
#pragma once
#include <cstddef>
#include <cstdio>
#include <string>

namespace q7title {

// A failure that names the file it concerns.
struct Failure {
    std::string file, what;
};

inline void Progress(const std::string &text) {
    std::fprintf(stderr, "q7title: %s\n", text.c_str());
}

// A size as every message gives it: "580 x 440".
inline std::string Size(size_t w, size_t h) {
    return std::to_string(w) + " x " + std::to_string(h);
}

} // namespace q7title
