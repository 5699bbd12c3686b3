// Start-up time of Win32 programs under the running Wine: from CreateProcess
// to the program's main window being shown, that is a visible top-level
// window of the new process that holds a given control. Each program is
// started several times, in turns with the others; each run closes the
// window as its close box would and waits for the process to end. The first
// start of each program is not counted.
//
// startup_probe [--runs N] NAME PATH CONTROL_ID [NAME PATH CONTROL_ID ...]
// Prints median, minimum and maximum per program, and each program's median
// against the last one's.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Program {
    std::string name, path, dir;
    int controlId = 0;
    std::vector<double> ms;
};

struct Search {
    DWORD pid;
    int controlId;
    HWND found;
};

BOOL CALLBACK FindShown(HWND h, LPARAM lp) {
    Search *s = reinterpret_cast<Search *>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    if (pid == s->pid && IsWindowVisible(h) && GetDlgItem(h, s->controlId) != nullptr) {
        s->found = h;
        return FALSE;
    }
    return TRUE;
}

double Now(LARGE_INTEGER freq) {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return 1000.0 * static_cast<double>(t.QuadPart) / static_cast<double>(freq.QuadPart);
}

// One start; the time to the shown window in ms, or a negative value on failure.
double StartOnce(const Program &p, LARGE_INTEGER freq) {
    STARTUPINFOA si;
    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    std::string cmd = "\"" + p.path + "\"";
    double start = Now(freq);
    if (!CreateProcessA(p.path.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, p.dir.c_str(),
                        &si, &pi)) {
        std::printf("%s: cannot start %s (error %lu)\n", p.name.c_str(), p.path.c_str(),
                    GetLastError());
        return -1;
    }
    CloseHandle(pi.hThread);
    Search s = {pi.dwProcessId, p.controlId, nullptr};
    double shown = -1;
    while (Now(freq) - start < 30000) {
        EnumWindows(FindShown, reinterpret_cast<LPARAM>(&s));
        if (s.found != nullptr) {
            shown = Now(freq) - start;
            break;
        }
        if (WaitForSingleObject(pi.hProcess, 1) == WAIT_OBJECT_0)
            break; // ended without showing its window
    }
    if (s.found != nullptr)
        PostMessageA(s.found, WM_SYSCOMMAND, SC_CLOSE, 0);
    if (WaitForSingleObject(pi.hProcess, 10000) != WAIT_OBJECT_0) {
        std::printf("%s: did not end after its window was closed\n", p.name.c_str());
        TerminateProcess(pi.hProcess, 1);
        WaitForSingleObject(pi.hProcess, 5000);
        shown = -1;
    }
    CloseHandle(pi.hProcess);
    if (shown < 0)
        std::printf("%s: no window with control %d was shown\n", p.name.c_str(), p.controlId);
    return shown;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

} // namespace

int main(int argc, char **argv) {
    int runs = 7;
    std::vector<Program> programs;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--runs" && i + 1 < argc) {
            runs = std::atoi(argv[++i]);
        } else if (i + 2 < argc) {
            Program p;
            p.name = a;
            p.path = argv[i + 1];
            p.controlId = std::atoi(argv[i + 2]);
            size_t slash = p.path.find_last_of("\\/");
            p.dir = slash == std::string::npos ? "." : p.path.substr(0, slash);
            programs.push_back(p);
            i += 2;
        } else {
            programs.clear();
            break;
        }
    }
    if (programs.empty() || runs < 1) {
        std::printf("usage: startup_probe [--runs N] NAME PATH CONTROL_ID ...\n");
        return 2;
    }
    LARGE_INTEGER freq;
    QueryPerformanceFrequency(&freq);

    // One start each that is not counted: the first start of a program
    // also pays for reading it from disk.
    for (Program &p : programs)
        if (StartOnce(p, freq) < 0)
            return 1;
    // The order turns round every round, so that no program always follows
    // the same one; a pause lets the previous process's teardown settle.
    for (int r = 0; r < runs; ++r)
        for (size_t k = 0; k < programs.size(); ++k) {
            Program &p = programs[r % 2 ? programs.size() - 1 - k : k];
            Sleep(500);
            double ms = StartOnce(p, freq);
            if (ms < 0)
                return 1;
            p.ms.push_back(ms);
        }

    std::printf("%-12s %5s %10s %10s %10s\n", "program", "runs", "median ms", "min ms", "max ms");
    for (const Program &p : programs)
        std::printf("%-12s %5d %10.1f %10.1f %10.1f\n", p.name.c_str(), runs, Median(p.ms),
                    *std::min_element(p.ms.begin(), p.ms.end()),
                    *std::max_element(p.ms.begin(), p.ms.end()));
    for (const Program &p : programs) {
        std::printf("%-12s", p.name.c_str());
        for (double ms : p.ms)
            std::printf(" %.0f", ms);
        std::printf("\n");
    }
    const Program &base = programs.back();
    for (size_t i = 0; i + 1 < programs.size(); ++i)
        std::printf("ratio %s/%s: median %.2f, min %.2f\n", programs[i].name.c_str(),
                    base.name.c_str(), Median(programs[i].ms) / Median(base.ms),
                    *std::min_element(programs[i].ms.begin(), programs[i].ms.end()) /
                        *std::min_element(base.ms.begin(), base.ms.end()));
    return 0;
}
