// Start-up and main-window rules, free of Win32 calls so that the native
// tests reach them.
#pragma once
#include <cstddef>
#include <cstdint>

// GetVersion's low byte is the major version, the next byte the minor one;
// the high word (platform bits, build) is not looked at. 3.51 is the oldest
// Windows the launcher runs on.
bool VersionAdmitted(uint32_t version);

// Source origin of the picture copied 1:1 into a client area, centred and
// cropped: (picture - client) / 2, truncating toward zero.
int32_t PictureSourceOrigin(int32_t pictureExtent, int32_t clientExtent);

// The engine's path: "<installDir>\KBZ.EXE" when installed (the suffix is
// appended whole even after a trailing backslash), else "KBZ.EXE". False when
// it does not fit in cap bytes.
bool BuildEnginePath(char *out, size_t cap, bool installed, const char *installDir);

// The text shown when the engine could not be started: the path followed
// by the "is not there" words when installed, else the fixed text.
bool BuildEngineMissingText(char *out, size_t cap, bool installed, const char *enginePath);
