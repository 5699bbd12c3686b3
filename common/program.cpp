// The program-wide state and the window helpers shared by the launcher and
// the installer.
#include "program.h"
#include "centring.h"

HINSTANCE g_hInstance;
char g_szCaption[82];
char g_szDefaultPath[MAX_PATH];
char g_szSourceDir[MAX_PATH];
RECT g_rcDesktop;

void CentreOnDesktop(HWND hWnd, int extraPixels) {
    RECT rc;
    GetWindowRect(hWnd, &rc);
    int x = CentreOrigin(g_rcDesktop.right, rc.right - rc.left + extraPixels);
    int y = CentreOrigin(g_rcDesktop.bottom, rc.bottom - rc.top + extraPixels);
    SetWindowPos(hWnd, NULL, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

void ShowInfo(HWND hOwner, const char *text) {
    MessageBoxA(hOwner, text, g_szCaption, MB_OK | MB_ICONINFORMATION);
}
