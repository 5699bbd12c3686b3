// Replacing output files safely: each written whole beside its target, then
// all renamed over their targets, so that OUTPUT and the preview are both
// written or neither is, and only a regular file (or none) is replaced.
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

// Writes `data` beside `path`; returns the name written ("PATH.XXXXXX"),
// for PutInPlace.
std::string WriteBeside(const char *path, const std::vector<uint8_t> &data);

// Whether `other` names the file that `path` becomes, through whatever path
// (a folder mounted twice, a linked folder, a file system blind to case),
// told by `temp`, what WriteBeside wrote for `path`: the same file is then
// found at `other` with temp's suffix. Two outputs yet to be written have no
// device and inode to compare; their temporary files do.
bool BecomesOneFile(const std::string &temp, const char *path, const char *other);

// A file WriteBeside wrote and the path it is to replace.
struct Placement {
    std::string temp;
    const char *path;
};

// Renames each temp onto its path, all or none: when one rename fails, the
// paths already renamed onto get back what they held (nothing, or their
// earlier file, kept under a second name until the last rename is done).
// Every temp is removed on failure.
void PutInPlace(const std::vector<Placement> &files);

} // namespace q7title
