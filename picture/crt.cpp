// The few memory routines of the C runtime that Q7.EXE does without: the
// compiler may emit calls to them (structure initialisation and copies),
// and the picture library calls memcpy itself. They sit here, at the
// bottom of the program, so that every folder that links to them lies
// above them. Built, like all product code, with loop-pattern
// recognition off, or the compiler would turn these loops back into calls to
// themselves.
#include <cstddef>

extern "C" {

void *memset(void *dst, int value, size_t n) {
    unsigned char *d = static_cast<unsigned char *>(dst);
    while (n-- != 0)
        *d++ = static_cast<unsigned char>(value);
    return dst;
}

void *memcpy(void *dst, const void *src, size_t n) {
    unsigned char *d = static_cast<unsigned char *>(dst);
    const unsigned char *s = static_cast<const unsigned char *>(src);
    while (n-- != 0)
        *d++ = *s++;
    return dst;
}

void *memmove(void *dst, const void *src, size_t n) {
    unsigned char *d = static_cast<unsigned char *>(dst);
    const unsigned char *s = static_cast<const unsigned char *>(src);
    if (d < s) {
        while (n-- != 0)
            *d++ = *s++;
    } else {
        while (n-- != 0)
            d[n] = s[n];
    }
    return dst;
}

int memcmp(const void *a, const void *b, size_t n) {
    const unsigned char *x = static_cast<const unsigned char *>(a);
    const unsigned char *y = static_cast<const unsigned char *>(b);
    for (size_t i = 0; i < n; ++i) {
        if (x[i] != y[i])
            return x[i] < y[i] ? -1 : 1;
    }
    return 0;
}
}
