// The launcher as a player meets it on the real medium: a disc image made by
// scripts/make_disc.sh, mounted read-only on a drive of type CD-ROM (the
// driver's --cdrom option), installing to C:. The test game folder that
// scripts/test.sh puts on the image holds the engine stand-in (the image
// adds its manifest beside it), DATA.DAT
// (large enough to cancel mid-copy), an empty file, a file with a Japanese
// name, and MOVIE\OPENING.AVI in a subfolder.
#include "harness.h"
#include "player_texts.h"

#include <cstdio>
#include <cstdlib>

namespace {

const char kJapaneseName[] = "ゲーム.DAT";

std::vector<std::string> Entries(const std::string &dir, bool filesOnly) {
    std::vector<std::string> out;
    for (const std::string &name : ListDir(dir))
        if (!filesOnly || !(Attributes(dir + "\\" + name) & FILE_ATTRIBUTE_DIRECTORY))
            out.push_back(name);
    return out;
}

} // namespace

SCENARIO(PlayInstallCancelAndUninstallFromTheCdromDrive) {
    const std::string &drive = CdromDrive();
    if (drive.empty())
        Skip("no CD-ROM drive given (--cdrom)");
    if (GetACP() != 932)
        Skip("the disc's Japanese file name needs code page 932");
    if (!DiscTrayServed())
        Skip("the CD-ROM drive's tray is not served (scripts/wine_env.sh)");
    const std::string disc = drive, root = drive + "\\";
    // The medium as mastered: what make_disc.sh adds, then the game folder.
    CHECK_EQ(GetDriveTypeA(root.c_str()), DRIVE_CDROM);
    const std::vector<std::string> onDisc = {"AUTORUN.INF", "DATA.DAT",         "EMPTY.DAT",
                                             "KBZ.EXE",     "KBZ.EXE.manifest", "MOVIE",
                                             "Q7.EXE",      kJapaneseName};
    REQUIRE(ListDir(disc) == onDisc);
    CHECK(ListDir(disc + "\\MOVIE") == std::vector<std::string>{"OPENING.AVI"});
    CHECK_EQ(ReadBytes(disc + "\\AUTORUN.INF"), "[autorun]\r\nopen=Q7.EXE\r\nicon=Q7.EXE\r\n");
    CHECK(ReadBytes(disc + "\\Q7.EXE") == ReadBytes(Q7ExePath()));
    CHECK(ReadBytes(disc + "\\KBZ.EXE") == ReadBytes(EngineStubPath()));
    CHECK(ReadBytes(disc + "\\KBZ.EXE.manifest") == ReadBytes(EngineManifestPath()));
    std::string writable;
    for (const std::string &name : Entries(disc, true))
        if (!(Attributes(disc + "\\" + name) & FILE_ATTRIBUTE_READONLY))
            writable += " " + name;
    CHECK_EQ(writable, "");
    if (std::getenv("Q7_CDROM_EXTRACTED") == nullptr) {
        HANDLE h = CreateFileA((disc + "\\NEW.DAT").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        CHECK(h == INVALID_HANDLE_VALUE); // the medium takes no writes
        if (h != INVALID_HANDLE_VALUE) {
            CloseHandle(h);
            DeleteFileA((disc + "\\NEW.DAT").c_str());
        }
    }

    DeleteProductKey();
    const std::string top = "C:\\q7t\\cdrom-out", dir = top + "\\Q7";
    RemoveTree(top);

    // First start: Play runs the engine from the disc.
    {
        Launcher l = Start(disc);
        HWND main = WaitMainWindow(l);
        CHECK_EQ(ItemText(main, kIdInstall), player::kInstallLabel);
        PlayAndCheckEngine(l, main, root, root + "KBZ.EXE");
    }

    // Second start: install behind the bar, then Play from the install.
    {
        Launcher l = Start(disc);
        HWND main = WaitMainWindow(l);
        HWND copy = StartCopyInTheCorner(l, main, dir);
        HWND box = WaitMessageBox(l);
        REQUIRE_EQ(MessageText(box), player::kInstallDone);
        // The bar ends at the copied share, in whole 64 KiB units, of all
        // that the dialog measured (the subfolder counts there too).
        HWND well = GetDlgItem(copy, kIdWell);
        unsigned long long copied = SizeOfEntries(disc, NotADirectory);
        REQUIRE(copied >= 65536);
        CHECK_EQ(ShownBarWidth(well), BarWidthFor(well, copied, SizeOfEntries(disc)));
        Answer(box, IDOK);
        CHECK(WaitFor([&] { return ItemText(main, kIdInstall) == player::kUninstallLabel; }, 5000));
        std::string recorded;
        CHECK(ReadInstallDirValue(&recorded));
        CHECK_EQ(recorded, dir);
        // Every plain file of the disc's root, byte for byte, now writable.
        CHECK(ListDir(dir) == Entries(disc, true));
        std::string different, readOnly;
        for (const std::string &name : Entries(dir, false)) {
            if (ReadBytes(dir + "\\" + name) != ReadBytes(disc + "\\" + name))
                different += " " + name;
            if (Attributes(dir + "\\" + name) & FILE_ATTRIBUTE_READONLY)
                readOnly += " " + name;
        }
        CHECK_EQ(different, "");
        CHECK_EQ(readOnly, "");
        PlayAndCheckEngine(l, main, root, dir + "\\KBZ.EXE");
    }

    // Third start: installed; uninstall, then two installs that lose the
    // disc mid-copy and are taken back whole all the same.
    {
        Launcher l = Start(disc);
        HWND main = WaitMainWindow(l);
        CHECK_EQ(ItemText(main, kIdInstall), player::kUninstallLabel);
        Click(main, kIdInstall);
        ExpectMessage(l, player::kAskUninstall, IDYES);
        CHECK(WaitFor([&] { return ItemText(main, kIdInstall) == player::kInstallLabel; }, 5000));
        CHECK(!DirExists(dir));
        std::string recorded;
        CHECK(!ReadInstallDirValue(&recorded));

        // The disc taken out while the cancel question is open, then No: the
        // copy finishes the file it holds open, fails at the next one, and
        // is taken back.
        HWND copy = StartCopy(l, main, dir);
        Click(copy, kIdCancel);
        HWND box = WaitMessageBox(l);
        CHECK_EQ(MessageText(box), player::kAskCancel);
        CHECK(SizeOfEntries(dir, NotADirectory) <
              SizeOfEntries(disc, NotADirectory)); // asked mid-copy
        TakeDiscOut();
        CHECK(ListDir(disc).empty());
        Answer(box, IDNO);
        ExpectMessage(l, player::kInstallFailed);
        CHECK(WaitFor([&] { return !DirExists(dir); }, 5000));
        CHECK(DirExists(top));
        PutDiscBack();
        REQUIRE(ListDir(disc) == onDisc);

        // Out again while the question is open, then Yes.
        copy = StartCopy(l, main, dir);
        Click(copy, kIdCancel);
        box = WaitMessageBox(l);
        CHECK_EQ(MessageText(box), player::kAskCancel);
        TakeDiscOut();
        CHECK(ListDir(disc).empty());
        Answer(box, IDYES);
        CHECK(WaitFor([&] { return !DirExists(dir); }, 5000));
        CHECK(DirExists(top));
        PutDiscBack();
        CHECK(!ReadInstallDirValue(&recorded));
        CHECK_EQ(ItemText(main, kIdInstall), player::kInstallLabel);
        Click(main, kIdExit);
        CHECK_EQ(WaitExit(l), 0);
    }
    CHECK(ListDir(disc) == onDisc);
    RemoveTree(top);
}
