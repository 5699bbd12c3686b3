// Removal of the installed files: every plain file directly inside the
// install directory, then the directory itself. Not recursive, and silent.
#include "installer.h"
#include "install_rules.h"

void RemoveInstallDir(void) {
    // An empty record would aim the search at the current drive's root.
    if (!RemovalTargetAllowed(g_szInstallDir))
        return;
    if (RemoveDirectoryA(g_szInstallDir))
        return;

    char path[MAX_PATH];
    if (BuildSearchPattern(path, sizeof path, g_szInstallDir)) {
        WIN32_FIND_DATAA fd;
        HANDLE hFind = FindFirstFileA(path, &fd);
        if (hFind != INVALID_HANDLE_VALUE) {
            do {
                // "." , ".." and subdirectories fail to delete and stay;
                // an entry whose path does not fit is skipped.
                if (JoinPath(path, sizeof path, g_szInstallDir, fd.cFileName))
                    DeleteFileA(path);
            } while (FindNextFileA(hFind, &fd));
            FindClose(hFind);
        }
    }
    RemoveDirectoryA(g_szInstallDir);
}
