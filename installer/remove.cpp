// Removal of installed files, then of the install directory itself. Not
// recursive, and silent: subdirectories, and files that cannot be deleted,
// stay, and with them the directory.
#include "installer.h"
#include "install_rules.h"

static bool IsAnsiLeadByte(unsigned char c) {
    return IsDBCSLeadByte(c) != FALSE;
}

// Every plain file directly inside dir. "." , ".." and subdirectories fail
// to delete and stay; an entry whose path does not fit is skipped.
static void DeleteEveryFile(const char *dir) {
    char path[MAX_PATH];
    if (!BuildSearchPattern(path, sizeof path, dir))
        return;
    WIN32_FIND_DATAA fd;
    HANDLE hFind = FindFirstFileA(path, &fd);
    if (hFind == INVALID_HANDLE_VALUE)
        return;
    do {
        if (JoinPath(path, sizeof path, dir, fd.cFileName))
            DeleteFileA(path);
    } while (FindNextFileA(hFind, &fd));
    FindClose(hFind);
}

// The source directory is the current one. A player may start the copy of
// Q7.EXE that the install put into the install directory: the source is then
// the install directory, whose files are the player's as much as the disc's.
// Judged on the resolved paths, as the root refusal judges the record, so
// that no other spelling of the same directory passes for a different one; a
// current directory that cannot be resolved cannot be told apart from it.
static bool RunsFromInstallDir(const char *dir) {
    char source[MAX_PATH];
    LPSTR filePart;
    DWORD len = GetFullPathNameA(".", sizeof source, source, &filePart);
    return !FullPathFits(len, sizeof source) || SameDirectoryPath(source, dir, IsAnsiLeadByte);
}

// Deletes from dir the files named like the source directory's qualifying
// files, the names the copy gave them; the file system matches the names as
// it did when the copy created them. False, with nothing deleted, when the
// set cannot be known: the launcher runs from dir, or the source directory
// (a disc that cannot be read) cannot be listed.
static bool DeleteInstallSet(const char *dir) {
    if (RunsFromInstallDir(dir))
        return false;
    WIN32_FIND_DATAA fd;
    HANDLE hFind = FindFirstFileA("*.*", &fd);
    if (hFind == INVALID_HANDLE_VALUE)
        return false;
    char path[MAX_PATH];
    do {
        if (FileQualifies(fd.dwFileAttributes) && JoinPath(path, sizeof path, dir, fd.cFileName))
            DeleteFileA(path);
    } while (FindNextFileA(hFind, &fd));
    FindClose(hFind);
    return true;
}

void RemoveInstallDir(RemovalKind kind) {
    // The record may have been edited, restored or written by another
    // version: it is judged by the directory the platform resolves it to, so
    // that no spelling of a root ("C:\.", "C:\Q7\..") empties one. The work
    // is then done on that resolved path, the one that was judged.
    char dir[MAX_PATH];
    LPSTR filePart;
    DWORD len = GetFullPathNameA(g_szInstallDir, sizeof dir, dir, &filePart);
    if (!FullPathFits(len, sizeof dir) || !RemovalTargetAllowed(g_szInstallDir, dir))
        return;
    if (kind == kTakeBackCopy) {
        if (RemoveDirectoryA(dir))
            return;
        DeleteEveryFile(dir);
    } else if (!DeleteInstallSet(dir)) {
        return;
    }
    // Succeeds only when nothing is left.
    RemoveDirectoryA(dir);
}
