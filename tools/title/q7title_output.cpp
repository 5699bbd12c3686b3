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

bool BecomesOneFile(const std::string &temp, const char *path, const char *other) {
    std::string probe = std::string(other) + temp.substr(std::strlen(path));
    struct stat a, b;
    return stat(temp.c_str(), &a) == 0 && stat(probe.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
}

void PutInPlace(const std::vector<Placement> &files) {
    // What each path renamed onto held before: its earlier file's second
    // name, or "" for none.
    std::vector<std::string> kept;
    auto fail = [&](size_t done, const Failure &f) {
        for (size_t i = done; i-- > 0;) {
            if (kept[i].empty())
                unlink(files[i].path);
            else
                std::rename(kept[i].c_str(), files[i].path);
        }
        for (const Placement &p : files)
            unlink(p.temp.c_str());
        throw f;
    };
    for (size_t i = 0; i < files.size(); ++i) {
        const char *path = files[i].path;
        try {
            CheckReplaceable(path);
        } catch (const Failure &f) {
            fail(i, f);
        }
        std::string second;
        bool aside = false;
        int err = 0;
        // The last rename needs nothing to give back.
        if (i + 1 < files.size() && access(path, F_OK) == 0) {
            second = files[i].temp + ".was";
            if (link(path, second.c_str()) != 0) {
                // No second links here: the earlier file moves aside instead.
                aside = std::rename(path, second.c_str()) == 0;
                if (!aside) {
                    err = errno;
                    second.clear();
                }
            }
        }
        if (err == 0 && std::rename(files[i].temp.c_str(), path) != 0) {
            err = errno;
            if (aside)
                std::rename(second.c_str(), path);
            else if (!second.empty())
                unlink(second.c_str());
        }
        if (err != 0)
            fail(i, Failure{path, std::string("cannot write: ") + std::strerror(err)});
        kept.push_back(second);
    }
    for (const std::string &k : kept)
        if (!k.empty())
            unlink(k.c_str());
}

} // namespace q7title
