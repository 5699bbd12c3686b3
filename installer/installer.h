// The installer's program-wide state and entry points.
#pragma once
#include <windows.h>
#include "../common/program.h"

// The in-memory form of the install record: the flag, and the directory that
// is meaningful while the flag is set (or while an install fills it in).
extern BOOL g_bInstalled;
extern char g_szInstallDir[MAX_PATH];

void ReadInstallRecord(void);
void WriteInstallRecord(void);
void DeleteInstallRecord(void);

// The flows behind the main window's middle button. Each returns 1 exactly
// when the install state changed.
int RunInstall(HWND hOwner);
int RunUninstall(HWND hOwner);

// Byte total of every entry of the source directory, measured by the
// destination dialog each time it starts and read by the progress bar. Kept
// in 64 bits so that a set of 4 GB or more is never taken for a small one.
extern ULONGLONG g_qwInstallSetSize;

// The destination dialog (DLG_SELECT) and the copy dialog (DLG_INST). Each
// ends with 1 on success, 0 on cancel or failure.
Q7_EXPORT INT_PTR CALLBACK DlgSelectProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam);
Q7_EXPORT INT_PTR CALLBACK DlgInstallProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam);

// What the removal deletes from the install directory before it tries to
// remove it; silent on every path.
enum RemovalKind {
    // Taking back a copy that failed or was cancelled: the directory was
    // created by this install, so every plain file in it is the copy's. Works
    // without the disc, which may be gone by then.
    kTakeBackCopy,
    // An uninstall: only the files named like the install set (the source
    // directory's qualifying files). Everything else there is the player's
    // or the game's own, and keeps the directory. Deletes nothing where the
    // set cannot be known.
    kUninstallSet
};
// False exactly when an uninstall deleted nothing because it could not tell
// the install set from the player's files (it runs from the install
// directory, cannot tell whether it does, or cannot list the disc): the
// install is still there and must stay recorded. True on every other path,
// also where a recorded directory is refused or already gone.
bool RemoveInstallDir(RemovalKind kind);
