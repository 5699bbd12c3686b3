// The launcher shell as a player meets it: start-up, the version gate, the
// main window's buttons and keys, and the install record it reads.
#include "harness.h"
#include "player_texts.h"

namespace {

// The window stays up: nothing the launcher does in answer to what was just
// posted may end it. A slow machine only makes this weaker, never wrong.
bool StaysOpen(Launcher &l, HWND main) {
    return !WaitFor([&] { return !IsWindow(main) || FindMessageBox(l) != nullptr; }, 1500);
}

void ExitByButton(Launcher &l, HWND main) {
    Click(main, 300);
    CHECK_EQ(WaitExit(l), 0);
}

} // namespace

SCENARIO(VersionGateRefusesOldWindowsBeforeTouchingTheRegistry) {
    // The default version comes back however the scenario ends, so that a
    // failure here does not make the scenarios after it run on old Windows.
    struct DefaultVersionAfterwards {
        ~DefaultVersionAfterwards() {
            SetWindowsVersion("");
        }
    } restore;
    std::string disc = NewDisc("gate", false);
    for (const char *version : {"win31", "win30"}) {
        Note(std::string("Windows version ") + version);
        DeleteProductKey();
        SetWindowsVersion(version);
        Launcher l = Start(disc);
        ExpectClosingMessage(l, player::kWindowsTooOld);
        CHECK(!ProductKeyExists());
    }
    for (const char *version : {"nt351", "nt40", ""}) {
        Note(std::string("Windows version ") + (*version ? version : "default"));
        SetWindowsVersion(version);
        Launcher l = Start(disc);
        HWND main = WaitMainWindow(l);
        ExitByButton(l, main);
    }
}

SCENARIO(FirstStartShowsCentredMainWindowAndCreatesEmptyProductKey) {
    DeleteProductKey();
    std::string disc = NewDisc("first", false);
    Launcher l = Start(disc);
    HWND main = WaitMainWindow(l);
    CHECK_EQ(WindowText(main), CaptionText());
    CHECK_EQ(ItemText(main, 100), player::kPlayLabel);
    CHECK_EQ(ItemText(main, 200), player::kInstallLabel);
    CHECK_EQ(ItemText(main, 300), player::kExitLabel);

    RECT desk, rc;
    GetWindowRect(GetDesktopWindow(), &desk);
    GetWindowRect(main, &rc);
    CHECK_EQ(rc.left, (desk.right - (rc.right - rc.left)) / 2);
    CHECK_EQ(rc.top, (desk.bottom - (rc.bottom - rc.top)) / 2);

    std::string keyClass;
    CHECK(ProductKeyExists(&keyClass));
    CHECK_EQ(keyClass, "KBZ");
    CHECK(RecordValueNames().empty());

    // Escape sends the cancel command, which the main window ignores.
    PressKey(main, VK_ESCAPE);
    CHECK(StaysOpen(l, main));
    // Alt+F4 closes, with no message afterwards and exit code 0.
    PressKey(main, VK_F4, true);
    CHECK_EQ(WaitExit(l), 0);
}

SCENARIO(CloseBoxEndsTheLauncher) {
    std::string disc = NewDisc("close", false);
    Launcher l = Start(disc);
    HWND main = WaitMainWindow(l);
    PostMessageA(main, WM_SYSCOMMAND, SC_CLOSE, 0);
    CHECK_EQ(WaitExit(l), 0);
}

SCENARIO(PlayWhenNotInstalledStartsTheEngineFromTheDisc) {
    DeleteProductKey();
    {
        std::string disc = NewDisc("play-missing", false);
        Launcher l = Start(disc);
        HWND main = WaitMainWindow(l);
        Click(main, 100);
        HWND box = WaitMessageBox(l);
        CHECK_EQ(MessageText(box), player::kEngineMissing);
        CHECK_EQ(WindowText(box), CaptionText());
        CHECK(GetWindow(box, GW_OWNER) == main);
        Answer(box, IDOK);
        CHECK_EQ(WaitExit(l), 0);
    }
    {
        std::string disc = NewDisc("play", true);
        Launcher l = Start(disc);
        PlayAndCheckEngine(l, WaitMainWindow(l), disc, disc + "\\KBZ.EXE");
    }
}

SCENARIO(PlayWhenInstalledStartsTheEngineFromTheInstallDirectory) {
    std::string disc = NewDisc("play-installed", true);
    std::string installed = NewDisc("installed-game", true);
    DeleteProductKey();
    // Other values around InstallDir are passed over (they enumerate sorted).
    SetRecordValue("Alpha", REG_SZ, std::string("C:\\elsewhere") + '\0');
    SetRecordValue("InstallDir", REG_SZ, installed + '\0');
    SetRecordValue("Zeta", REG_DWORD, std::string("\x01\x00\x00\x00", 4));
    Launcher l = Start(disc);
    HWND main = WaitMainWindow(l);
    CHECK_EQ(ItemText(main, kIdInstall), player::kUninstallLabel);
    // The current directory stays the disc.
    PlayAndCheckEngine(l, main, disc, installed + "\\KBZ.EXE");
}

// A record naming a directory without the engine: the launcher counts as
// installed, and Play names the full path it could not start.
static void PlayFromARecordWithoutTheEngine(const std::string &disc, const std::string &dir) {
    DeleteProductKey();
    SetRecordValue("InstallDir", REG_SZ, dir + '\0');
    Launcher l = Start(disc);
    HWND main = WaitMainWindow(l);
    CHECK_EQ(ItemText(main, 200), player::kUninstallLabel);
    Click(main, 100);
    ExpectMessage(l, dir + "\\KBZ.EXE" + player::kNotThere);
    CHECK_EQ(WaitExit(l), 0);
    DeleteProductKey();
}

SCENARIO(RecordedDirectoryThatIsGoneStillCountsAsInstalled) {
    PlayFromARecordWithoutTheEngine(NewDisc("gone", true), "C:\\q7t\\no such directory");
}

SCENARIO(RecordValuesThatAreNotAnInstallDirectory) {
    std::string disc = NewDisc("not-a-record", true);
    struct Case {
        const char *what;
        const char *name;
        std::string data;
    } cases[] = {
        {"name in other letter case", "installdir", std::string("C:\\q7t\\x") + '\0'},
        // Longer than the record's buffer: a truncated path must never be
        // acted on, so it counts as no record.
        {"value longer than a path", "InstallDir", std::string(300, 'd') + '\0'},
    };
    for (const Case &c : cases) {
        Note(c.what);
        DeleteProductKey();
        SetRecordValue(c.name, REG_SZ, c.data);
        Launcher l = Start(disc);
        HWND main = WaitMainWindow(l);
        CHECK_EQ(ItemText(main, 200), player::kInstallLabel);
        ExitByButton(l, main);
    }
    DeleteProductKey();
}

SCENARIO(LongestRecordedDirectoryNeverOverrunsThePlayMessage) {
    // 259 bytes: the record's limit. With "\KBZ.EXE" and the message words
    // it needs far more than the record's own 260-byte buffer.
    PlayFromARecordWithoutTheEngine(NewDisc("long-record", true),
                                    "C:\\q7t\\" + std::string(252, 'L'));
}
