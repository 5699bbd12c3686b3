#include "strutil.h"

size_t StrLen(const char *s) {
    size_t n = 0;
    while (s[n] != '\0')
        ++n;
    return n;
}

bool StrCopy(char *dst, size_t cap, const char *src) {
    size_t n = StrLen(src);
    if (n >= cap)
        return false;
    for (size_t i = 0; i <= n; ++i)
        dst[i] = src[i];
    return true;
}

bool StrAppend(char *dst, size_t cap, const char *src) {
    size_t used = StrLen(dst);
    if (used >= cap)
        return false;
    return StrCopy(dst + used, cap - used, src);
}

bool StrJoin3(char *dst, size_t cap, const char *a, const char *b, const char *c) {
    size_t na = StrLen(a), nb = StrLen(b), nc = StrLen(c);
    if (cap == 0 || na >= cap || nb >= cap - na || nc >= cap - na - nb)
        return false;
    char *p = dst;
    for (size_t i = 0; i < na; ++i)
        *p++ = a[i];
    for (size_t i = 0; i < nb; ++i)
        *p++ = b[i];
    for (size_t i = 0; i < nc; ++i)
        *p++ = c[i];
    *p = '\0';
    return true;
}

bool StrEqual(const char *a, const char *b) {
    while (*a != '\0' && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}
