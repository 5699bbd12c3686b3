// The baseline of the start-up benchmark: one modal dialog from a template,
// nothing else. It has the launcher's window size and a button with the
// launcher's first control id, so the probe finds both the same way, and
// like the launcher it starts without a C runtime.
#include <windows.h>

static INT_PTR CALLBACK DlgMinProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM) {
    if (uMsg == WM_COMMAND && (wParam == IDCANCEL || wParam == 100))
        EndDialog(hDlg, 0);
    return uMsg == WM_INITDIALOG;
}

extern "C" void MinEntry(void) {
    DialogBoxParamA(GetModuleHandleA(NULL), "DLG_MIN", NULL, DlgMinProc, 0);
    ExitProcess(0);
}
