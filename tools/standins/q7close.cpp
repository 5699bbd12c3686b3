// Closes every running launcher as its close box would (SC_CLOSE), for the
// demo script when it runs without a display of its own.
#include <windows.h>

static BOOL CALLBACK CloseLauncher(HWND h, LPARAM) {
    if (GetDlgItem(h, 100) != NULL && GetDlgItem(h, 200) != NULL && GetDlgItem(h, 300) != NULL)
        PostMessageA(h, WM_SYSCOMMAND, SC_CLOSE, 0);
    return TRUE;
}

int main() {
    EnumWindows(CloseLauncher, 0);
    return 0;
}
