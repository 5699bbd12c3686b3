// Baseline (b): the copy engine's own loop without its dialog: one posted
// message per step (open a file, or copy one 64 KiB chunk), each step running
// a one-message pump before it posts the next, in a bare window.
// Usage: copy_pumped SOURCE-DIR DEST-DIR; prints the milliseconds taken.
#include <windows.h>
#include <cstdio>
#include <string>

namespace {
const UINT kOpen = WM_APP + 1, kCopy = WM_APP + 2;
std::string g_src, g_dst;
HANDLE g_find, g_in, g_out;
WIN32_FIND_DATAA g_fd;
BYTE *g_chunk;
int g_result = 1;

void Pump() {
    MSG msg;
    if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&msg);
}

bool NextQualifying(bool advance) {
    if (advance && !FindNextFileA(g_find, &g_fd))
        return false;
    while ((g_fd.dwFileAttributes & ~0xA1u) != 0)
        if (!FindNextFileA(g_find, &g_fd))
            return false;
    return true;
}

bool g_dialog;

void Finish(HWND h, int result) {
    g_result = result;
    if (g_dialog)
        EndDialog(h, result);
    else
        DestroyWindow(h);
}

LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (m == kOpen) {
        g_in = CreateFileA((g_src + "\\" + g_fd.cFileName).c_str(), GENERIC_READ, FILE_SHARE_READ,
                           nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        g_out = CreateFileA((g_dst + "\\" + g_fd.cFileName).c_str(), GENERIC_WRITE, 0, nullptr,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (g_in == INVALID_HANDLE_VALUE || g_out == INVALID_HANDLE_VALUE) {
            Finish(h, 1);
            return 0;
        }
        Pump();
        PostMessageA(h, kCopy, 0, 0);
        return 0;
    }
    if (m == kCopy) {
        DWORD got = 0, put = 0;
        if (!ReadFile(g_in, g_chunk, 65536, &got, nullptr)) {
            Finish(h, 1);
            return 0;
        }
        if (got == 0) {
            CloseHandle(g_in);
            CloseHandle(g_out);
            if (!NextQualifying(true)) {
                Finish(h, 0);
                return 0;
            }
            Pump();
            PostMessageA(h, kOpen, 0, 0);
            return 0;
        }
        if (!WriteFile(g_out, g_chunk, got, &put, nullptr) || put != got) {
            Finish(h, 1);
            return 0;
        }
        Pump();
        PostMessageA(h, kCopy, 0, 0);
        return 0;
    }
    if (g_dialog)
        return 0;
    if (m == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(h, m, w, l);
}
} // namespace

INT_PTR CALLBACK DlgProc(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (m == WM_INITDIALOG) {
        PostMessageA(h, kOpen, 0, 0);
        return TRUE;
    }
    if (m == kOpen || m == kCopy) {
        Proc(h, m, w, l);
        return TRUE;
    }
    return FALSE;
}

// The same loop inside a modal dialog's own message loop, as the product runs it.
int RunInDialog() {
    struct {
        DLGTEMPLATE t;
        WORD menu, cls, title;
    } tpl;
    ZeroMemory(&tpl, sizeof tpl);
    tpl.t.style = WS_POPUP | WS_VISIBLE | WS_DLGFRAME;
    tpl.t.cx = 192;
    tpl.t.cy = 72;
    return (int)DialogBoxIndirectParamA(GetModuleHandleA(nullptr), &tpl.t, nullptr, DlgProc, 0);
}

int main(int argc, char **argv) {
    if (argc < 3)
        return 2;
    g_src = argv[1];
    g_dst = argv[2];
    g_dialog = argc > 3;
    CreateDirectoryA(g_dst.c_str(), nullptr);
    WNDCLASSA wc;
    ZeroMemory(&wc, sizeof wc);
    wc.lpfnWndProc = Proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "Q7BenchCopy";
    RegisterClassA(&wc);
    HWND h = CreateWindowA("Q7BenchCopy", "copy", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 300,
                           120, nullptr, nullptr, wc.hInstance, nullptr);
    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, 65536);
    g_chunk = static_cast<BYTE *>(GlobalLock(mem));

    LARGE_INTEGER f, t0, t1;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&t0);
    g_find = FindFirstFileA((g_src + "\\*.*").c_str(), &g_fd);
    if (g_find == INVALID_HANDLE_VALUE || !NextQualifying(false))
        return 1;
    if (g_dialog) {
        DestroyWindow(h);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        RunInDialog();
    } else {
        PostMessageA(h, kOpen, 0, 0);
        MSG msg;
        while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    QueryPerformanceCounter(&t1);
    FindClose(g_find);
    GlobalUnlock(mem);
    GlobalFree(mem);
    std::printf("%.1f ms\n", (t1.QuadPart - t0.QuadPart) * 1000.0 / f.QuadPart);
    return g_result;
}
