// Times the real install under Wine: starts Q7.EXE from the disc directory,
// installs the set into DEST through the destination and copy dialogs, and
// reports the milliseconds from the confirmation's Yes to the closing
// message. A second install measures the delay between a player's cancel
// clicks (real mouse input) and the cancel question (answered No each
// time), then both are uninstalled.
// Usage: install_timer DISC-DIR DEST-DIR [cancel-samples]
#include <windows.h>
#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace {
DWORD g_pid;
HANDLE g_process;
LARGE_INTEGER g_freq;

// Ends the run, the launcher with it: a launcher left running (a box left
// waiting) would keep the output the benchmark reads open forever.
[[noreturn]] void Finish(UINT code) {
    if (g_process != nullptr && WaitForSingleObject(g_process, 0) == WAIT_TIMEOUT) {
        std::fprintf(stderr, "the launcher was still running: ended it\n");
        TerminateProcess(g_process, 1);
        WaitForSingleObject(g_process, 5000);
    }
    std::fflush(stdout);
    ExitProcess(code);
}

double Now() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart * 1000.0 / g_freq.QuadPart;
}

BOOL CALLBACK Collect(HWND h, LPARAM lp) {
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    if (pid == g_pid && IsWindowVisible(h))
        reinterpret_cast<std::vector<HWND> *>(lp)->push_back(h);
    return TRUE;
}

std::vector<HWND> Windows() {
    std::vector<HWND> out;
    EnumWindows(Collect, reinterpret_cast<LPARAM>(&out));
    return out;
}

bool IsBox(HWND h) {
    return GetDlgItem(h, 0xFFFF) != nullptr && GetDlgItem(h, 100) == nullptr &&
           GetDlgItem(h, 401) == nullptr && GetDlgItem(h, 600) == nullptr;
}

// Polls for a window holding control id (0: a message box).
HWND Wait(int id, DWORD sleepMs = 1) {
    DWORD start = GetTickCount();
    while (GetTickCount() - start < 120000) {
        for (HWND h : Windows())
            if (id == 0 ? IsBox(h) : (GetDlgItem(h, id) != nullptr && !IsBox(h)))
                return h;
        Sleep(sleepMs);
    }
    std::fprintf(stderr, "timed out waiting for control %d\n", id);
    Finish(1);
}

// Windows of the launcher created since the last wait, reported by an
// out-of-context event hook: the timer sleeps in its message loop while the
// launcher copies instead of polling the window list, which would take CPU
// and window-server time from the very copy it measures.
std::vector<std::pair<HWND, double>> g_created;

void CALLBACK OnCreate(HWINEVENTHOOK, DWORD, HWND h, LONG object, LONG, DWORD, DWORD) {
    if (object == OBJID_WINDOW)
        g_created.emplace_back(h, Now());
}

// Sleeps until a window holding control id (0: a message box) has been
// created; returns it with the time of its creation. Its controls are
// created after it, and each creation wakes the wait again.
std::pair<HWND, double> WaitCreated(int id) {
    DWORD start = GetTickCount();
    for (;;) {
        for (auto &[h, t] : g_created)
            if (id == 0 ? IsBox(h) : (GetDlgItem(h, id) != nullptr && !IsBox(h))) {
                auto found = std::make_pair(h, t);
                g_created.clear();
                return found;
            }
        if (GetTickCount() - start > 120000) {
            std::fprintf(stderr, "timed out waiting for control %d to be created\n", id);
            Finish(1);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 1000, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
    }
}

void Click(HWND dlg, int id) {
    PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(dlg, id));
}

// A player's click: the mouse pressed and released over the button as real
// input, which queues behind the copy's own messages as a player's does.
void ClickForReal(HWND dlg, int id) {
    RECT r;
    GetWindowRect(GetDlgItem(dlg, id), &r);
    SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    INPUT press[2];
    ZeroMemory(press, sizeof press);
    press[0].type = press[1].type = INPUT_MOUSE;
    press[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    press[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, press, sizeof press[0]);
}

void AnswerAndWait(HWND box, int id) {
    Click(box, id);
    while (IsWindow(box) && IsWindowVisible(box))
        Sleep(1);
}

void SetText(HWND dlg, int id, const std::string &text) {
    DWORD_PTR r;
    SendMessageTimeoutA(GetDlgItem(dlg, id), WM_SETTEXT, 0, (LPARAM)text.c_str(), SMTO_NORMAL, 5000,
                        &r);
}

HWND StartInstall(HWND main, const std::string &dest) {
    Click(main, 200);
    HWND dlg = Wait(401);
    SetText(dlg, 401, dest);
    Click(dlg, 400);
    return Wait(0); // the confirmation
}

void Uninstall(HWND main) {
    Click(main, 200);
    AnswerAndWait(Wait(0), IDYES);
}
} // namespace

int main(int argc, char **argv) {
    if (argc < 3)
        return 2;
    std::string disc = argv[1], dest = argv[2];
    int samples = argc > 3 ? std::atoi(argv[3]) : 40;
    QueryPerformanceFrequency(&g_freq);
    // Start as not installed, whatever an interrupted run left behind.
    HKEY key;
    if (RegOpenKeyExA(HKEY_USERS, ".Default\\Software\\RUMIK\\Q7", 0, KEY_ALL_ACCESS, &key) ==
        ERROR_SUCCESS) {
        RegDeleteValueA(key, "InstallDir");
        RegCloseKey(key);
    }

    STARTUPINFOA si;
    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    std::string exe = disc + "\\Q7.EXE";
    if (!CreateProcessA(exe.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, disc.c_str(),
                        &si, &pi))
        return 1;
    g_pid = pi.dwProcessId;
    g_process = pi.hProcess;
    HWND main = Wait(100, 10);

    // 1. The whole install, from Yes at the confirmation to the closing
    // message, and the copy phase alone, from the copy dialog's appearance.
    HWND confirm = StartInstall(main, dest);
    HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_CREATE, EVENT_OBJECT_CREATE, nullptr,
                                         OnCreate, g_pid, 0, WINEVENT_OUTOFCONTEXT);
    if (hook == nullptr) {
        std::fprintf(stderr, "cannot watch the launcher's windows\n");
        Finish(1);
    }
    g_created.clear();
    double t0 = Now();
    Click(confirm, IDYES);
    double tCopy = WaitCreated(600).second;
    auto [done, t1] = WaitCreated(0);
    UnhookWinEvent(hook);
    while (!IsWindowVisible(done)) // answered only once it runs
        Sleep(1);
    std::printf("install: %.1f ms, copy dialog to closing message %.1f ms\n", t1 - t0, t1 - tCopy);
    AnswerAndWait(done, IDOK);
    Uninstall(main);

    // 2. Cancel clicks during a second install, sent as real mouse input: the
    // time until the question shows, each answered No after a short while.
    // The first comes once the dialog's focus has settled (Wine may drop a
    // click in its first moments).
    confirm = StartInstall(main, dest);
    Click(confirm, IDYES);
    HWND copy = Wait(600, 0);
    Sleep(300);
    std::vector<double> delays;
    hook = SetWinEventHook(EVENT_OBJECT_CREATE, EVENT_OBJECT_CREATE, nullptr, OnCreate, g_pid, 0,
                           WINEVENT_OUTOFCONTEXT);
    for (int i = 0; i < samples; ++i) {
        // A small set's copy may end before a click: its closing message is up.
        bool ended = false;
        for (HWND h : Windows())
            ended = ended || IsBox(h);
        if (ended)
            break;
        g_created.clear();
        double c0 = Now();
        ClickForReal(copy, 402);
        HWND box = WaitCreated(0).first;
        while (!IsWindowVisible(box)) // the question is up once it shows
            Sleep(0);
        double c1 = Now();
        if (GetDlgItem(box, IDNO) == nullptr) // the copy ended first
            break;
        delays.push_back(c1 - c0);
        AnswerAndWait(box, IDNO);
        Sleep(10);
    }
    UnhookWinEvent(hook);
    AnswerAndWait(Wait(0), IDOK);
    Uninstall(main);
    Click(main, 300);
    WaitForSingleObject(pi.hProcess, 20000);

    if (!delays.empty()) {
        std::sort(delays.begin(), delays.end());
        std::printf("cancel question: %zu samples, median %.1f ms, worst %.1f ms\n", delays.size(),
                    delays[delays.size() / 2], delays.back());
    }
    Finish(0);
}
