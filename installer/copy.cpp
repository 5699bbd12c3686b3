// The copy dialog: copies every qualifying file of the source directory into
// the install directory, one 64 KiB chunk per posted message, behind a green
// progress bar. Each step runs a one-message pump before it posts the next,
// so the cancel button is served between chunks without a second thread.
#include "installer.h"
#include "install_rules.h"
#include "../common/texts.h"
#include "../resources/resource.h"

static const UINT WM_INST_OPEN = WM_USER + 1000;
static const UINT WM_INST_COPY = WM_USER + 1001;
static const DWORD kChunkSize = 65536;

// Copy state. Each handle is NULL whenever nothing is open, so that release
// paths close only what is open and never close anything twice.
static HANDLE g_hCopySearch;
static WIN32_FIND_DATAA g_fdCopy;
static HANDLE g_hSourceFile;
static HANDLE g_hDestFile;
static BYTE *g_pChunk;
static ULONGLONG g_qwCopied;

// The progress well and its client rectangle, taken once per run: the well
// neither moves nor changes size, and asking for them again after every
// chunk costs more than drawing the bar.
static HWND g_hWell;
static RECT g_rcWell;

// The bar width the well shows now, or -1 when it must be drawn at the next
// chunk. Most chunks leave the width unchanged (a 200 MB set moves the bar
// one pixel every dozen chunks), and drawing the same bar again costs a
// device context and a flush to the display each time. The well is
// subclassed for the run: any message it handles may have repainted it
// black, so after one the next chunk draws the bar again, exactly as if
// every chunk were drawn.
static int g_iBarShown;
static WNDPROC g_pfnWellProc;

static LRESULT CALLBACK WellProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    g_iBarShown = -1;
    return CallWindowProcA(g_pfnWellProc, hWnd, uMsg, wParam, lParam);
}

static void WatchWell(HWND hDlg) {
    g_hWell = GetDlgItem(hDlg, ID_WELL);
    GetClientRect(g_hWell, &g_rcWell);
    g_iBarShown = -1;
    g_pfnWellProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(g_hWell, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WellProc)));
}

static void UnwatchWell(void) {
    if (g_pfnWellProc != NULL) {
        SetWindowLongPtrA(g_hWell, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_pfnWellProc));
        g_pfnWellProc = NULL;
    }
}

// The cancel question runs its own modal loop. Should a step message reach
// the dialog meanwhile, it is held here and posted again after a No, so the
// copy neither runs under the question nor loses a step.
static BOOL g_bAskingCancel;
static UINT g_uHeldStep;

// Remove at most one waiting message and hand it straight to its window: no
// translation and no dialog-key handling.
static void PumpOneMessage(void) {
    MSG msg;
    if (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
        DispatchMessageA(&msg);
}

static void ContinueWith(HWND hDlg, UINT step) {
    PumpOneMessage();
    PostMessageA(hDlg, step, 0, 0);
}

static void CloseFile(HANDLE *phFile) {
    if (*phFile != NULL) {
        CloseHandle(*phFile);
        *phFile = NULL;
    }
}

static void CloseCopySearch(void) {
    if (g_hCopySearch != NULL) {
        FindClose(g_hCopySearch);
        g_hCopySearch = NULL;
    }
}

static void ReleaseChunk(void) {
    if (g_pChunk != NULL) {
        HGLOBAL hMem = GlobalHandle(g_pChunk);
        GlobalUnlock(hMem);
        GlobalFree(hMem);
        g_pChunk = NULL;
    }
}

static void ReleaseCopyState(void) {
    UnwatchWell();
    ReleaseChunk();
    CloseFile(&g_hSourceFile);
    CloseFile(&g_hDestFile);
    CloseCopySearch();
}

static void EndCopy(HWND hDlg, const char *text, INT_PTR result) {
    ShowInfo(hDlg, text);
    ReleaseCopyState();
    EndDialog(hDlg, result);
}

// Moves the search on until the current entry qualifies; false when it runs out.
static bool SkipToQualifying(void) {
    while (!FileQualifies(g_fdCopy.dwFileAttributes)) {
        if (!FindNextFileA(g_hCopySearch, &g_fdCopy))
            return false;
    }
    return true;
}

static void OnInstallInitDialog(HWND hDlg) {
    CentreOnDesktop(hDlg, 1);

    g_bAskingCancel = FALSE;
    g_hCopySearch = FindFirstFileA("*.*", &g_fdCopy);
    if (g_hCopySearch == INVALID_HANDLE_VALUE) {
        g_hCopySearch = NULL;
        EndCopy(hDlg, kTextNoFiles, 0);
        return;
    }
    if (!SkipToQualifying()) {
        EndCopy(hDlg, kTextNoFiles, 0);
        return;
    }
    HGLOBAL hMem = GlobalAlloc(GMEM_MOVEABLE, kChunkSize);
    g_pChunk = hMem != NULL ? static_cast<BYTE *>(GlobalLock(hMem)) : NULL;
    if (g_pChunk == NULL) {
        if (hMem != NULL)
            GlobalFree(hMem);
        EndCopy(hDlg, kTextNoMemory, 0);
        return;
    }
    PumpOneMessage();
    g_qwCopied = 0;
    WatchWell(hDlg);
    PostMessageA(hDlg, WM_INST_OPEN, 0, 0);
}

static HANDLE OpenOrNull(const char *path, DWORD access, DWORD share, DWORD disposition) {
    HANDLE h = CreateFileA(path, access, share, NULL, disposition,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    return h == INVALID_HANDLE_VALUE ? NULL : h;
}

static void OnInstallOpen(HWND hDlg) {
    // The source by its plain name, found in the current (source) directory;
    // the copy is a new ordinary file, so a read-only source gives a writable
    // copy. A destination path that does not fit counts as an open failure.
    g_hSourceFile = OpenOrNull(g_fdCopy.cFileName, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    if (g_hSourceFile == NULL) {
        EndCopy(hDlg, kTextInstallFailed, 0);
        return;
    }
    char path[MAX_PATH];
    if (JoinPath(path, sizeof path, g_szInstallDir, g_fdCopy.cFileName))
        g_hDestFile = OpenOrNull(path, GENERIC_WRITE, 0, CREATE_ALWAYS);
    if (g_hDestFile == NULL) {
        CloseFile(&g_hSourceFile);
        EndCopy(hDlg, kTextInstallFailed, 0);
        return;
    }
    ContinueWith(hDlg, WM_INST_COPY);
}

// Draws the progress bar of the copy dialog, only when its width has
// changed. The dialog's well, found once when the dialog opens, is where it
// draws.
static void PaintProgress(HWND) {
    const RECT &rc = g_rcWell;
    int width = ProgressBarWidth(rc.right, g_qwCopied, g_qwInstallSetSize);
    if (width == g_iBarShown)
        return;
    g_iBarShown = width;
    HBRUSH hBrush = CreateSolidBrush(RGB(0, 255, 0));
    HDC hdc = GetDC(g_hWell);
    HGDIOBJ hOld = SelectObject(hdc, hBrush);
    PatBlt(hdc, rc.left + 1, rc.top + 1, width, rc.bottom - 2, PATCOPY);
    SelectObject(hdc, hOld);
    ReleaseDC(g_hWell, hdc);
    DeleteObject(hBrush);
}

static void OnInstallCopy(HWND hDlg) {
    DWORD read;
    if (!ReadFile(g_hSourceFile, g_pChunk, kChunkSize, &read, NULL)) {
        EndCopy(hDlg, kTextInstallFailed, 0);
        return;
    }
    if (read == 0) {
        CloseFile(&g_hSourceFile);
        CloseFile(&g_hDestFile);
        if (FindNextFileA(g_hCopySearch, &g_fdCopy) && SkipToQualifying()) {
            ContinueWith(hDlg, WM_INST_OPEN);
            return;
        }
        EndCopy(hDlg, kTextInstallDone, 1);
        return;
    }
    // Fewer bytes written than read (a full disk) would leave a truncated
    // copy behind a success message: it is a transfer failure like any other.
    DWORD written = 0;
    BOOL ok = WriteFile(g_hDestFile, g_pChunk, read, &written, NULL);
    if (!ChunkFullyWritten(ok != FALSE, read, written)) {
        EndCopy(hDlg, kTextInstallFailed, 0);
        return;
    }
    g_qwCopied += written;
    PaintProgress(hDlg);
    ContinueWith(hDlg, WM_INST_COPY);
}

static void OnInstallStep(HWND hDlg, UINT step) {
    if (g_bAskingCancel) {
        g_uHeldStep = step;
        return;
    }
    // A step still queued when the dialog ended has nothing left to work on.
    if (g_pChunk == NULL)
        return;
    if (step == WM_INST_OPEN)
        OnInstallOpen(hDlg);
    else
        OnInstallCopy(hDlg);
}

static void OnInstallCancel(HWND hDlg) {
    if (g_bAskingCancel)
        return;
    g_bAskingCancel = TRUE;
    g_uHeldStep = 0;
    int answer =
        MessageBoxA(hDlg, kTextAskCancel, g_szCaption, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
    g_bAskingCancel = FALSE;
    if (answer != IDYES) {
        if (g_uHeldStep != 0)
            PostMessageA(hDlg, g_uHeldStep, 0, 0);
        return;
    }
    ReleaseCopyState();
    EndDialog(hDlg, 0);
}

Q7_EXPORT INT_PTR CALLBACK DlgInstallProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM) {
    switch (uMsg) {
    case WM_INITDIALOG:
        OnInstallInitDialog(hDlg);
        return TRUE;
    case WM_COMMAND:
        // The whole word is compared: only a click on the cancel button.
        if (wParam != ID_CANCEL)
            return FALSE;
        OnInstallCancel(hDlg);
        return TRUE;
    case WM_INST_OPEN:
    case WM_INST_COPY:
        OnInstallStep(hDlg, uMsg);
        return TRUE;
    }
    return FALSE;
}
