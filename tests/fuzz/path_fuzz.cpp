// The installer's path rules on arbitrary bytes: the directory chain ends
// every prefix on a character boundary and terminates, and no composition
// ever writes past its buffer (ASan watches the exact-size buffers).
#include "install_rules.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {
bool Cp932Lead(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// True when the first n bytes of s end on a whole character in code page 932.
bool EndsOnCharacter(const char *s, size_t n) {
    size_t i = 0;
    while (i < n)
        i += Cp932Lead(static_cast<unsigned char>(s[i])) ? 2 : 1;
    return i == n;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 600)
        return 0;
    // Split the input at its first zero byte: a directory and a file name.
    std::vector<char> dir(data, data + size);
    dir.push_back('\0');
    size_t len = std::strlen(dir.data());
    const char *name = dir.data() + (len < size ? len + 1 : len);

    size_t steps = 0;
    for (size_t i = FindPathSeparator(dir.data(), 3, Cp932Lead); dir[i] != '\0';
         i = FindPathSeparator(dir.data(), i + 1, Cp932Lead)) {
        if (i > len || dir[i] != '\\' || i < 3 || !EndsOnCharacter(dir.data(), i) || ++steps > len)
            std::abort();
        std::vector<char> prefix(260);
        if (CopyPathPrefix(prefix.data(), prefix.size(), dir.data(), i) &&
            (std::strlen(prefix.data()) != i || std::memcmp(prefix.data(), dir.data(), i) != 0))
            std::abort();
    }

    std::vector<char> path(260);
    if (JoinPath(path.data(), path.size(), dir.data(), name) &&
        std::strlen(path.data()) != len + 1 + std::strlen(name))
        std::abort();
    if (BuildSearchPattern(path.data(), path.size(), dir.data()) &&
        std::strlen(path.data()) != len + 4)
        std::abort();
    // The name stands in for the full path: a root ("X:\" and separators)
    // never passes, nor does a record that is not "X:\...".
    if (RemovalTargetAllowed(dir.data(), name) &&
        (len < 3 || std::strlen(name) < 4 || std::strspn(name + 3, "\\/") == std::strlen(name + 3)))
        std::abort();
    return 0;
}
