// Wine harness: drives the real Q7.EXE as a player would and checks what it
// leaves on the screen, the disk and the registry.
//
// The driver is a console program run under the same Wine as the launcher.
// Scenarios register themselves with SCENARIO(name); each starts launchers
// from disc directories it lays out under C:\q7t, finds their windows by
// control id, reads texts with WM_GETTEXT, posts clicks, answers message
// boxes by button id, and waits by polling against a generous deadline.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

// ---- scenarios and checks -------------------------------------------------

typedef void (*ScenarioFn)();
struct ScenarioRegistration {
    ScenarioRegistration(const char *name, ScenarioFn fn);
};
#define SCENARIO(name)                                                                             \
    static void name();                                                                            \
    static ScenarioRegistration name##_registration(#name, name);                                  \
    static void name()

struct ScenarioAbort {};

bool CheckImpl(bool ok, const char *expr, const char *file, int line);
bool CheckEqImpl(const std::string &a, const std::string &b, const char *ea, const char *eb,
                 const char *file, int line);
bool CheckEqImpl(long long a, long long b, const char *ea, const char *eb, const char *file,
                 int line);
bool CheckEqImpl(const std::wstring &a, const std::wstring &b, const char *ea, const char *eb,
                 const char *file, int line);
// Adds a line of context to the next failure report of this scenario.
void Note(const std::string &what);
// Ends the scenario as skipped, for a reason it cannot run here (no room,
// no small drive); it then counts as skipped, never as passed.
[[noreturn]] void Skip(const std::string &why);

#define CHECK(c) CheckImpl((c), #c, __FILE__, __LINE__)
#define CHECK_EQ(a, b) CheckEqImpl((a), (b), #a, #b, __FILE__, __LINE__)
#define REQUIRE(c)                                                                                 \
    do {                                                                                           \
        if (!CheckImpl((c), #c, __FILE__, __LINE__))                                               \
            throw ScenarioAbort();                                                                 \
    } while (0)
#define REQUIRE_EQ(a, b)                                                                           \
    do {                                                                                           \
        if (!CheckEqImpl((a), (b), #a, #b, __FILE__, __LINE__))                                    \
            throw ScenarioAbort();                                                                 \
    } while (0)

// Control ids of the launcher's windows, as the player's clicks reach them.
const int kIdPlay = 100, kIdInstall = 200, kIdExit = 300, kIdStart = 400, kIdDir = 401,
          kIdCancel = 402, kIdSizeLine = 500, kIdWell = 600;

// ---- files ----------------------------------------------------------------

// Windows paths of the launcher and the engine stand-in under test, and of
// the manifest that scripts/make_disc.sh lays beside the engine.
const std::string &Q7ExePath();
const std::string &EngineStubPath();
const std::string &EngineManifestPath();
// The CD-ROM drive ("Q:") holding an image made by scripts/make_disc.sh, from
// the driver's --cdrom option; empty when none was given.
const std::string &CdromDrive();

// Whether the CD-ROM drive's tray can be worked (scripts/wine_env.sh serves it
// beside the drive); then the disc is taken out of the drive and put back:
// files the launcher holds open stay readable, as what the drive has read
// ahead, while every new open fails and a search finds nothing.
bool DiscTrayServed();
void TakeDiscOut();
void PutDiscBack();

// Lays out a fresh disc directory C:\q7t\<name> holding Q7.EXE and, when
// asked, the engine stand-in with its manifest beside it (KBZ.EXE.manifest);
// returns its path (no trailing backslash).
std::string NewDisc(const std::string &name, bool withEngine);
void WriteBytes(const std::string &path, const std::string &bytes);
std::string ReadBytes(const std::string &path); // empty when missing
// The same by Unicode names, which the driver's own code page may not hold.
void WriteBytesW(const std::wstring &path, const std::string &bytes);
std::string ReadBytesW(const std::wstring &path);
bool FileExists(const std::string &path);
bool DirExists(const std::string &path);
DWORD Attributes(const std::string &path); // INVALID_FILE_ATTRIBUTES when missing
// Removes a directory tree, read-only files included (ignores failures).
void RemoveTree(const std::string &path);
// Names of the entries of a directory, "." and ".." left out, sorted.
std::vector<std::string> ListDir(const std::string &path);
// Bytes of the entries matching "*.*" in dir ("." and ".." included) that
// `counted` accepts by their attributes; every entry when it is null.
unsigned long long SizeOfEntries(const std::string &dir, bool (*counted)(DWORD) = nullptr);
bool NotADirectory(DWORD attributes);
// Deterministic test content of n bytes.
std::string Pattern(size_t n, unsigned seed);

// ---- registry -------------------------------------------------------------

extern const char kProductKey[]; // under HKEY_USERS
void DeleteProductKey();
bool ProductKeyExists(std::string *keyClass = nullptr);
void SetRecordValue(const std::string &name, DWORD type, const std::string &data);
// The InstallDir value's string, false when there is none.
bool ReadInstallDirValue(std::string *dir);
// The InstallDir value exactly as stored: its type and every byte of its
// data, a terminating zero included; false when there is none.
bool ReadRecordValue(std::string *bytes, DWORD *type);
std::vector<std::string> RecordValueNames();
// Wine's per-program Windows version for Q7.EXE ("win31", "nt351", ...);
// empty restores the default.
void SetWindowsVersion(const std::string &version);

// ---- the launcher process -------------------------------------------------

// A running launcher; killed when it goes out of scope still running.
struct Launcher {
    HANDLE process = nullptr;
    DWORD pid = 0;
    std::string disc;

    Launcher() = default;
    Launcher(const Launcher &) = delete;
    Launcher &operator=(const Launcher &) = delete;
    Launcher(Launcher &&other) noexcept;
    ~Launcher();
};

// Starts Q7.EXE from the disc directory, as a double click there would.
Launcher Start(const std::string &disc);
// Waits for the launcher to end; its exit code, or -1 after a timeout (the
// process is then killed and the failure reported).
long WaitExit(Launcher &l, DWORD ms = 20000);
void Kill(Launcher &l);

// Visible top-level windows of the launcher.
std::vector<HWND> Windows(const Launcher &l);
// The first visible top-level window of the launcher that holds control id
// (100 main window, 401 destination dialog, 600 copy dialog); REQUIREs it.
HWND WaitDialog(Launcher &l, int controlId, DWORD ms = 20000);
HWND WaitMainWindow(Launcher &l, DWORD ms = 20000);
// A message box of the launcher (text in the static 0xFFFF); REQUIREs it.
HWND WaitMessageBox(Launcher &l, DWORD ms = 20000);
HWND FindMessageBox(const Launcher &l); // nullptr when none is open
bool IsMessageBox(HWND h);
std::string MessageText(HWND box);
// Answers a message box by its button id (IDOK, IDYES, IDNO) and waits for
// it to close.
void Answer(HWND box, int buttonId);
// Reads the box's text, checks it, answers it.
void ExpectMessage(Launcher &l, const std::string &text, int buttonId = IDOK);

// Opens the destination dialog, types a directory, answers Yes to the exact
// confirmation and returns the copy dialog.
HWND StartCopy(Launcher &l, HWND main, const std::string &dir);
// The same, with the copy dialog moved to the screen's corner, out of the
// way of the message boxes, which are centred on the screen: its bar can
// then be read while one is open.
HWND StartCopyInTheCorner(Launcher &l, HWND main, const std::string &dir);

// Play: the launcher ends at once (a message box would keep it running),
// and the engine stand-in records "KBZ Mosaren", its current directory, its
// own path and its ANSI code page, which must be 932.
void PlayAndCheckEngine(Launcher &l, HWND main, const std::string &cwd, const std::string &exe);

// Start-up's closing message: the text, titled with the caption string, with
// no owner and no main window behind it; answered, after which the launcher
// must end with exit code 0.
void ExpectClosingMessage(Launcher &l, const std::string &text);

// The caption string: the title of the main window and of every message box.
std::string CaptionText();

// The code page the launcher works in (932 unless a scenario says otherwise):
// window texts are read, and typed texts given, in it.
UINT LauncherCodePage();
// For a scenario that runs a launcher without its manifest, which works in
// the system's code page: the harness reads and types texts in cp while it
// lives.
struct LauncherCodePageFor {
    explicit LauncherCodePageFor(UINT cp);
    ~LauncherCodePageFor();
    UINT saved;
};
// Texts between the launcher's code page and UTF-16.
std::wstring Wide(const std::string &text);
std::string Narrow(const std::wstring &text);

// A window's text, read as Unicode, in the launcher's code page.
std::string WindowText(HWND h);
std::wstring WindowTextW(HWND h);
std::string ItemText(HWND dlg, int id);
void SetItemText(HWND dlg, int id, const std::string &text);
// A click on a push button: WM_COMMAND with notification 0.
void Click(HWND dlg, int id);
// A player's click on a push button: the mouse pressed and released over
// it as real input, which waits in the queue behind whatever the launcher
// is busy with instead of being posted beside it.
void ClickForReal(HWND dlg, int id);
// Posts a key press to the window (the modal loop translates it).
void PressKey(HWND h, UINT vk, bool alt = false);

// Polls cond until it holds or ms pass.
template <class Cond> bool WaitFor(Cond cond, DWORD ms = 20000) {
    DWORD start = GetTickCount();
    for (;;) {
        if (cond())
            return true;
        if (GetTickCount() - start > ms)
            return cond();
        Sleep(15);
    }
}

// Describes every window of the launcher with its controls' texts, for
// failure reports.
std::string DescribeWindows(const Launcher &l);

// The engine stand-in's record of its last start: command line, current
// directory, own path and ANSI code page; empty when it has not run since
// ClearEngineRecord.
std::vector<std::string> EngineRecord();
void ClearEngineRecord();

// Pixels of the screen (the launcher's windows are drawn on the X display).
struct Screenshot {
    int width = 0, height = 0;
    std::vector<COLORREF> pixels; // row-major, top row first
    COLORREF At(int x, int y) const {
        return pixels[static_cast<size_t>(y) * width + x];
    }
};
Screenshot CaptureScreen();
// The progress bar as the screen shows it: the green run along the well's
// middle row, from just inside its margin (which must not be green).
int ShownBarWidth(HWND well);
// The bar's width for a copied total, as the copy dialog must compute it for
// a set of 64 KiB or more: whole 64 KiB units of the copy over those of the set.
int BarWidthFor(HWND well, unsigned long long copied, unsigned long long size);

// The driver's own calls into the system libraries go through its import
// table: replaces the entry of the named function there, so that a scenario
// can watch, or make fail, the calls of product code compiled into the
// driver. False when the driver does not import it.
bool PatchImport(const char *name, void *replacement, void **original);
