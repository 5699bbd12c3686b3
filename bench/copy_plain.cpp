// Baseline (a): the install set copied with one CopyFileA per qualifying
// file. Usage: copy_plain SOURCE-DIR DEST-DIR; prints the milliseconds taken.
#include <windows.h>
#include <cstdio>
#include <string>

int main(int argc, char **argv) {
    if (argc != 3)
        return 2;
    std::string src = argv[1], dst = argv[2];
    CreateDirectoryA(dst.c_str(), nullptr);
    LARGE_INTEGER f, t0, t1;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&t0);
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((src + "\\*.*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return 1;
    unsigned long long bytes = 0;
    do {
        if ((fd.dwFileAttributes & ~0xA1u) != 0)
            continue;
        if (!CopyFileA((src + "\\" + fd.cFileName).c_str(), (dst + "\\" + fd.cFileName).c_str(),
                       FALSE))
            return 1;
        bytes += (static_cast<unsigned long long>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    QueryPerformanceCounter(&t1);
    std::printf("%.1f ms %llu bytes\n", (t1.QuadPart - t0.QuadPart) * 1000.0 / f.QuadPart, bytes);
    return 0;
}
