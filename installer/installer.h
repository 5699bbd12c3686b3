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

// Empties and removes the install directory; silent on every path.
void RemoveInstallDir(void);
