// Replacing an output file safely: written whole beside it, then renamed
// over it, so OUTPUT and the preview are written whole or not at all, and
// only a regular file (or none) is ever replaced.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace q7title {

// OUTPUT and the preview replace only regular files: the rename that puts
// them in place would put a file where a device, a FIFO or a link was.
// Throws a Failure for `path` when it is anything else.
void CheckReplaceable(const char *path);

// Whether two paths name one file, however spelled (./t.png, a link, a hard
// link): the same device and inode for a file that exists, else the same
// resolved folder and name for one yet to be written. Writing one of two
// such outputs, or an output that is the picture, would replace the other.
bool SameFile(const char *a, const char *b);

// Writes `data` beside `path`; returns the name written, for PutInPlace.
std::string WriteBeside(const char *path, const std::vector<uint8_t> &data);

// Renames what WriteBeside wrote onto `path`; on failure removes it.
void PutInPlace(const std::string &temp, const char *path);

} // namespace q7title
