#include "q7title_output.h"
#include "q7title_messages.h"

#include <cerrno>
#include <cstdio>
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
