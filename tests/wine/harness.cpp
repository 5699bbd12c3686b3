#include "harness.h"
#include "player_texts.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>

namespace {

struct Scenario {
    const char *name;
    ScenarioFn fn;
};

std::vector<Scenario> &Scenarios() {
    static std::vector<Scenario> all;
    return all;
}

int g_failures; // failed checks in the running scenario
std::vector<std::string> g_notes;
const Launcher *g_current; // launcher whose windows a failure describes
std::string g_q7, g_engine, g_engineManifest, g_cdrom;
// The code page the launcher works in: 932, which its manifest asks for
// whatever the system's; a scenario that runs a copy without the manifest
// sets the system's own for its duration.
UINT g_launcherCodePage = 932;
const char kTestRoot[] = "C:\\q7t";
const char kEngineRecordPath[] = "C:\\q7t\\engine-record.txt";

// Text from one code page to another, through UTF-16.
std::string Recode(const std::string &text, UINT from, UINT to) {
    if (text.empty())
        return text;
    int n = MultiByteToWideChar(from, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring w(n, L'\0');
    MultiByteToWideChar(from, 0, text.data(), static_cast<int>(text.size()), &w[0], n);
    int m = WideCharToMultiByte(to, 0, w.data(), n, nullptr, 0, nullptr, nullptr);
    std::string out(m, '\0');
    WideCharToMultiByte(to, 0, w.data(), n, &out[0], m, nullptr, nullptr);
    return out;
}

// Shift-JIS to UTF-8, so reports read well on the host terminal.
std::string Utf8(const std::string &sjis) {
    return Recode(sjis, 932, CP_UTF8);
}

void Report(const char *file, int line, const std::string &what) {
    ++g_failures;
    std::printf("    %s:%d: %s\n", file, line, Utf8(what).c_str());
    for (const std::string &n : g_notes)
        std::printf("      note: %s\n", Utf8(n).c_str());
    if (g_current != nullptr)
        std::printf("%s", Utf8(DescribeWindows(*g_current)).c_str());
    std::fflush(stdout);
}

} // namespace

ScenarioRegistration::ScenarioRegistration(const char *name, ScenarioFn fn) {
    Scenarios().push_back({name, fn});
}

void Note(const std::string &what) {
    g_notes.push_back(what);
}

struct ScenarioSkip {};

void Skip(const std::string &why) {
    std::printf("    skipped: %s\n", why.c_str());
    throw ScenarioSkip();
}

bool CheckImpl(bool ok, const char *expr, const char *file, int line) {
    if (!ok)
        Report(file, line, std::string("check failed: ") + expr);
    return ok;
}

bool CheckEqImpl(const std::string &a, const std::string &b, const char *ea, const char *eb,
                 const char *file, int line) {
    if (a != b)
        Report(file, line,
               std::string(ea) + " == " + eb + "\n      got:      \"" + a +
                   "\"\n      expected: \"" + b + "\"");
    return a == b;
}

bool CheckEqImpl(long long a, long long b, const char *ea, const char *eb, const char *file,
                 int line) {
    if (a != b)
        Report(file, line,
               std::string(ea) + " == " + eb + "  (" + std::to_string(a) + " vs " +
                   std::to_string(b) + ")");
    return a == b;
}

// Unicode texts are reported in Shift-JIS, as the rest.
bool CheckEqImpl(const std::wstring &a, const std::wstring &b, const char *ea, const char *eb,
                 const char *file, int line) {
    if (a == b)
        return true;
    auto sjis = [](const std::wstring &w) {
        int n = WideCharToMultiByte(932, 0, w.data(), static_cast<int>(w.size()), nullptr, 0,
                                    nullptr, nullptr);
        std::string out(n, '\0');
        WideCharToMultiByte(932, 0, w.data(), static_cast<int>(w.size()), &out[0], n, nullptr,
                            nullptr);
        return out;
    };
    return CheckEqImpl(sjis(a), sjis(b), ea, eb, file, line);
}

// ---- files ----------------------------------------------------------------

const std::string &Q7ExePath() {
    return g_q7;
}

const std::string &EngineStubPath() {
    return g_engine;
}

const std::string &EngineManifestPath() {
    return g_engineManifest;
}

const std::string &CdromDrive() {
    return g_cdrom;
}

UINT LauncherCodePage() {
    return g_launcherCodePage;
}

LauncherCodePageFor::LauncherCodePageFor(UINT cp) : saved(g_launcherCodePage) {
    g_launcherCodePage = cp;
}

LauncherCodePageFor::~LauncherCodePageFor() {
    g_launcherCodePage = saved;
}

std::wstring Wide(const std::string &text) {
    if (text.empty())
        return std::wstring();
    int n = MultiByteToWideChar(g_launcherCodePage, 0, text.data(), static_cast<int>(text.size()),
                                nullptr, 0);
    std::wstring w(n, L'\0');
    MultiByteToWideChar(g_launcherCodePage, 0, text.data(), static_cast<int>(text.size()), &w[0],
                        n);
    return w;
}

std::string Narrow(const std::wstring &text) {
    if (text.empty())
        return std::string();
    int n = WideCharToMultiByte(g_launcherCodePage, 0, text.data(), static_cast<int>(text.size()),
                                nullptr, 0, nullptr, nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(g_launcherCodePage, 0, text.data(), static_cast<int>(text.size()), &out[0],
                        n, nullptr, nullptr);
    return out;
}

namespace {
const char kTrayRequest[] = "C:\\q7t\\cdrom-tray.request";

// The request appears whole, by a rename, and is gone once it is done.
void WorkTray(const char *what) {
    REQUIRE(DiscTrayServed());
    std::string pending = std::string(kTrayRequest) + ".new";
    WriteBytes(pending, what);
    REQUIRE(MoveFileExA(pending.c_str(), kTrayRequest, MOVEFILE_REPLACE_EXISTING));
    if (!WaitFor([] { return !FileExists(kTrayRequest); }, 20000))
        Note(std::string("the tray did not answer \"") + what + "\"");
    REQUIRE(!FileExists(kTrayRequest));
}
} // namespace

bool DiscTrayServed() {
    return !g_cdrom.empty() && std::getenv("Q7_CDROM_TRAY") != nullptr;
}

void TakeDiscOut() {
    WorkTray("out");
}

void PutDiscBack() {
    WorkTray("in");
}

std::string NewDisc(const std::string &name, bool withEngine) {
    std::string dir = std::string(kTestRoot) + "\\" + name;
    RemoveTree(dir);
    CreateDirectoryA(kTestRoot, nullptr);
    REQUIRE(CreateDirectoryA(dir.c_str(), nullptr));
    REQUIRE(CopyFileA(g_q7.c_str(), (dir + "\\Q7.EXE").c_str(), FALSE));
    if (withEngine) {
        REQUIRE(CopyFileA(g_engine.c_str(), (dir + "\\KBZ.EXE").c_str(), FALSE));
        // Beside the engine, as scripts/make_disc.sh puts it on a disc.
        REQUIRE(CopyFileA(g_engineManifest.c_str(), (dir + "\\KBZ.EXE.manifest").c_str(), FALSE));
    }
    return dir;
}

// The whole of a file opened for writing (created anew) or reading.
static void WriteAll(HANDLE h, const std::string &bytes) {
    REQUIRE(h != INVALID_HANDLE_VALUE);
    DWORD written = 0;
    BOOL ok = bytes.empty() || WriteFile(h, bytes.data(), (DWORD)bytes.size(), &written, nullptr);
    CloseHandle(h);
    REQUIRE(ok && written == bytes.size());
}

static std::string ReadAll(HANDLE h) {
    if (h == INVALID_HANDLE_VALUE)
        return std::string();
    std::string out;
    char buf[65536];
    DWORD got;
    while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got != 0)
        out.append(buf, got);
    CloseHandle(h);
    return out;
}

void WriteBytes(const std::string &path, const std::string &bytes) {
    WriteAll(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr),
             bytes);
}

std::string ReadBytes(const std::string &path) {
    return ReadAll(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, 0, nullptr));
}

void WriteBytesW(const std::wstring &path, const std::string &bytes) {
    WriteAll(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr),
             bytes);
}

std::string ReadBytesW(const std::wstring &path) {
    return ReadAll(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, 0, nullptr));
}

DWORD Attributes(const std::string &path) {
    return GetFileAttributesA(path.c_str());
}

bool FileExists(const std::string &path) {
    DWORD a = Attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirExists(const std::string &path) {
    DWORD a = Attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

void RemoveTree(const std::string &path) {
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((path + "\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::string name = fd.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string child = path + "\\" + name;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(child);
            } else {
                SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(child.c_str());
            }
        } while (FindNextFileA(h, &fd));
        FindClose(h);
    }
    RemoveDirectoryA(path.c_str());
}

std::vector<std::string> ListDir(const std::string &path) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((path + "\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::string name = fd.cFileName;
            if (name != "." && name != "..")
                names.push_back(name);
        } while (FindNextFileA(h, &fd));
        FindClose(h);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string Pattern(size_t n, unsigned seed) {
    std::string s(n, '\0');
    unsigned x = seed * 2654435761u + 12345u;
    for (size_t i = 0; i < n; ++i) {
        x = x * 1103515245u + 12345u;
        s[i] = static_cast<char>(x >> 16);
    }
    return s;
}

// ---- registry -------------------------------------------------------------

const char kProductKey[] = ".Default\\Software\\RUMIK\\Q7";

void DeleteProductKey() {
    RegDeleteKeyA(HKEY_USERS, kProductKey);
}

bool ProductKeyExists(std::string *keyClass) {
    HKEY h;
    if (RegOpenKeyExA(HKEY_USERS, kProductKey, 0, KEY_READ, &h) != ERROR_SUCCESS)
        return false;
    if (keyClass != nullptr) {
        char cls[64] = "";
        DWORD n = sizeof cls;
        RegQueryInfoKeyA(h, cls, &n, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr);
        *keyClass = cls;
    }
    RegCloseKey(h);
    return true;
}

void SetRecordValue(const std::string &name, DWORD type, const std::string &data) {
    HKEY h;
    REQUIRE(RegCreateKeyExA(HKEY_USERS, kProductKey, 0, (LPSTR) "KBZ", 0, KEY_ALL_ACCESS, nullptr,
                            &h, nullptr) == ERROR_SUCCESS);
    LONG rc =
        RegSetValueExA(h, name.c_str(), 0, type, (const BYTE *)data.data(), (DWORD)data.size());
    RegCloseKey(h);
    REQUIRE(rc == ERROR_SUCCESS);
}

bool ReadInstallDirValue(std::string *dir) {
    HKEY h;
    if (RegOpenKeyExA(HKEY_USERS, kProductKey, 0, KEY_READ, &h) != ERROR_SUCCESS)
        return false;
    char buf[1024];
    DWORD n = sizeof buf, type;
    LONG rc = RegQueryValueExA(h, "InstallDir", nullptr, &type, (BYTE *)buf, &n);
    RegCloseKey(h);
    if (rc != ERROR_SUCCESS)
        return false;
    *dir = std::string(buf, strnlen(buf, n));
    return true;
}

bool ReadRecordValue(std::string *bytes, DWORD *type) {
    HKEY h;
    if (RegOpenKeyExA(HKEY_USERS, kProductKey, 0, KEY_READ, &h) != ERROR_SUCCESS)
        return false;
    char buf[1024];
    DWORD n = sizeof buf;
    LONG rc = RegQueryValueExA(h, "InstallDir", nullptr, type, (BYTE *)buf, &n);
    RegCloseKey(h);
    if (rc != ERROR_SUCCESS)
        return false;
    bytes->assign(buf, n);
    return true;
}

std::vector<std::string> RecordValueNames() {
    std::vector<std::string> names;
    HKEY h;
    if (RegOpenKeyExA(HKEY_USERS, kProductKey, 0, KEY_READ, &h) != ERROR_SUCCESS)
        return names;
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD n = sizeof name;
        if (RegEnumValueA(h, i, name, &n, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.push_back(name);
    }
    RegCloseKey(h);
    return names;
}

void SetWindowsVersion(const std::string &version) {
    const char *key = "Software\\Wine\\AppDefaults\\Q7.EXE";
    if (version.empty()) {
        RegDeleteKeyA(HKEY_CURRENT_USER, key);
        return;
    }
    HKEY h;
    REQUIRE(RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h,
                            nullptr) == ERROR_SUCCESS);
    RegSetValueExA(h, "Version", 0, REG_SZ, (const BYTE *)version.c_str(),
                   (DWORD)version.size() + 1);
    RegCloseKey(h);
}

// ---- the launcher process -------------------------------------------------

Launcher::Launcher(Launcher &&other) noexcept
    : process(other.process), pid(other.pid), disc(std::move(other.disc)) {
    other.process = nullptr;
    if (g_current == &other)
        g_current = this;
}

Launcher::~Launcher() {
    if (g_current == this)
        g_current = nullptr;
    Kill(*this);
}

Launcher Start(const std::string &disc) {
    Launcher l;
    l.disc = disc;
    STARTUPINFOA si;
    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    std::string exe = disc + "\\Q7.EXE";
    std::string cmd = "\"" + exe + "\"";
    REQUIRE(CreateProcessA(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, disc.c_str(),
                           &si, &pi));
    CloseHandle(pi.hThread);
    l.process = pi.hProcess;
    l.pid = pi.dwProcessId;
    return l;
}

long WaitExit(Launcher &l, DWORD ms) {
    if (l.process == nullptr)
        return -1;
    if (WaitForSingleObject(l.process, ms) != WAIT_OBJECT_0) {
        CheckImpl(false, "the launcher ended in time", __FILE__, __LINE__);
        Kill(l);
        return -1;
    }
    DWORD code = 0;
    GetExitCodeProcess(l.process, &code);
    CloseHandle(l.process);
    l.process = nullptr;
    return (long)code;
}

void Kill(Launcher &l) {
    if (l.process == nullptr)
        return;
    TerminateProcess(l.process, 1);
    WaitForSingleObject(l.process, 5000);
    CloseHandle(l.process);
    l.process = nullptr;
}

namespace {
struct EnumState {
    DWORD pid;
    std::vector<HWND> *out;
};

BOOL CALLBACK CollectWindow(HWND h, LPARAM lp) {
    EnumState *s = reinterpret_cast<EnumState *>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    if (pid == s->pid && IsWindowVisible(h))
        s->out->push_back(h);
    return TRUE;
}

BOOL CALLBACK CollectChild(HWND h, LPARAM lp) {
    reinterpret_cast<std::vector<HWND> *>(lp)->push_back(h);
    return TRUE;
}
} // namespace

std::vector<HWND> Windows(const Launcher &l) {
    std::vector<HWND> out;
    EnumState s{l.pid, &out};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&s));
    return out;
}

bool IsMessageBox(HWND h) {
    return GetDlgItem(h, 0xFFFF) != nullptr && GetDlgItem(h, 100) == nullptr &&
           GetDlgItem(h, 401) == nullptr && GetDlgItem(h, 600) == nullptr;
}

HWND FindMessageBox(const Launcher &l) {
    for (HWND h : Windows(l))
        if (IsMessageBox(h))
            return h;
    return nullptr;
}

HWND WaitDialog(Launcher &l, int controlId, DWORD ms) {
    HWND found = nullptr;
    const Launcher *saved = g_current;
    g_current = &l;
    WaitFor(
        [&] {
            for (HWND h : Windows(l))
                if (GetDlgItem(h, controlId) != nullptr && !IsMessageBox(h)) {
                    found = h;
                    return true;
                }
            return false;
        },
        ms);
    if (found == nullptr)
        Note("waited for a window with control " + std::to_string(controlId));
    REQUIRE(found != nullptr);
    g_current = saved;
    return found;
}

HWND WaitMainWindow(Launcher &l, DWORD ms) {
    g_current = &l;
    return WaitDialog(l, 100, ms);
}

HWND WaitMessageBox(Launcher &l, DWORD ms) {
    g_current = &l;
    HWND box = nullptr;
    WaitFor([&] { return (box = FindMessageBox(l)) != nullptr; }, ms);
    if (box == nullptr)
        Note("waited for a message box");
    REQUIRE(box != nullptr);
    return box;
}

// Read as Unicode and given in the launcher's code page: the driver's own
// ANSI code page may not hold the launcher's texts.
std::string WindowText(HWND h) {
    return Narrow(WindowTextW(h));
}

std::wstring WindowTextW(HWND h) {
    wchar_t buf[2048];
    DWORD_PTR n = 0;
    if (!SendMessageTimeoutW(h, WM_GETTEXT, sizeof buf / sizeof buf[0], (LPARAM)buf,
                             SMTO_ABORTIFHUNG, 5000, &n))
        return L"<no answer>";
    return std::wstring(buf, n);
}

std::string MessageText(HWND box) {
    return WindowText(GetDlgItem(box, 0xFFFF));
}

std::string ItemText(HWND dlg, int id) {
    HWND item = GetDlgItem(dlg, id);
    return item != nullptr ? WindowText(item) : "<no control>";
}

void SetItemText(HWND dlg, int id, const std::string &text) {
    HWND item = GetDlgItem(dlg, id);
    REQUIRE(item != nullptr);
    DWORD_PTR r;
    std::wstring w = Wide(text);
    SendMessageTimeoutW(item, WM_SETTEXT, 0, (LPARAM)w.c_str(), SMTO_ABORTIFHUNG, 5000, &r);
}

void Click(HWND dlg, int id) {
    PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(dlg, id));
}

void ClickForReal(HWND dlg, int id) {
    HWND button = GetDlgItem(dlg, id);
    REQUIRE(button != nullptr);
    RECT r;
    GetWindowRect(button, &r);
    REQUIRE(SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2));
    INPUT press[2];
    ZeroMemory(press, sizeof press);
    press[0].type = press[1].type = INPUT_MOUSE;
    press[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    press[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    REQUIRE(SendInput(2, press, sizeof press[0]) == 2);
}

void PressKey(HWND h, UINT vk, bool alt) {
    LPARAM lp = 1 | (alt ? (1L << 29) : 0);
    PostMessageA(h, alt ? WM_SYSKEYDOWN : WM_KEYDOWN, vk, lp);
    PostMessageA(h, alt ? WM_SYSKEYUP : WM_KEYUP, vk, lp | (1L << 30) | (1L << 31));
}

void Answer(HWND box, int buttonId) {
    REQUIRE(GetDlgItem(box, buttonId) != nullptr);
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED),
                 (LPARAM)GetDlgItem(box, buttonId));
    CHECK(WaitFor([&] { return !IsWindow(box) || !IsWindowVisible(box); }, 10000));
}

void ExpectMessage(Launcher &l, const std::string &text, int buttonId) {
    HWND box = WaitMessageBox(l);
    CHECK_EQ(MessageText(box), text);
    CHECK_EQ(WindowText(box), CaptionText());
    Answer(box, buttonId);
}

// The caption comes from the string table in UTF-16 through LoadStringA, so
// it reaches the launcher in its code page: Shift-JIS in code page 932, and
// whatever a Western one makes of it (best fit, then "?").
std::string CaptionText() {
    return Recode(player::kCaption, 932, g_launcherCodePage);
}

void ExpectClosingMessage(Launcher &l, const std::string &text) {
    HWND box = WaitMessageBox(l);
    CHECK_EQ(MessageText(box), text);
    CHECK_EQ(WindowText(box), CaptionText());
    CHECK(GetWindow(box, GW_OWNER) == nullptr);
    CHECK(Windows(l).size() == 1); // no main window behind it
    Answer(box, IDOK);
    CHECK_EQ(WaitExit(l), 0);
}

std::string DescribeWindows(const Launcher &l) {
    std::string out;
    if (l.process == nullptr)
        return out;
    for (HWND h : Windows(l)) {
        char cls[64] = "";
        GetClassNameA(h, cls, sizeof cls);
        RECT r;
        GetWindowRect(h, &r);
        out += "      window " + std::string(cls) + " \"" + WindowText(h) + "\" at (" +
               std::to_string(r.left) + "," + std::to_string(r.top) + ")-(" +
               std::to_string(r.right) + "," + std::to_string(r.bottom) + ")\n";
        std::vector<HWND> children;
        EnumChildWindows(h, CollectChild, reinterpret_cast<LPARAM>(&children));
        for (HWND c : children)
            out += "        control " + std::to_string(GetDlgCtrlID(c) & 0xFFFF) + " \"" +
                   WindowText(c) + "\"\n";
    }
    return out;
}

std::vector<std::string> EngineRecord() {
    std::string text = ReadBytes(kEngineRecordPath);
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find("\r\n", pos);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(pos, end - pos));
        pos = end + 2;
    }
    return lines;
}

void ClearEngineRecord() {
    DeleteFileA(kEngineRecordPath);
}

Screenshot CaptureScreen() {
    Screenshot s;
    HDC screen = GetDC(nullptr);
    s.width = GetSystemMetrics(SM_CXSCREEN);
    s.height = GetSystemMetrics(SM_CYSCREEN);
    HDC mem = CreateCompatibleDC(screen);
    BITMAPINFO bi;
    ZeroMemory(&bi, sizeof bi);
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = s.width;
    bi.bmiHeader.biHeight = -s.height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void *bits = nullptr;
    HBITMAP dib = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(mem, dib);
    BitBlt(mem, 0, 0, s.width, s.height, screen, 0, 0, SRCCOPY);
    GdiFlush();
    s.pixels.resize(static_cast<size_t>(s.width) * s.height);
    const unsigned char *p = static_cast<const unsigned char *>(bits);
    for (size_t i = 0; i < s.pixels.size(); ++i)
        s.pixels[i] = RGB(p[4 * i + 2], p[4 * i + 1], p[4 * i]);
    SelectObject(mem, old);
    DeleteObject(dib);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    return s;
}

bool PatchImport(const char *name, void *replacement, void **original) {
    BYTE *base = reinterpret_cast<BYTE *>(GetModuleHandleA(nullptr));
    IMAGE_NT_HEADERS *nt = reinterpret_cast<IMAGE_NT_HEADERS *>(
        base + reinterpret_cast<IMAGE_DOS_HEADER *>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY &dir =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (IMAGE_IMPORT_DESCRIPTOR *imp =
             reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR *>(base + dir.VirtualAddress);
         imp->Name != 0; ++imp) {
        IMAGE_THUNK_DATA *names =
            reinterpret_cast<IMAGE_THUNK_DATA *>(base + imp->OriginalFirstThunk);
        IMAGE_THUNK_DATA *slots = reinterpret_cast<IMAGE_THUNK_DATA *>(base + imp->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            const IMAGE_IMPORT_BY_NAME *by =
                reinterpret_cast<IMAGE_IMPORT_BY_NAME *>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char *>(by->Name), name) != 0)
                continue;
            DWORD old;
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &old);
            *original = reinterpret_cast<void *>(slots->u1.Function);
            slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, old, &old);
            return true;
        }
    }
    return false;
}

// ---- the driver -------------------------------------------------------------

int main(int argc, char **argv) {
    std::vector<std::string> filters;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--q7" && i + 1 < argc)
            g_q7 = argv[++i];
        else if (a == "--engine" && i + 1 < argc)
            g_engine = argv[++i];
        else if (a == "--engine-manifest" && i + 1 < argc)
            g_engineManifest = argv[++i];
        else if (a == "--cdrom" && i + 1 < argc)
            g_cdrom = argv[++i];
        else
            filters.push_back(a);
    }
    if (g_q7.empty() || g_engine.empty() || g_engineManifest.empty()) {
        std::printf("usage: q7wine --q7 Q7.EXE --engine KBZ.EXE --engine-manifest KBZ.EXE.manifest "
                    "[--cdrom Q:] [scenario-substring...]\n");
        return 2;
    }
    SetEnvironmentVariableA("Q7_ENGINE_RECORD", kEngineRecordPath);
    CreateDirectoryA(kTestRoot, nullptr);

    int passed = 0, failed = 0, skipped = 0;
    std::vector<std::string> failedNames;
    for (const Scenario &s : Scenarios()) {
        bool wanted = filters.empty();
        for (const std::string &f : filters)
            wanted = wanted || std::strstr(s.name, f.c_str()) != nullptr;
        if (!wanted)
            continue;
        g_failures = 0;
        g_notes.clear();
        g_current = nullptr;
        DWORD start = GetTickCount();
        std::printf("[ RUN  ] %s\n", s.name);
        std::fflush(stdout);
        bool wasSkipped = false;
        try {
            s.fn();
        } catch (const ScenarioAbort &) {
            std::printf("    (scenario stopped at the failed requirement)\n");
        } catch (const ScenarioSkip &) {
            wasSkipped = true;
        }
        double secs = (GetTickCount() - start) / 1000.0;
        if (wasSkipped && g_failures == 0) {
            ++skipped;
            std::printf("[ SKIP ] %s (%.1f s)\n", s.name, secs);
        } else if (g_failures == 0) {
            ++passed;
            std::printf("[  OK  ] %s (%.1f s)\n", s.name, secs);
        } else {
            ++failed;
            failedNames.push_back(s.name);
            std::printf("[ FAIL ] %s (%.1f s)\n", s.name, secs);
        }
        std::fflush(stdout);
    }
    for (const std::string &n : failedNames)
        std::printf("failed: %s\n", n.c_str());
    std::printf("%d passed, %d failed, %d skipped\n", passed, failed, skipped);
    return failed == 0 && passed > 0 ? 0 : 1;
}

int ShownBarWidth(HWND well) {
    RECT client;
    GetClientRect(well, &client);
    POINT origin = {0, 0};
    ClientToScreen(well, &origin);
    Screenshot shot = CaptureScreen();
    int y = origin.y + client.bottom / 2, run = 0;
    CHECK(shot.At(origin.x, y) != RGB(0, 255, 0));
    for (int x = origin.x + 1; x < origin.x + client.right && shot.At(x, y) == RGB(0, 255, 0); ++x)
        ++run;
    return run;
}

int BarWidthFor(HWND well, unsigned long long copied, unsigned long long size) {
    RECT client;
    GetClientRect(well, &client);
    long long room = client.right - 2;
    return static_cast<int>(room * static_cast<long long>(copied >> 16) /
                            static_cast<long long>(size >> 16));
}

unsigned long long SizeOfEntries(const std::string &dir, bool (*counted)(DWORD)) {
    unsigned long long total = 0;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + "\\*.*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    do {
        if (counted == nullptr || counted(fd.dwFileAttributes))
            total += (static_cast<unsigned long long>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    return total;
}

bool NotADirectory(DWORD attributes) {
    return !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

HWND StartCopy(Launcher &l, HWND main, const std::string &dir) {
    Click(main, kIdInstall);
    HWND dlg = WaitDialog(l, kIdDir);
    SetItemText(dlg, kIdDir, dir);
    Click(dlg, kIdStart);
    ExpectMessage(l, player::Confirmation(dir), IDYES);
    return WaitDialog(l, kIdWell);
}

HWND StartCopyInTheCorner(Launcher &l, HWND main, const std::string &dir) {
    HWND copy = StartCopy(l, main, dir);
    SetWindowPos(copy, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    return copy;
}

void PlayAndCheckEngine(Launcher &l, HWND main, const std::string &cwd, const std::string &exe) {
    ClearEngineRecord();
    Click(main, kIdPlay);
    CHECK_EQ(WaitExit(l), 0);
    REQUIRE(WaitFor([] { return EngineRecord().size() == 4; }));
    std::vector<std::string> rec = EngineRecord();
    CHECK_EQ(rec[0], "KBZ Mosaren");
    CHECK_EQ(rec[1], cwd);
    CHECK_EQ(rec[2], exe);
    // The manifest beside it gives the engine the Japanese code page.
    CHECK_EQ(rec[3], "932");
}
