// Bounded string helpers for fixed path buffers. The product has no C
// runtime, so these stand in for the few library routines it needs; every
// one refuses rather than writes past the buffer it is given.
#pragma once
#include <cstddef>

size_t StrLen(const char *s);

// Copies src into dst (capacity cap, terminator included). On overflow dst
// is left unchanged and false is returned.
bool StrCopy(char *dst, size_t cap, const char *src);

// Appends src to the zero-terminated dst. All or nothing: when the result
// would not fit in cap bytes, dst is left unchanged and false is returned.
bool StrAppend(char *dst, size_t cap, const char *src);

// dst = a + b + c, all or nothing (any of them may be empty).
bool StrJoin3(char *dst, size_t cap, const char *a, const char *b, const char *c);

// Byte-exact comparison, as the registry value name test needs.
bool StrEqual(const char *a, const char *b);
