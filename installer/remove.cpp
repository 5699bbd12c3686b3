// Removal of installed files, then of the install directory itself. Not
// recursive, and silent: subdirectories, and files that cannot be deleted,
// stay, and with them the directory.
#include "installer.h"
#include "install_rules.h"

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

// Where the launcher runs from, as the file system tells it.
enum SourcePlace { kSourceElsewhere, kSourceIsInstallDir, kSourceUnknown };

// The source directory is the current one. A player may start the copy of
// Q7.EXE that the install put into the install directory, through any of
// that directory's spellings (its short name, another drive letter mapped to
// it, a share): the source is then the install directory, whose files are
// the player's as much as the disc's. No comparison of spellings knows them
// all, so the file system is asked: a new file of a unique name is made in
// dir, looked for by that name in the source directory, and deleted. Where
// it cannot be made (a directory that is read-only, full, or whose path
// leaves no room for the name), the answer is unknown.
static SourcePlace FindSource(const char *dir) {
    char probe[MAX_PATH];
    if (!GetTempFileNameA(dir, "Q7", 0, probe))
        return kSourceUnknown;
    // The name made after dir's separator is ASCII ("Q7" hex digits ".TMP"),
    // so the last backslash is that separator, never a double-byte
    // character's second byte.
    const char *name = probe + lstrlenA(probe);
    while (name > probe && name[-1] != '\\')
        --name;
    bool seen = GetFileAttributesA(name) != INVALID_FILE_ATTRIBUTES;
    DeleteFileA(probe);
    return seen ? kSourceIsInstallDir : kSourceElsewhere;
}

// Whether dir is gone: then it holds nothing of anyone's and there is
// nothing to tell apart.
static bool DirIsGone(const char *dir) {
    if (GetFileAttributesA(dir) != INVALID_FILE_ATTRIBUTES)
        return false;
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// Deletes from dir the files named like the source directory's qualifying
// files, the names the copy gave them; the file system matches the names as
// it did when the copy created them. False, with nothing deleted, when the
// set cannot be known: the launcher runs from dir, or cannot tell whether it
// does, or the source directory (a disc that cannot be read) cannot be
// listed.
static bool DeleteInstallSet(const char *dir) {
    if (DirIsGone(dir))
        return true;
    if (FindSource(dir) != kSourceElsewhere)
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

bool RemoveInstallDir(RemovalKind kind) {
    // The record may have been edited, restored or written by another
    // version: it is judged by the directory the platform resolves it to, so
    // that no spelling of a root ("C:\.", "C:\Q7\..") empties one. The work
    // is then done on that resolved path, the one that was judged. A record
    // refused here could never be worked from anywhere, so it may go.
    char dir[MAX_PATH];
    LPSTR filePart;
    DWORD len = GetFullPathNameA(g_szInstallDir, sizeof dir, dir, &filePart);
    if (!FullPathFits(len, sizeof dir) || !RemovalTargetAllowed(g_szInstallDir, dir))
        return true;
    if (kind == kTakeBackCopy) {
        if (RemoveDirectoryA(dir))
            return true;
        DeleteEveryFile(dir);
    } else if (!DeleteInstallSet(dir)) {
        return false;
    }
    // Succeeds only when nothing is left.
    RemoveDirectoryA(dir);
    return true;
}
