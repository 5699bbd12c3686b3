// The main window: background picture, Play, Install/Uninstall and Exit.
#include "launcher.h"
#include "rules.h"
#include "../common/texts.h"
#include "../installer/installer.h"
#include "background.h"
#include "../resources/resource.h"

// Room for the longest install directory the record can hold, the engine's
// name and the "is not there" words.
static const size_t kEngineTextSize = MAX_PATH + 32;

static void OnMainInitDialog(HWND hDlg) {
    if (g_bInstalled)
        SetDlgItemTextA(hDlg, ID_INSTALL, kLabelUninstall);
    SetWindowTextA(hDlg, g_szCaption);
    CentreOnDesktop(hDlg, 0);
}

static void OnMainPaint(HWND hDlg) {
    PAINTSTRUCT ps;
    HDC hdc = BeginPaint(hDlg, &ps);
    SelectPalette(hdc, g_hPicturePalette, FALSE);
    RealizePalette(hdc);
    RECT rc;
    GetClientRect(hDlg, &rc);
    const BITMAPINFOHEADER &bih = g_PictureInfo.bmiHeader;
    StretchDIBits(hdc, 0, 0, rc.right, rc.bottom, PictureSourceOrigin(bih.biWidth, rc.right),
                  PictureSourceOrigin(bih.biHeight, rc.bottom), rc.right, rc.bottom,
                  g_pPicturePixels, reinterpret_cast<const BITMAPINFO *>(&g_PictureInfo),
                  DIB_RGB_COLORS, SRCCOPY);
    EndPaint(hDlg, &ps);
}

static void OnMainPaletteChange(HWND hDlg) {
    HDC hdc = GetDC(hDlg);
    HPALETTE hOld = SelectPalette(hdc, g_hPicturePalette, FALSE);
    UINT changed = RealizePalette(hdc);
    SelectPalette(hdc, hOld, FALSE);
    ReleaseDC(hDlg, hdc);
    if (changed != 0)
        InvalidateRect(hDlg, NULL, TRUE);
}

static void OnPlay(HWND hDlg) {
    STARTUPINFOA si;
    PROCESS_INFORMATION pi;
    ZeroMemory(&si, sizeof si);
    ZeroMemory(&pi, sizeof pi);
    si.cb = sizeof si;

    // The path and the message are built in buffers of their own, large
    // enough for any recorded directory, never in the record's buffer.
    char path[kEngineTextSize];
    bool built = BuildEnginePath(path, sizeof path, g_bInstalled != FALSE, g_szInstallDir);
    if (!built || !CreateProcessA(path, const_cast<LPSTR>(kEngineCommandLine), NULL, NULL, FALSE, 0,
                                  NULL, NULL, &si, &pi)) {
        char text[kEngineTextSize + 16];
        if (!built || !BuildEngineMissingText(text, sizeof text, g_bInstalled != FALSE, path))
            BuildEngineMissingText(text, sizeof text, false, path);
        MessageBoxA(hDlg, text, g_szCaption, MB_OK);
    }
    EndDialog(hDlg, 0);
}

static void OnInstallOrUninstall(HWND hDlg) {
    if (g_bInstalled) {
        if (RunUninstall(hDlg) == 1) {
            SetDlgItemTextA(hDlg, ID_INSTALL, kLabelInstall);
            g_bInstalled = FALSE;
        }
    } else if (RunInstall(hDlg) == 1) {
        SetDlgItemTextA(hDlg, ID_INSTALL, kLabelUninstall);
        g_bInstalled = TRUE;
    }
}

static void OnMainCommand(HWND hDlg, WPARAM wParam) {
    // The whole word is compared: only clicks (notification 0) count, and the
    // Escape key's IDCANCEL does nothing.
    switch (wParam) {
    case ID_PLAY:
        OnPlay(hDlg);
        break;
    case ID_INSTALL:
        OnInstallOrUninstall(hDlg);
        break;
    case ID_EXIT:
        EndDialog(hDlg, 0);
        break;
    }
}

// Unlike the installer's dialogs, which return TRUE for what they handle, the
// main window returns FALSE for every message, handled or not: the dialog
// manager's default handling follows ours, and at WM_INITDIALOG it sets no
// focus of its own.
Q7_EXPORT INT_PTR CALLBACK DlgMainProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM) {
    switch (uMsg) {
    case WM_INITDIALOG:
        OnMainInitDialog(hDlg);
        break;
    case WM_PAINT:
        OnMainPaint(hDlg);
        break;
    case WM_COMMAND:
        OnMainCommand(hDlg, wParam);
        break;
    case WM_SYSCOMMAND:
        if (wParam == SC_CLOSE)
            EndDialog(hDlg, 0);
        break;
    case WM_QUERYNEWPALETTE:
        OnMainPaletteChange(hDlg);
        break;
    case WM_PALETTECHANGED:
        if (reinterpret_cast<HWND>(wParam) != hDlg)
            OnMainPaletteChange(hDlg);
        break;
    }
    return FALSE;
}
