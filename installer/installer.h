// The installer's program-wide state and entry points.
#pragma once
#include <windows.h>

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
