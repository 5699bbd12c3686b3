#include "q7title_output.h"
#include "q7title_messages.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace q7title {

void CheckReplaceable(const char *path) {
    struct stat st;
    if (lstat(path, &st) != 0 || S_ISREG(st.st_mode))
        return; // absent, or a path whose writing will say what is wrong
    const char *what = S_ISDIR(st.st_mode)                          ? "a folder"
                       : S_ISLNK(st.st_mode)                        ? "a symbolic link"
                       : S_ISFIFO(st.st_mode)                       ? "a FIFO"
                       : S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) ? "a device"
                                                                    : "a socket";
    throw Failure{path, std::string("cannot write: it is ") + what +
                            ", not a regular file; left as it is"};
}

namespace {

std::string Identity(const char *path) {
    struct stat st;
    if (stat(path, &st) == 0)
        return "file " + std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
    std::string p(path);
    size_t slash = p.rfind('/');
    std::string folder = slash == std::string::npos ? "." : p.substr(0, slash == 0 ? 1 : slash);
    std::string name = slash == std::string::npos ? p : p.substr(slash + 1);
    char *real = realpath(folder.c_str(), nullptr);
    if (real == nullptr)
        return "new " + p; // no such folder: the writing will say so
    std::string id = std::string("new ") + real + "/" + name;
    std::free(real);
    return id;
}

} // namespace

bool SameFile(const char *a, const char *b) {
    return Identity(a) == Identity(b);
}

std::string WriteBeside(const char *path, const std::vector<uint8_t> &data) {
    std::string temp = std::string(path) + ".XXXXXX";
    int fd = mkstemp(&temp[0]);
    if (fd < 0)
        throw Failure{path, std::string("cannot write: ") + std::strerror(errno)};
    mode_t mask = umask(0);
    umask(mask);
    bool ok = fchmod(fd, 0666 & ~mask) == 0;
    size_t done = 0;
    while (ok && done < data.size()) {
        ssize_t n = write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        if (ok)
            done += static_cast<size_t>(n);
    }
    ok = ok && fsync(fd) == 0;
    int err = errno;
    ok = close(fd) == 0 && ok;
    if (!ok) {
        unlink(temp.c_str());
        throw Failure{path, std::string("cannot write: ") + std::strerror(err)};
    }
    return temp;
}

void PutInPlace(const std::string &temp, const char *path) {
    try {
        CheckReplaceable(path);
    } catch (const Failure &) {
        unlink(temp.c_str());
        throw;
    }
    if (std::rename(temp.c_str(), path) != 0) {
        int err = errno;
        unlink(temp.c_str());
        throw Failure{path, std::string("cannot write: ") + std::strerror(err)};
    }
}

} // namespace q7title
