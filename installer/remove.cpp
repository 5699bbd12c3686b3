// Removal of installed files: every plain file directly inside the install
// directory, then the directory itself. Not recursive, and silent.
#include "installer.h"
#include "install_rules.h"

void RemoveInstallDir(void) {
    // The record may have been edited, restored or written by another
    // version: it is judged by the directory the platform resolves it to, so
    // that no spelling of a root ("C:\.", "C:\Q7\..") empties one. The work
    // is then done on that resolved path, the one that was judged.
    char dir[MAX_PATH];
    LPSTR filePart;
    DWORD len = GetFullPathNameA(g_szInstallDir, sizeof dir, dir, &filePart);
    if (!FullPathFits(len, sizeof dir) || !RemovalTargetAllowed(g_szInstallDir, dir))
        return;
    if (RemoveDirectoryA(dir))
        return;

    char path[MAX_PATH];
    if (BuildSearchPattern(path, sizeof path, dir)) {
        WIN32_FIND_DATAA fd;
        HANDLE hFind = FindFirstFileA(path, &fd);
        if (hFind != INVALID_HANDLE_VALUE) {
            do {
                // "." , ".." and subdirectories fail to delete and stay;
                // an entry whose path does not fit is skipped.
                if (JoinPath(path, sizeof path, dir, fd.cFileName))
                    DeleteFileA(path);
            } while (FindNextFileA(hFind, &fd));
            FindClose(hFind);
        }
    }
    RemoveDirectoryA(dir);
}
