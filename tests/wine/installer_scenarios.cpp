// The installer as a player meets it: the destination dialog's checks, the
// copy behind its progress bar, cancelling it, and uninstalling, checked on
// the disk, in the registry and on the main window's button.
#include "harness.h"
#include "installer.h"
#include "player_texts.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

namespace {

// "ゲームソフト": ソ is 0x83 0x5C, a second byte equal to the path separator.
const char kGameSoft[] = "\x83\x51\x81\x5B\x83\x80\x83\x5C\x83\x74\x83\x67";

HWND OpenDestination(Launcher &l, HWND main) {
    Click(main, kIdInstall);
    return WaitDialog(l, kIdDir);
}

// Types a directory, presses the start button and checks the message.
void Refused(Launcher &l, HWND dlg, const std::string &dir, const std::string &text) {
    Note("directory typed: " + dir);
    SetItemText(dlg, kIdDir, dir);
    Click(dlg, kIdStart);
    ExpectMessage(l, text);
    CHECK(IsWindowVisible(dlg));
}

// The same for a choice that passes the checks, is confirmed, and is then
// refused when the directory is created.
void RefusedAfterConfirmation(Launcher &l, HWND dlg, const std::string &dir,
                              const std::string &full, const std::string &text) {
    Note("directory typed: " + dir);
    SetItemText(dlg, kIdDir, dir);
    Click(dlg, kIdStart);
    ExpectMessage(l, player::Confirmation(full), IDYES);
    ExpectMessage(l, text);
    CHECK(IsWindowVisible(dlg));
}

void CancelDestination(HWND dlg) {
    Click(dlg, kIdCancel);
    CHECK(WaitFor([&] { return !IsWindow(dlg); }, 5000));
}

void Install(Launcher &l, HWND main, const std::string &dir) {
    Note("install into " + dir);
    StartCopy(l, main, dir);
    ExpectMessage(l, player::kInstallDone);
    CHECK_EQ(ItemText(main, kIdInstall), player::kUninstallLabel);
    // A string value whose data is the directory and its terminating zero.
    std::string recorded;
    DWORD type = REG_NONE;
    CHECK(ReadRecordValue(&recorded, &type));
    CHECK_EQ(type, REG_SZ);
    CHECK_EQ(recorded, dir + '\0');
}

void Uninstall(Launcher &l, HWND main) {
    Click(main, kIdInstall);
    ExpectMessage(l, player::kAskUninstall, IDYES);
    CHECK(WaitFor([&] { return ItemText(main, kIdInstall) == player::kInstallLabel; }, 5000));
    std::string recorded;
    CHECK(!ReadInstallDirValue(&recorded));
}

// Nothing is installed: the middle button still offers the install and no
// record was written. Then the launcher is left by its Exit button.
void ExitNotInstalled(Launcher &l, HWND main) {
    CHECK_EQ(ItemText(main, kIdInstall), player::kInstallLabel);
    CHECK(RecordValueNames().empty());
    Click(main, 300);
    CHECK_EQ(WaitExit(l), 0);
}

struct SourceFile {
    std::string name;
    size_t size;
    DWORD attributes;
};

// A disc directory with Q7.EXE and the given files, plus a subdirectory that
// is counted in the size but never copied.
std::string LayOutDisc(const std::string &name, const std::vector<SourceFile> &files) {
    std::string disc = NewDisc(name, false);
    unsigned seed = 1;
    for (const SourceFile &f : files) {
        std::string path = disc + "\\" + f.name;
        WriteBytes(path, Pattern(f.size, seed++));
        if (f.attributes != FILE_ATTRIBUTE_NORMAL) {
            REQUIRE(SetFileAttributesA(path.c_str(), f.attributes));
            REQUIRE((Attributes(path) & f.attributes) == f.attributes);
        }
    }
    REQUIRE(CreateDirectoryA((disc + "\\SUBDIR").c_str(), nullptr));
    WriteBytes(disc + "\\SUBDIR\\INSIDE.DAT", Pattern(1000, 99));
    return disc;
}

bool Qualifies(DWORD attributes) {
    return (attributes & ~0xA1u) == 0;
}

// The install directory holds exactly the qualifying files of the disc, byte
// for byte, each a writable ordinary file.
void CheckCopies(const std::string &disc, const std::string &dir) {
    std::vector<std::string> want;
    for (const std::string &name : ListDir(disc))
        if (Qualifies(Attributes(disc + "\\" + name)))
            want.push_back(name);
    CHECK(ListDir(dir) == want);
    for (const std::string &name : want) {
        Note("file " + name);
        std::string copy = dir + "\\" + name;
        CHECK(ReadBytes(copy) == ReadBytes(disc + "\\" + name));
        CHECK_EQ(Attributes(copy) &
                     (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM),
                 0);
    }
}

// What the copy has written so far: the sizes of the files in dir.
long long BytesIn(const std::string &dir) {
    return static_cast<long long>(SizeOfEntries(dir, NotADirectory));
}

// A player's click on the copy's cancel button, queued behind the copy: only
// the copy's own pump between chunks lets it through before the end. It
// comes once the copy is well under way, as Wine may drop a click in the
// dialog's first moments, while its focus is still settling. Returns the
// message box it brings up.
HWND CancelMidCopy(Launcher &l, HWND copy, const std::string &dir) {
    REQUIRE(WaitFor([&] { return BytesIn(dir) >= (16 << 20); }));
    ClickForReal(copy, kIdCancel);
    return WaitMessageBox(l);
}

// What the destination dialog measures with every entry ("." and ".."
// included), or what the copy takes with the qualifying ones.
unsigned long long TotalSize(const std::string &disc, bool qualifyingOnly) {
    REQUIRE(DirExists(disc));
    return SizeOfEntries(disc, qualifyingOnly ? Qualifies : nullptr);
}

// A sparse file of the given size: counted in the install set at no cost in
// disk space.
void MakeSparseFile(const std::string &path, long long size, DWORD attributes) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    REQUIRE(h != INVALID_HANDLE_VALUE);
    LARGE_INTEGER end;
    end.QuadPart = size;
    bool sized = SetFilePointerEx(h, end, nullptr, FILE_BEGIN) && SetEndOfFile(h);
    CloseHandle(h);
    REQUIRE(sized);
    if (attributes != FILE_ATTRIBUTE_NORMAL)
        REQUIRE(SetFileAttributesA(path.c_str(), attributes));
}

// Drive letter and folder of the drive link that maps one to the other, as
// subst does (Q7_SUBST_DRIVE and Q7_SUBST_FOLDER, set where the Wine prefix
// is made).
struct SubstDrive {
    std::string drive, folder;
};
SubstDrive SubstDriveOfThePrefix() {
    const char *drive = std::getenv("Q7_SUBST_DRIVE");
    const char *folder = std::getenv("Q7_SUBST_FOLDER");
    REQUIRE(drive != nullptr && folder != nullptr && *drive != '\0' && *folder != '\0');
    return {drive, folder};
}

// Renames the one setting of a program's manifest, the code page it asks
// for, so that the program runs as on a Windows that does not know the
// setting for a locale (Windows 10 and earlier): in the system's code page.
void DropCodePageRequest(const std::string &exe) {
    std::string bytes = ReadBytes(exe);
    int renamed = 0;
    for (size_t at = 0; (at = bytes.find("activeCodePage", at)) != std::string::npos; ++renamed)
        bytes[at += 13] = 'X';
    REQUIRE_EQ(renamed, 2); // the opening and the closing tag
    WriteBytes(exe, bytes);
}

// A transcribed text as the screen shows it, in UTF-16.
std::wstring FromShiftJis(const std::string &sjis) {
    int n = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, sjis.data(),
                                static_cast<int>(sjis.size()), nullptr, 0);
    std::wstring w(n, L'\0');
    MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, sjis.data(), static_cast<int>(sjis.size()),
                        &w[0], n);
    return w;
}

// A drive letter that names no drive at all.
std::string UnmappedDrive() {
    DWORD mask = GetLogicalDrives();
    for (char c = 'Q'; c <= 'Y'; ++c)
        if (!(mask & (1u << (c - 'A'))))
            return std::string(1, c) + ":";
    REQUIRE(false);
    return "";
}

} // namespace

SCENARIO(DestinationDialogChecksEachChoiceInTurn) {
    DeleteProductKey();
    std::string disc = LayOutDisc("select", {{"GAME.DAT", 123456, FILE_ATTRIBUTE_NORMAL}});
    std::string base = "C:\\q7t\\select-out";
    RemoveTree(base);
    Launcher l = Start(disc);
    HWND main = WaitMainWindow(l);
    HWND dlg = OpenDestination(l, main);

    CHECK_EQ(ItemText(dlg, kIdSizeLine), player::SizeLine(TotalSize(disc, false)));
    char windir[MAX_PATH];
    GetWindowsDirectoryA(windir, sizeof windir);
    CHECK_EQ(ItemText(dlg, kIdDir), std::string(windir, 2) + "\\Program Files\\Rumik\\Q7");
    RECT desk, rc;
    GetWindowRect(GetDesktopWindow(), &desk);
    GetWindowRect(dlg, &rc);
    CHECK_EQ(rc.left, (desk.right - (rc.right - rc.left + 1)) / 2);
    CHECK_EQ(rc.top, (desk.bottom - (rc.bottom - rc.top + 1)) / 2);

    Refused(l, dlg, "", player::kNoDirectory);
    Refused(l, dlg, "\\\\server\\share\\Q7", player::kNetworkDrive);
    Refused(l, dlg, UnmappedDrive() + "\\Q7", player::kBadDrive);
    RefusedAfterConfirmation(l, dlg, "C:\\q7t", "C:\\q7t", player::kDirExists);
    // Longer than the install directory buffer: refused, not cut short.
    Refused(l, dlg, "C:\\q7t\\" + std::string(300, 'x'), player::kDirNotCreated);
    CHECK(!DirExists("C:\\q7t\\" + std::string(200, 'x')));

    // No at the confirmation creates nothing.
    SetItemText(dlg, kIdDir, base + "\\a\\b");
    Click(dlg, kIdStart);
    ExpectMessage(l, player::Confirmation(base + "\\a\\b"), IDNO);
    CHECK(!DirExists(base));

    // A trailing backslash creates the whole chain, then finds it there.
    RefusedAfterConfirmation(l, dlg, base + "\\a\\b\\", base + "\\a\\b\\", player::kDirExists);
    CHECK(DirExists(base + "\\a\\b"));

    // A relative name resolves against the disc directory.
    SetItemText(dlg, kIdDir, "rel");
    Click(dlg, kIdStart);
    ExpectMessage(l, player::Confirmation(disc + "\\rel"), IDNO);
    // A bare drive resolves to its current directory, the disc: it exists.
    // (the platform may give that directory with a trailing backslash).
    SetItemText(dlg, kIdDir, "C:");
    Click(dlg, kIdStart);
    HWND box = WaitMessageBox(l);
    std::string asked = MessageText(box);
    CHECK(asked == player::Confirmation(disc) || asked == player::Confirmation(disc + "\\"));
    Answer(box, IDYES);
    ExpectMessage(l, player::kDirExists);
    CHECK(!DirExists(disc + "\\rel"));

    // Escape does nothing; the cancel button ends the dialog and nothing changes.
    PressKey(dlg, VK_ESCAPE);
    Sleep(300);
    CHECK(IsWindowVisible(dlg));
    CancelDestination(dlg);
    ExitNotInstalled(l, main);
    RemoveTree(base);
}

SCENARIO(InstallSetOf4GBOrMoreIsNotTakenForASmallOne) {
    // A sparse file of 8 TB plus 1,000 bytes: a 32-bit total would wrap to a
    // few kilobytes and pass the free-space test of any drive.
    std::string disc = NewDisc("huge", false);
    std::string path = disc + "\\HUGE.DAT";
    MakeSparseFile(path, (1LL << 43) + 1000, FILE_ATTRIBUTE_NORMAL);

    Launcher l = Start(disc);
    HWND main = WaitMainWindow(l);
    HWND dlg = OpenDestination(l, main);
    CHECK_EQ(ItemText(dlg, kIdSizeLine), player::SizeLine(TotalSize(disc, false)));
    Refused(l, dlg, "C:\\q7t\\huge-out", player::kNoSpace);
    CHECK(!DirExists("C:\\q7t\\huge-out"));
    CancelDestination(dlg);
    Click(main, 300);
    CHECK_EQ(WaitExit(l), 0);
    DeleteFileA(path.c_str());
}

SCENARIO(InstallCopiesQualifyingFilesAndUninstallTakesThemBack) {
    DeleteProductKey();
    std::string disc =
        LayOutDisc("rounds", {
                                 {"EMPTY.DAT", 0, FILE_ATTRIBUTE_NORMAL},
                                 {"CHUNK.DAT", 65536, FILE_ATTRIBUTE_NORMAL},
                                 {"ODD.DAT", 65537, FILE_ATTRIBUTE_NORMAL},
                                 {"BIG.DAT", 5 * 1000 * 1000 + 7, FILE_ATTRIBUTE_NORMAL},
                                 {"DATA.DAT", 3000, FILE_ATTRIBUTE_NORMAL},
                                 {"READONLY.DAT", 4000, FILE_ATTRIBUTE_READONLY},
                                 {"ARCHIVE.DAT", 10, FILE_ATTRIBUTE_ARCHIVE},
                                 {"HIDDEN.DAT", 3000, FILE_ATTRIBUTE_HIDDEN},
                                 {"SYSTEM.DAT", 2000, FILE_ATTRIBUTE_SYSTEM},
                                 {"Long file name.data", 777, FILE_ATTRIBUTE_NORMAL},
                             });
    std::string top = "C:\\q7t\\rounds-out";
    RemoveTree(top);
    std::string dir = top + "\\Rumik\\Q7";
    Launcher l = Start(disc);
    HWND main = WaitMainWindow(l);

    // Round 1: install, decline the uninstall, then uninstall.
    Install(l, main, dir);
    CheckCopies(disc, dir);
    Click(main, kIdInstall);
    ExpectMessage(l, player::kAskUninstall, IDNO);
    CHECK_EQ(ItemText(main, kIdInstall), player::kUninstallLabel);
    CHECK(DirExists(dir));
    std::string recorded;
    CHECK(ReadInstallDirValue(&recorded));
    Uninstall(l, main);
    CHECK(!DirExists(dir));
    CHECK(DirExists(top + "\\Rumik")); // the chain above stays

    // Round 2: the same directory again. Beside the installed files the game
    // and the player keep their own: a saved game, a folder of them, a file
    // named like a hidden one of the disc (never copied), and a disc file
    // the game wrote back under a name of another case. The uninstall from
    // the disc takes back every file of the set, that one too, and nothing
    // else; the directory stays for what is left.
    Install(l, main, dir);
    CheckCopies(disc, dir);
    REQUIRE(CreateDirectoryA((dir + "\\SAVES").c_str(), nullptr));
    WriteBytes(dir + "\\SAVES\\SLOT1.SAV", "save");
    WriteBytes(dir + "\\SAVE01.DAT", "the player's game");
    WriteBytes(dir + "\\HIDDEN.DAT", "not the disc's");
    REQUIRE(DeleteFileA((dir + "\\DATA.DAT").c_str()));
    WriteBytes(dir + "\\data.dat", "written back");
    std::vector<std::string> before = ListDir(dir);
    REQUIRE(std::find(before.begin(), before.end(), "data.dat") != before.end());
    Uninstall(l, main);
    CHECK(ListDir(dir) == (std::vector<std::string>{"HIDDEN.DAT", "SAVE01.DAT", "SAVES"}));
    CHECK_EQ(ReadBytes(dir + "\\SAVE01.DAT"), "the player's game");
    CHECK_EQ(ReadBytes(dir + "\\HIDDEN.DAT"), "not the disc's");
    CHECK_EQ(ReadBytes(dir + "\\SAVES\\SLOT1.SAV"), "save");

    // Round 3: that directory now exists and is refused; another one works,
    // and the next start finds it recorded. That one is also the folder of
    // a drive letter of its own, as subst makes it, and has a long name.
    HWND dlg = OpenDestination(l, main);
    RefusedAfterConfirmation(l, dlg, dir, dir, player::kDirExists);
    CancelDestination(dlg);
    SubstDrive subst = SubstDriveOfThePrefix();
    std::string other = subst.folder;
    RemoveTree(other);
    Install(l, main, other);
    CheckCopies(disc, other);
    Click(main, 300);
    CHECK_EQ(WaitExit(l), 0);

    // The installed Q7.EXE, started from the install directory by other
    // spellings of it: in capitals, by its short name, and by the second
    // drive letter. Its source directory is then the install directory, whose
    // files cannot be told from the player's. The uninstall deletes nothing,
    // keeps the record and the button, and sends the player to the disc.
    WriteBytes(other + "\\SAVE01.DAT", "the player's game");
    WriteBytes(other + "\\Q7CONFIG.INI", "the player's settings");
    const std::vector<std::string> kept = ListDir(other);
    std::string inCapitals = other;
    for (char &c : inCapitals)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    char shortName[MAX_PATH];
    DWORD shortLength = GetShortPathNameA(other.c_str(), shortName, sizeof shortName);
    REQUIRE(shortLength > 0 && shortLength < sizeof shortName);
    REQUIRE(lstrcmpiA(shortName, other.c_str()) != 0);
    std::string onSubstDrive = subst.drive + "\\";
    for (const std::string &spelling : {inCapitals, std::string(shortName), onSubstDrive}) {
        Note("started from " + spelling);
        REQUIRE(ListDir(spelling) == kept);
        Launcher installed = Start(spelling);
        main = WaitMainWindow(installed);
        CHECK_EQ(ItemText(main, kIdInstall), player::kUninstallLabel);
        Click(main, kIdInstall);
        ExpectMessage(installed, player::kAskUninstall, IDYES);
        HWND box = nullptr;
        CHECK(WaitFor([&] { return (box = FindMessageBox(installed)) != nullptr; }, 10000));
        if (box != nullptr) {
            CHECK_EQ(MessageText(box), player::kUninstallFromDisc);
            CHECK_EQ(WindowText(box), CaptionText());
            CHECK(GetWindow(box, GW_OWNER) == main);
            Answer(box, IDOK);
        }
        CHECK(ListDir(other) == kept);
        CHECK(ReadInstallDirValue(&recorded));
        CHECK_EQ(recorded, other);
        CHECK_EQ(ItemText(main, kIdInstall), player::kUninstallLabel);
        Click(main, 300);
        CHECK_EQ(WaitExit(installed), 0);
    }

    // Started from the disc, the uninstall takes back the install set and
    // leaves the player's files, and with them the directory.
    Launcher again = Start(disc);
    main = WaitMainWindow(again);
    CHECK_EQ(ItemText(main, kIdInstall), player::kUninstallLabel);
    Uninstall(again, main);
    CHECK(ListDir(other) == (std::vector<std::string>{"Q7CONFIG.INI", "SAVE01.DAT"}));
    CHECK_EQ(ReadBytes(other + "\\SAVE01.DAT"), "the player's game");
    CHECK_EQ(ReadBytes(other + "\\Q7CONFIG.INI"), "the player's settings");
    Click(main, 300);
    CHECK_EQ(WaitExit(again), 0);
    RemoveTree(other);
    RemoveTree(top);
}

SCENARIO(CancelAnsweredNoGoesOnAndYesTakesTheCopyBack) {
    DeleteProductKey();
    std::vector<SourceFile> files;
    for (int i = 0; i < 4; ++i)
        files.push_back({"PART" + std::to_string(i) + ".DAT", 32u * 1024 * 1024 + 1000 * i,
                         FILE_ATTRIBUTE_READONLY});
    std::string disc = LayOutDisc("cancel", files);
    std::string top = "C:\\q7t\\cancel-out";
    RemoveTree(top);
    Launcher l = Start(disc);
    HWND main = WaitMainWindow(l);

    // No: the copy pauses while the question is open, then goes on to the end
    // with every chunk in place.
    std::string dir = top + "\\First";
    HWND copy = StartCopy(l, main, dir);
    RECT desk, rc;
    GetWindowRect(GetDesktopWindow(), &desk);
    GetWindowRect(copy, &rc);
    CHECK_EQ(rc.left, (desk.right - (rc.right - rc.left + 1)) / 2);
    HWND box = CancelMidCopy(l, copy, dir);
    CHECK_EQ(MessageText(box), player::kAskCancel);
    // No is the default button.
    CHECK_EQ(GetWindowLongA(GetDlgItem(box, IDNO), GWL_STYLE) & 0xF, BS_DEFPUSHBUTTON);
    CHECK_EQ(GetWindowLongA(GetDlgItem(box, IDYES), GWL_STYLE) & 0xF, BS_PUSHBUTTON);
    long long before = BytesIn(dir);
    Sleep(400);
    CHECK_EQ(BytesIn(dir), before);
    CHECK(before < 4LL * 32 * 1024 * 1024); // the question came mid-copy
    Answer(box, IDNO);
    ExpectMessage(l, player::kInstallDone);
    CheckCopies(disc, dir);
    Uninstall(l, main);

    // Yes: everything copied so far goes, with the install directory; the
    // level above it stays, and nothing is recorded.
    dir = top + "\\Second\\Q7";
    copy = StartCopy(l, main, dir);
    box = CancelMidCopy(l, copy, dir);
    CHECK_EQ(MessageText(box), player::kAskCancel);
    Answer(box, IDYES);
    CHECK(WaitFor([&] { return !IsWindow(copy); }, 5000));
    // The removal runs after the copy dialog has gone.
    CHECK(WaitFor([&] { return !DirExists(dir); }, 5000));
    CHECK(DirExists(top + "\\Second"));
    CHECK(FindMessageBox(l) == nullptr);
    ExitNotInstalled(l, main);
    RemoveTree(top);
}

SCENARIO(ProgressBarEndsAtTheCopiedShareOfTheSet) {
    DeleteProductKey();
    // The hidden file counts in the size but is not copied, so the finished
    // bar stops short of the full width.
    std::string disc =
        LayOutDisc("bar", {{"ONE.DAT", 40u * 1024 * 1024, FILE_ATTRIBUTE_NORMAL},
                           {"TWO.DAT", 40u * 1024 * 1024, FILE_ATTRIBUTE_NORMAL},
                           {"SECRET.DAT", 30u * 1024 * 1024, FILE_ATTRIBUTE_HIDDEN}});
    std::string dir = "C:\\q7t\\bar-out";
    RemoveTree(dir);
    Launcher l = Start(disc);
    HWND main = WaitMainWindow(l);
    HWND copy = StartCopyInTheCorner(l, main, dir);
    HWND box = WaitMessageBox(l);
    REQUIRE_EQ(MessageText(box), player::kInstallDone);

    HWND well = GetDlgItem(copy, kIdWell);
    RECT client;
    GetClientRect(well, &client);
    POINT origin = {0, 0};
    ClientToScreen(well, &origin);
    int width = BarWidthFor(well, TotalSize(disc, true), TotalSize(disc, false));
    REQUIRE(width > 0 && width < client.right - 2);
    CHECK_EQ(ShownBarWidth(well), width);
    // The one-pixel margin of the black well on the other sides.
    Screenshot shot = CaptureScreen();
    const COLORREF green = RGB(0, 255, 0);
    CHECK(shot.At(origin.x, origin.y + client.bottom / 2) != green);
    CHECK(shot.At(origin.x + 1, origin.y) != green);
    CHECK(shot.At(origin.x + 1, origin.y + 1) == green);
    CHECK(shot.At(origin.x + 1, origin.y + client.bottom - 2) == green);
    CHECK(shot.At(origin.x + 1, origin.y + client.bottom - 1) != green);
    Answer(box, IDOK);
    Uninstall(l, main);
    Click(main, 300);
    CHECK_EQ(WaitExit(l), 0);
}

SCENARIO(RepaintedWellShowsTheBarAgainAtTheNextChunk) {
    ULARGE_INTEGER freeBytes;
    REQUIRE(GetDiskFreeSpaceExA("C:\\", &freeBytes, nullptr, nullptr));
    if (freeBytes.QuadPart < (4ULL << 30))
        Skip("drive C: has less than 4 GB free for the install set");
    DeleteProductKey();
    // A hidden sparse file of 3.5 GB counts in the size but is never copied:
    // the bar then moves one pixel only every couple of hundred chunks, so the
    // chunks copied after the well has been repainted mostly leave its width
    // unchanged, and must draw it all the same.
    std::string disc = LayOutDisc("repaint", {{"DATA.DAT", 96u << 20, FILE_ATTRIBUTE_NORMAL}});
    MakeSparseFile(disc + "\\HIDDEN.DAT", 7LL << 29, FILE_ATTRIBUTE_HIDDEN);
    std::string dir = "C:\\q7t\\repaint-out";
    RemoveTree(dir);
    Launcher l = Start(disc);
    HWND main = WaitMainWindow(l);
    HWND copy = StartCopyInTheCorner(l, main, dir);
    HWND well = GetDlgItem(copy, kIdWell);
    unsigned long long size = TotalSize(disc, false);
    REQUIRE(WaitFor([&] { return BarWidthFor(well, BytesIn(dir), size) >= 1; }, 20000));

    // Each round pauses the copy with the cancel question, checks the bar,
    // has the well repainted black, and lets the copy go on just until it
    // has written again, so that few chunks lie between repaint and check.
    long long repaintedAt = -1;
    int sameWidthRounds = 0;
    long long stopAt = static_cast<long long>(TotalSize(disc, true)) - (16 << 20);
    for (int round = 0; round < 8 && BytesIn(dir) < stopAt; ++round) {
        ClickForReal(copy, kIdCancel);
        HWND box = WaitMessageBox(l);
        REQUIRE_EQ(MessageText(box), player::kAskCancel);
        long long copied = BytesIn(dir);
        int width = BarWidthFor(well, copied, size);
        // Black until a chunk is drawn after the repaint, then the bar.
        int want = copied == repaintedAt ? 0 : width;
        if (repaintedAt >= 0 && copied > repaintedAt &&
            width == BarWidthFor(well, repaintedAt, size))
            ++sameWidthRounds;
        Note("round " + std::to_string(round) + ": " + std::to_string(copied) + " bytes copied");
        CHECK(WaitFor([&] { return ShownBarWidth(well) == want; }, 3000));
        CHECK_EQ(ShownBarWidth(well), want);
        InvalidateRect(well, nullptr, TRUE);
        REQUIRE(WaitFor([&] { return ShownBarWidth(well) == 0; }, 3000));
        repaintedAt = copied;
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDNO, BN_CLICKED), (LPARAM)GetDlgItem(box, IDNO));
        DWORD start = GetTickCount();
        while (BytesIn(dir) == copied && GetTickCount() - start < 5000)
            ;
    }
    // At least one round must have tested a repaint with an unchanged width.
    CHECK(sameWidthRounds >= 1);
    HWND box = WaitMessageBox(l);
    CHECK_EQ(MessageText(box), player::kInstallDone);
    Answer(box, IDOK);
    CheckCopies(disc, dir);
    Uninstall(l, main);
    Click(main, 300);
    CHECK_EQ(WaitExit(l), 0);
    DeleteFileA((disc + "\\HIDDEN.DAT").c_str());
}

SCENARIO(DoubleBytePathAndLongPathInstall) {
    DeleteProductKey();
    std::string disc =
        LayOutDisc("paths", {{"GAME.DAT", 70000, FILE_ATTRIBUTE_NORMAL},
                             {"A_RATHER_LONG_FILE_NAME_FOR_TESTS.DAT", 5, FILE_ATTRIBUTE_NORMAL}});
    std::string top = "C:\\q7t\\paths-out";
    RemoveTree(top);
    REQUIRE(CreateDirectoryA(top.c_str(), nullptr));
    Launcher l = Start(disc);
    HWND main = WaitMainWindow(l);

    // "C:\...\ゲームソフト\Q7": exactly ゲームソフト and then Q7, no stray
    // directory cut at the 0x5C inside ソ.
    std::string dbcs = top + "\\" + kGameSoft + "\\Q7";
    Install(l, main, dbcs);
    CHECK(ListDir(top) == std::vector<std::string>{kGameSoft});
    CheckCopies(disc, dbcs);
    Uninstall(l, main);
    CHECK(!DirExists(dbcs));
    CHECK(ListDir(top) == std::vector<std::string>{kGameSoft});

    // An install directory of more than 128 bytes.
    std::string longDir = top + "\\" + std::string(120, 'L') + "\\Q7";
    REQUIRE(longDir.size() > 128);
    Install(l, main, longDir);
    CheckCopies(disc, longDir);
    Uninstall(l, main);
    CHECK(!DirExists(longDir));

    // A directory leaving no room for a file name: the file cannot be
    // opened, the install fails and is taken back.
    std::string tooLong = top + "\\" + std::string(259 - top.size() - 1 - 20, 'T');
    REQUIRE(tooLong.size() == 259 - 20);
    StartCopy(l, main, tooLong);
    ExpectMessage(l, player::kInstallFailed);
    CHECK(WaitFor([&] { return !DirExists(tooLong); }, 5000));
    ExitNotInstalled(l, main);
    RemoveTree(top);
}

SCENARIO(NothingToCopyTakesBackTheNewDirectory) {
    DeleteProductKey();
    // Only hidden and system files and subdirectories: Q7.EXE itself is
    // hidden for this run.
    std::string disc = LayOutDisc("nothing", {{"HIDDEN.DAT", 10, FILE_ATTRIBUTE_HIDDEN}});
    REQUIRE(SetFileAttributesA((disc + "\\Q7.EXE").c_str(), FILE_ATTRIBUTE_SYSTEM));
    std::string dir = "C:\\q7t\\nothing-out";
    RemoveTree(dir);
    Launcher l = Start(disc);
    HWND main = WaitMainWindow(l);
    HWND dlg = OpenDestination(l, main);
    SetItemText(dlg, kIdDir, dir);
    Click(dlg, kIdStart);
    ExpectMessage(l, player::Confirmation(dir), IDYES);
    // The copy dialog ends before it is ever shown.
    ExpectMessage(l, player::kNoFiles);
    CHECK(WaitFor([&] { return !DirExists(dir); }, 5000));
    CHECK_EQ(ItemText(main, kIdInstall), player::kInstallLabel);
    Click(main, 300);
    CHECK_EQ(WaitExit(l), 0);
}

// A record edited by hand, restored or written by another version may name
// a root by another spelling, or a directory relative to wherever the
// launcher runs: the uninstall then deletes nothing, yet still forgets the
// record. So it does for a directory that is gone, which holds nothing to
// delete. An ordinary record still has its directory removed.
SCENARIO(UninstallOfARootOrRelativeRecordDeletesNothing) {
    std::string disc = NewDisc("rootrec", false);
    const char canary[] = "C:\\q7-canary.dat";
    WriteBytes(canary, "still here");
    WriteBytes(disc + "\\CANARY.DAT", "on the disc");
    RemoveTree("C:\\q7t\\rootrec-gone");
    for (const char *record :
         {"", "C:", "C:\\", "\\", "C:\\.", "C:\\Windows\\..", "C:.", "C:\\Q7\\..\\", ".",
          "\\\\server\\share", "\\\\server\\share\\", "C:\\q7t\\rootrec-gone"}) {
        Note(std::string("recorded directory \"") + record + "\"");
        DeleteProductKey();
        SetRecordValue("InstallDir", REG_SZ, std::string(record, strlen(record) + 1));
        Launcher l = Start(disc);
        HWND main = WaitMainWindow(l);
        CHECK_EQ(ItemText(main, kIdInstall), player::kUninstallLabel);
        Uninstall(l, main);
        CHECK_EQ(ReadBytes(canary), "still here");
        CHECK_EQ(ReadBytes(disc + "\\CANARY.DAT"), "on the disc");
        CHECK(FileExists(disc + "\\Q7.EXE"));
        Click(main, 300);
        CHECK_EQ(WaitExit(l), 0);
    }

    std::string dir = "C:\\q7t\\rootrec-installed";
    RemoveTree(dir);
    REQUIRE(CreateDirectoryA(dir.c_str(), nullptr));
    WriteBytes(dir + "\\CANARY.DAT", "copied earlier"); // a file of the disc's
    DeleteProductKey();
    SetRecordValue("InstallDir", REG_SZ, dir + "\\sub\\..\\" + std::string(1, '\0'));
    Launcher l = Start(disc);
    HWND main = WaitMainWindow(l);
    Uninstall(l, main);
    CHECK(WaitFor([&] { return !DirExists(dir); }, 5000));
    CHECK_EQ(ReadBytes(canary), "still here");
    Click(main, 300);
    CHECK_EQ(WaitExit(l), 0);
    DeleteFileA(canary);
}

// The directory chain reads the typed path in the process's code page, the
// system's on a Windows that does not honour the launcher's code page
// request (Windows 10 and earlier): the launcher runs here without it. The same bytes "Caf\xE9\Q7"
// are two levels, Café and Q7, in code page 1252, where 0xE9 is a letter; in
// code page 932 0xE9 starts a double-byte character whose second byte is the
// 0x5C, so they are one name.
SCENARIO(DirectoryChainFollowsTheSystemCodePage) {
    DeleteProductKey();
    std::string disc = LayOutDisc("codepage", {{"GAME.DAT", 70000, FILE_ATTRIBUTE_NORMAL}});
    DropCodePageRequest(disc + "\\Q7.EXE");
    LauncherCodePageFor systemCodePage(GetACP());
    std::string top = "C:\\q7t\\codepage-out";
    RemoveTree(top);
    REQUIRE(CreateDirectoryA(top.c_str(), nullptr));
    std::string dir = top + "\\Caf\xE9\\Q7";
    Note("ANSI code page " + std::to_string(GetACP()));
    Launcher l = Start(disc);
    HWND main = WaitMainWindow(l);
    Install(l, main, dir);
    if (GetACP() == 1252) {
        CHECK(ListDir(top) == std::vector<std::string>{"Caf\xE9"});
        CHECK(ListDir(top + "\\Caf\xE9") == std::vector<std::string>{"Q7"});
    } else {
        CHECK(ListDir(top) == std::vector<std::string>{"Caf\xE9\\Q7"});
    }
    CheckCopies(disc, dir);
    Uninstall(l, main);
    CHECK(!DirExists(dir));
    Click(main, 300);
    CHECK_EQ(WaitExit(l), 0);
    RemoveTree(top);
}

// The launcher asks for code page 932 by its manifest and the engine by the
// one beside it, so on a system of another code page (the cp1252 pass) the
// player reads the launcher's Japanese texts, a disc's Japanese file name
// installs, and the game runs in code page 932 too. The texts are compared
// as Unicode with the transcription.
SCENARIO(JapaneseNamesInstallAndTheGameRunsInCodePage932) {
    DeleteProductKey();
    std::string disc = NewDisc("japanese", true);
    const std::wstring name = L"\\ゲーム.dat";
    const std::string content = Pattern(70000, 11);
    WriteBytesW(Wide(disc) + name, content);
    std::string top = "C:\\q7t\\japanese-out", dir = top + "\\Q7";
    RemoveTree(top);
    {
        Launcher l = Start(disc);
        HWND main = WaitMainWindow(l);
        CHECK_EQ(WindowTextW(main), FromShiftJis(player::kCaption));
        CHECK_EQ(WindowTextW(GetDlgItem(main, kIdPlay)), FromShiftJis(player::kPlayLabel));
        CHECK_EQ(WindowTextW(GetDlgItem(main, kIdInstall)), FromShiftJis(player::kInstallLabel));
        CHECK_EQ(WindowTextW(GetDlgItem(main, kIdExit)), FromShiftJis(player::kExitLabel));
        Install(l, main, dir);
        CHECK(ReadBytesW(Wide(dir) + name) == content);
        CHECK(ReadBytes(dir + "\\KBZ.EXE.manifest") == ReadBytes(EngineManifestPath()));
        PlayAndCheckEngine(l, main, disc, dir + "\\KBZ.EXE");
    }
    Launcher l = Start(disc);
    HWND main = WaitMainWindow(l);
    Uninstall(l, main);
    CHECK(WaitFor([&] { return !DirExists(dir); }, 5000));
    Click(main, kIdExit);
    CHECK_EQ(WaitExit(l), 0);
    DeleteFileW((Wide(disc) + name).c_str());
    RemoveTree(top);
}

// The small drive (Q7_SMALL_DRIVE names a drive letter such as "R:" mapped
// to a file system of about 2 MB, for example a tmpfs linked under
// $WINEPREFIX/dosdevices); the scenario is skipped without it.
static const char *SmallDrive() {
    const char *drive = std::getenv("Q7_SMALL_DRIVE");
    if (drive == nullptr || *drive == '\0')
        Skip("Q7_SMALL_DRIVE is not set");
    return drive;
}

// Free space exactly equal to the install set is enough; one byte more is
// not. Needs the same small drive as the full-disk scenario below, whose
// free space nothing else changes.
SCENARIO(FreeSpaceEqualToTheSetIsEnough) {
    const char *drive = SmallDrive();
    DeleteProductKey();
    DWORD perCluster, perSector, freeClusters, clusters;
    REQUIRE(GetDiskFreeSpaceA((std::string(drive) + "\\").c_str(), &perCluster, &perSector,
                              &freeClusters, &clusters));
    unsigned long long freeBytes =
        static_cast<unsigned long long>(perCluster) * perSector * freeClusters;
    std::string disc = LayOutDisc("equal", {});
    unsigned long long others = TotalSize(disc, false);
    REQUIRE(freeBytes > others);
    std::string pad = disc + "\\PAD.DAT";
    WriteBytes(pad, Pattern(static_cast<size_t>(freeBytes - others), 3));
    REQUIRE_EQ(static_cast<long long>(TotalSize(disc, false)), static_cast<long long>(freeBytes));
    std::string dir = std::string(drive) + "\\Q7";

    Launcher l = Start(disc);
    HWND main = WaitMainWindow(l);
    HWND dlg = OpenDestination(l, main);
    SetItemText(dlg, kIdDir, dir);
    Click(dlg, kIdStart);
    ExpectMessage(l, player::Confirmation(dir), IDNO);
    CHECK(!DirExists(dir));
    CancelDestination(dlg);

    // The size is measured again each time the dialog opens.
    WriteBytes(pad, Pattern(static_cast<size_t>(freeBytes - others + 1), 3));
    dlg = OpenDestination(l, main);
    Refused(l, dlg, dir, player::kNoSpace);
    CHECK(!DirExists(dir));
    CancelDestination(dlg);
    Click(main, 300);
    CHECK_EQ(WaitExit(l), 0);
}

// Needs the small drive.
SCENARIO(FullDiskFailsTheInstallAndTakesItBack) {
    const char *drive = SmallDrive();
    DeleteProductKey();
    ULARGE_INTEGER freeBytes;
    REQUIRE(GetDiskFreeSpaceExA((std::string(drive) + "\\").c_str(), &freeBytes, nullptr, nullptr));
    // Many one-byte files each take a whole page; the large one then finds
    // the drive full part-way through a chunk.
    std::vector<SourceFile> files;
    for (int i = 0; i < 200; ++i)
        files.push_back({"S" + std::to_string(i) + ".DAT", 1, FILE_ATTRIBUTE_NORMAL});
    std::string disc = LayOutDisc("full", files);
    size_t room = static_cast<size_t>(freeBytes.QuadPart);
    size_t used = ReadBytes(disc + "\\Q7.EXE").size() + 200 + 1000;
    REQUIRE(room > used + 65536);
    WriteBytes(disc + "\\ZBIG.DAT", Pattern(room - used - 4096, 5));
    std::string dir = std::string(drive) + "\\Q7";
    Launcher l = Start(disc);
    HWND main = WaitMainWindow(l);
    StartCopy(l, main, dir);
    ExpectMessage(l, player::kInstallFailed);
    CHECK(WaitFor([&] { return !DirExists(dir); }, 5000));
    ExitNotInstalled(l, main);
}

// ---- the record's writer, compiled into this driver -------------------------

namespace {
DWORD g_writtenType;
std::string g_writtenData;
void *g_realRegSetValueExA;

LONG WINAPI WatchRegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE *data,
                                DWORD bytes) {
    g_writtenType = type;
    g_writtenData.assign(reinterpret_cast<const char *>(data), bytes);
    return reinterpret_cast<decltype(&RegSetValueExA)>(g_realRegSetValueExA)(key, name, reserved,
                                                                             type, data, bytes);
}
} // namespace

// The platform quietly counts a terminator that the caller left out, so the
// registry cannot show whether the program counts it: the call is watched.
SCENARIO(RecordIsWrittenAsAStringWithItsTerminatorCounted) {
    static const bool watched = PatchImport(
        "RegSetValueExA", reinterpret_cast<void *>(WatchRegSetValueExA), &g_realRegSetValueExA);
    REQUIRE(watched);
    DeleteProductKey();
    const std::string dir = std::string("C:\\q7t\\") + kGameSoft + "\\Q7";
    lstrcpynA(g_szInstallDir, dir.c_str(), MAX_PATH);
    g_writtenType = REG_NONE;
    WriteInstallRecord();
    CHECK_EQ(g_writtenType, REG_SZ);
    CHECK_EQ(g_writtenData.size(), dir.size() + 1);
    CHECK_EQ(g_writtenData, dir + '\0');
    DeleteProductKey();
}
