// Program-wide state, filled by start-up and read by the main window and the
// installer, and the two window helpers both of them use.
#pragma once
#include <windows.h>

// The dialog procedures are exported under their own, undecorated names
// (DlgMainProc, DlgSelectProc, DlgInstallProc), as the program has always
// shown them to the outside; the product checks look for them there.
#define Q7_EXPORT extern "C" __declspec(dllexport)

extern HINSTANCE g_hInstance;
extern char g_szCaption[82];
extern char g_szDefaultPath[MAX_PATH];
extern char g_szSourceDir[MAX_PATH];
extern RECT g_rcDesktop;

// Moves a window so that it is centred on the desktop rectangle taken at
// start-up. The installer's dialogs count one pixel more in each extent
// (extraPixels 1) than the main window does (0).
void CentreOnDesktop(HWND hWnd, int extraPixels);

// An information message owned by hOwner, titled with the caption string.
void ShowInfo(HWND hOwner, const char *text);
