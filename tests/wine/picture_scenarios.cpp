// The background picture: what the main window shows of it, how start-up
// refuses broken copies of it, and the load and release run in this process
// against resources of the tests' own.
#include "harness.h"
#include "player_texts.h"

#include "background.h"
#include "backcg.h"
#include "colrle.h"

#include <cstdint>
#include <cstring>

namespace {

std::string Hex(unsigned long v) {
    char buf[16];
    wsprintfA(buf, "%06lX", v);
    return buf;
}

void PutU16(std::string &b, size_t at, unsigned v) {
    b[at] = static_cast<char>(v);
    b[at + 1] = static_cast<char>(v >> 8);
}

void PutU32(std::string &b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<char>(v >> (8 * i));
}

std::string U32(uint32_t v) {
    std::string b(4, '\0');
    PutU32(b, 0, v);
    return b;
}

// The BACKCG resource of a module file; false when it has none.
bool ReadBackcg(const std::string &module, std::string *out) {
    HMODULE h = LoadLibraryExA(module.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    REQUIRE(h != nullptr);
    bool found = false;
    if (HRSRC info = FindResourceA(h, "BACKCG", RT_RCDATA)) {
        HGLOBAL data = LoadResource(h, info);
        const char *p = data != nullptr ? static_cast<const char *>(LockResource(data)) : nullptr;
        if (p != nullptr) {
            out->assign(p, SizeofResource(h, info));
            found = true;
        }
    }
    FreeLibrary(h);
    return found;
}

// A resource of a module: type and name are either strings or numbers.
struct ResourceEntry {
    std::string type, name; // empty when a number
    WORD typeId = 0, nameId = 0, language = 0;
    std::string data;
    LPCSTR Type() const {
        return type.empty() ? MAKEINTRESOURCEA(typeId) : type.c_str();
    }
    LPCSTR Name() const {
        return name.empty() ? MAKEINTRESOURCEA(nameId) : name.c_str();
    }
};

BOOL CALLBACK CollectLanguage(HMODULE h, LPCSTR type, LPCSTR name, WORD language, LONG_PTR lp) {
    ResourceEntry e;
    if (IS_INTRESOURCE(type))
        e.typeId = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(type));
    else
        e.type = type;
    if (IS_INTRESOURCE(name))
        e.nameId = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name));
    else
        e.name = name;
    e.language = language;
    HRSRC info = FindResourceExA(h, type, name, language);
    HGLOBAL data = info != nullptr ? LoadResource(h, info) : nullptr;
    const char *p = data != nullptr ? static_cast<const char *>(LockResource(data)) : nullptr;
    if (p != nullptr)
        e.data.assign(p, SizeofResource(h, info));
    reinterpret_cast<std::vector<ResourceEntry> *>(lp)->push_back(e);
    return TRUE;
}

BOOL CALLBACK CollectName(HMODULE h, LPCSTR type, LPSTR name, LONG_PTR lp) {
    EnumResourceLanguagesA(h, type, name, CollectLanguage, lp);
    return TRUE;
}

BOOL CALLBACK CollectType(HMODULE h, LPSTR type, LONG_PTR lp) {
    EnumResourceNamesA(h, type, CollectName, lp);
    return TRUE;
}

// Rewrites the resources of a module file with BACKCG (language neutral, as
// the program's own) replaced by data, or left out when data is null; all
// other resources stay. Wine does not delete a single resource, so the
// whole set is written anew.
void WriteBackcg(const std::string &module, const std::string *data) {
    std::vector<ResourceEntry> all;
    HMODULE h = LoadLibraryExA(module.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    REQUIRE(h != nullptr);
    EnumResourceTypesA(h, CollectType, reinterpret_cast<LONG_PTR>(&all));
    FreeLibrary(h);
    REQUIRE(all.size() > 1);

    HANDLE u = BeginUpdateResourceA(module.c_str(), TRUE);
    REQUIRE(u != nullptr);
    bool ok = true;
    for (ResourceEntry &e : all)
        if (!(e.typeId == 10 && e.name == "BACKCG"))
            ok = ok && UpdateResourceA(u, e.Type(), e.Name(), e.language, &e.data[0],
                                       static_cast<DWORD>(e.data.size()));
    if (data != nullptr)
        ok = ok &&
             UpdateResourceA(u, RT_RCDATA, "BACKCG", MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
                             const_cast<char *>(data->data()), static_cast<DWORD>(data->size()));
    REQUIRE(EndUpdateResourceA(u, !ok) && ok);
    std::string back;
    bool found = ReadBackcg(module, &back);
    REQUIRE(found == (data != nullptr));
    if (data != nullptr)
        REQUIRE(back == *data);
}

// A picture decoded the way the launcher holds it: bottom-up rows.
struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> rows; // first row in memory = bottom row
    COLORREF colours[256];
    uint8_t At(int x, int memoryRow) const {
        return rows[static_cast<size_t>(memoryRow) * width + x];
    }
};

Picture Decode(const std::string &resource) {
    Picture p;
    const uint8_t *bytes = reinterpret_cast<const uint8_t *>(resource.data());
    const uint8_t *pic = nullptr;
    size_t picSize = 0;
    uint32_t w = 0, h = 0;
    REQUIRE(LocateBackgroundPicture(bytes, resource.size(), &pic, &picSize));
    REQUIRE(ColumnRleReadHeader(pic, picSize, &w, &h));
    p.width = static_cast<int>(w);
    p.height = static_cast<int>(h);
    p.rows.resize(static_cast<size_t>(w) * h);
    REQUIRE(ColumnRleDecodeChecked(&p.rows[(h - 1) * w], pic, picSize, -static_cast<int32_t>(w)));
    for (int i = 0; i < 256; ++i)
        p.colours[i] = RGB(bytes[3 * i + 2], bytes[3 * i + 1], bytes[3 * i]);
    return p;
}

BOOL CALLBACK CollectChildRect(HWND h, LPARAM lp) {
    RECT r;
    GetWindowRect(h, &r);
    MapWindowPoints(nullptr, GetParent(h), reinterpret_cast<POINT *>(&r), 2);
    reinterpret_cast<std::vector<RECT> *>(lp)->push_back(r);
    return TRUE;
}

struct ScreenCompare {
    long compared = 0;
    long mismatches = 0;
    std::string first; // the first mismatches, one per line
};

// Compares the main window's client area on screen with the picture copied
// 1:1, centred and cropped, leaving out the buttons drawn over it.
ScreenCompare CompareClientArea(HWND main, const Picture &pic) {
    ScreenCompare c;
    RECT rc;
    GetClientRect(main, &rc);
    POINT origin = {0, 0};
    ClientToScreen(main, &origin);
    std::vector<RECT> buttons;
    EnumChildWindows(main, CollectChildRect, reinterpret_cast<LPARAM>(&buttons));
    Screenshot shot = CaptureScreen();
    const int cw = rc.right, ch = rc.bottom;
    const int xSrc = (pic.width - cw) / 2, ySrc = (pic.height - ch) / 2;
    for (int y = 0; y < ch; ++y) {
        for (int x = 0; x < cw; ++x) {
            POINT pt = {x, y};
            bool covered = false;
            for (const RECT &b : buttons)
                covered = covered || PtInRect(&b, pt);
            int sx = xSrc + x;
            // StretchDIBits counts a bottom-up picture's rows from the bottom:
            // the client's bottom row is memory row ySrc.
            int row = ySrc + (ch - 1 - y);
            int screenX = origin.x + x, screenY = origin.y + y;
            if (covered || sx < 0 || sx >= pic.width || row < 0 || row >= pic.height ||
                screenX < 0 || screenY < 0 || screenX >= shot.width || screenY >= shot.height)
                continue;
            ++c.compared;
            COLORREF want = pic.colours[pic.At(sx, row)];
            COLORREF got = shot.At(screenX, screenY) & 0xFFFFFF;
            if (got != want && ++c.mismatches <= 8)
                c.first += "(" + std::to_string(x) + "," + std::to_string(y) + ") got " + Hex(got) +
                           " expected " + Hex(want) + "; ";
        }
    }
    return c;
}

// Waits until the client area shows the picture, then checks it.
void ExpectPictureShown(HWND main, const Picture &pic, const char *when) {
    ScreenCompare c;
    WaitFor([&] { return (c = CompareClientArea(main, pic)).mismatches == 0; }, 5000);
    CHECK(c.compared > 0);
    std::string differences;
    if (c.mismatches != 0) {
        RECT rc;
        GetClientRect(main, &rc);
        differences = std::string(when) + ": client " + std::to_string(rc.right) + "x" +
                      std::to_string(rc.bottom) + ", " + std::to_string(c.mismatches) + " of " +
                      std::to_string(c.compared) + " pixels differ: " + c.first;
    }
    CHECK_EQ(differences, std::string());
}

// ---- resources of the tests' own -------------------------------------------

// Colour entry i holds blue, green, red bytes that differ per channel and
// per entry; entry 10 holds the bytes 1, 2, 3.
std::string ColourTable() {
    std::string t(768, '\0');
    for (int i = 0; i < 256; ++i) {
        t[3 * i] = static_cast<char>(i);
        t[3 * i + 1] = static_cast<char>(i ^ 0xA5);
        t[3 * i + 2] = static_cast<char>(i * 7 + 3);
    }
    t[30] = 1;
    t[31] = 2;
    t[32] = 3;
    return t;
}

// A resource: colour table, picture table (count, first offset), filler up
// to where the first offset puts the record, then the record (reserved word
// and picture).
std::string Resource(const std::string &table, uint32_t count, uint32_t offset,
                     const std::string &picture) {
    std::string r = table + U32(count) + U32(offset);
    r += std::string(offset - 4, '\xEE'); // whatever lies between the table and the record
    r += U32(0x12345678u);                // reserved word of the record, not read
    return r + picture;
}

std::string Cell(int a, int b, int c, int d) {
    return std::string{static_cast<char>(a), static_cast<char>(b), static_cast<char>(c),
                       static_cast<char>(d)};
}

// An 8 x 5 picture. Column 0, top to bottom: A, A, A, B, C (a run of three);
// column 1: D, E, F, G, H. Each cell's bytes are distinct indices.
const int kSmallWidth = 8, kSmallHeight = 5;
std::string SmallCells(char name) {
    int base = 16 + 4 * (name - 'A');
    return Cell(base, base + 1, base + 2, base + 3);
}

std::string SmallPicture(int runCount = 2) {
    std::string p(4, '\0');
    PutU16(p, 0, kSmallWidth);
    PutU16(p, 2, kSmallHeight);
    p += SmallCells('A') + SmallCells('A') + static_cast<char>(runCount) + SmallCells('B') +
         SmallCells('C');
    for (char c : {'D', 'E', 'F', 'G', 'H'})
        p += SmallCells(c);
    return p;
}

// The small picture's rows, top row first.
std::vector<std::string> SmallRowsTopDown() {
    const char *col0 = "AAABC", *col1 = "DEFGH";
    std::vector<std::string> rows;
    for (int r = 0; r < kSmallHeight; ++r)
        rows.push_back(SmallCells(col0[r]) + SmallCells(col1[r]));
    return rows;
}

// An 8 x 600 picture of long runs. Column 0: A for 300 rows (long count
// 43), one B, F for 299 rows; column 1: C for 256 rows (short count 255),
// one E, D for 343 rows.
const int kTallHeight = 600;
std::string TallPicture() {
    std::string p(4, '\0');
    PutU16(p, 0, 8);
    PutU16(p, 2, kTallHeight);
    auto run = [&p](char c, const std::string &count) {
        p += SmallCells(c) + SmallCells(c) + count;
    };
    run('A', std::string("\0\x2B", 2));
    p += SmallCells('B');
    run('F', std::string("\0\x2A", 2));
    run('C', "\xFF");
    p += SmallCells('E');
    run('D', std::string("\0\x56", 2));
    return p;
}

// What the tall picture must show, from its layout and the colour table
// rather than from any decoder.
Picture TallPictureShown(const std::string &table) {
    Picture p;
    p.width = 8;
    p.height = kTallHeight;
    for (int r = kTallHeight - 1; r >= 0; --r) // bottom row first
        for (char c : {r < 300 ? 'A' : r == 300 ? 'B' : 'F', r < 256 ? 'C' : r == 256 ? 'E' : 'D'})
            for (char index : SmallCells(c))
                p.rows.push_back(static_cast<uint8_t>(index));
    for (int i = 0; i < 256; ++i)
        p.colours[i] =
            RGB(uint8_t(table[3 * i + 2]), uint8_t(table[3 * i + 1]), uint8_t(table[3 * i]));
    return p;
}

// A module file holding the given BACKCG (or none), loaded as data.
struct TestModule {
    std::string path;
    HMODULE module = nullptr;
    TestModule(const std::string &name, const std::string *resource) {
        std::string dir = NewDisc("picture-" + name, false);
        path = dir + "\\Q7.EXE";
        WriteBackcg(path, resource);
        module = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        REQUIRE(module != nullptr);
    }
    ~TestModule() {
        FreeLibrary(module);
    }
    HINSTANCE Instance() const {
        return reinterpret_cast<HINSTANCE>(module);
    }
};

} // namespace

// ---- the real launcher ------------------------------------------------------

SCENARIO(MainWindowShowsTheCentredCropOfThePicture) {
    std::string resource;
    REQUIRE(ReadBackcg(Q7ExePath(), &resource));
    Picture pic = Decode(resource);
    std::string disc = NewDisc("picture-shown", false);
    Launcher l = Start(disc);
    HWND main = WaitMainWindow(l);
    ExpectPictureShown(main, pic, "first paint");

    // Invalidated whole with erasing: the paint must cover all that the erase
    // cleared to the dialog's grey.
    REQUIRE(InvalidateRect(main, nullptr, TRUE));
    UpdateWindow(main);
    ExpectPictureShown(main, pic, "after InvalidateRect");

    // Covered by a window of ours and uncovered again.
    RECT rc;
    GetClientRect(main, &rc);
    MapWindowPoints(main, nullptr, reinterpret_cast<POINT *>(&rc), 2);
    HWND cover = CreateWindowExA(WS_EX_TOPMOST, "STATIC", "", WS_POPUP | WS_VISIBLE | SS_BLACKRECT,
                                 rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, nullptr,
                                 nullptr, GetModuleHandleA(nullptr), nullptr);
    REQUIRE(cover != nullptr);
    auto pump = [] {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
    };
    bool coveredUp = WaitFor(
        [&] {
            pump();
            return CompareClientArea(main, pic).mismatches > 1000;
        },
        5000);
    CHECK(coveredUp); // the cover really hides the picture
    DestroyWindow(cover);
    pump();
    ExpectPictureShown(main, pic, "after being covered");

    Click(main, 300);
    CHECK_EQ(WaitExit(l), 0);
}

SCENARIO(BrokenPictureResourceStopsStartUpWithTheFailureMessage) {
    std::string good;
    REQUIRE(ReadBackcg(Q7ExePath(), &good));
    REQUIRE(good.size() > 800);
    uint32_t firstOffset;
    std::memcpy(&firstOffset, &good[772], 4); // little-endian, as the host
    const size_t record = 772 + firstOffset;
    REQUIRE(record + 8 < good.size());

    struct Case {
        const char *what;
        std::string data;
        bool remove;
    };
    std::vector<Case> cases;
    cases.push_back({"stream one byte short", good.substr(0, good.size() - 1), false});
    cases.push_back({"stream cut in the middle", good.substr(0, good.size() / 2), false});
    std::string bad = good;
    PutU32(bad, 772, static_cast<uint32_t>(good.size()));
    cases.push_back({"first offset past the end", bad, false});
    bad = good;
    PutU32(bad, 772, 0xFFFFFFF0u);
    cases.push_back({"first offset that wraps", bad, false});
    bad = good;
    PutU16(bad, record + 4, 578);
    cases.push_back({"width not a multiple of 4", bad, false});
    bad = good;
    PutU16(bad, record + 4, 0);
    cases.push_back({"width 0", bad, false});
    bad = good;
    PutU16(bad, record + 6, 0);
    cases.push_back({"height 0", bad, false});
    std::string table = good.substr(0, 768);
    cases.push_back({"run past the column's end", Resource(table, 1, 4, SmallPicture(5)), false});
    cases.push_back({"shorter than the colour table", good.substr(0, 700), false});
    cases.push_back({"no BACKCG", std::string(), true});

    for (const Case &c : cases) {
        Note(c.what);
        std::string disc = NewDisc("picture-broken", false);
        WriteBackcg(disc + "\\Q7.EXE", c.remove ? nullptr : &c.data);
        Launcher l = Start(disc);
        ExpectClosingMessage(l, player::kStartupFailed);
    }

    // The same way of replacing the resource, with a valid picture of long
    // runs, gives a working launcher that shows it row for row.
    std::string tall = Resource(ColourTable(), 1, 4, TallPicture());
    std::string disc = NewDisc("picture-tall", false);
    WriteBackcg(disc + "\\Q7.EXE", &tall);
    Launcher l = Start(disc);
    HWND main = WaitMainWindow(l);
    ExpectPictureShown(main, TallPictureShown(ColourTable()), "picture of long runs");
    Click(main, 300);
    CHECK_EQ(WaitExit(l), 0);
}

// ---- the load and release in this process ------------------------------------

SCENARIO(PictureLoadBuildsPaletteBitmapInfoAndBottomUpPixels) {
    const std::string table = ColourTable();
    // The count says 7 and is not read; the first offset 8 puts the record
    // at 780.
    const std::string resource = Resource(table, 7, 8, SmallPicture());
    REQUIRE(resource.size() == 780 + 4 + 4 + 9 + 4 + 4 + 5 * 4);
    TestModule m("load", &resource);

    ReleaseBackgroundPicture();
    REQUIRE(LoadBackgroundPicture(m.Instance()));
    REQUIRE(g_hPicturePalette != nullptr);
    REQUIRE(g_pPicturePixels != nullptr);

    BITMAPINFOHEADER want;
    ZeroMemory(&want, sizeof want);
    want.biSize = 40;
    want.biWidth = kSmallWidth;
    want.biHeight = kSmallHeight;
    want.biPlanes = 1;
    want.biBitCount = 8;
    want.biCompression = BI_RGB;
    CHECK(std::memcmp(&g_PictureInfo.bmiHeader, &want, sizeof want) == 0);
    CHECK_EQ(g_PictureInfo.bmiHeader.biSize, 40);
    CHECK_EQ(g_PictureInfo.bmiHeader.biHeight, kSmallHeight); // positive: bottom-up

    // Rows bottom-up, each exactly width bytes: the first row in memory is
    // the picture's bottom row.
    std::vector<std::string> rows = SmallRowsTopDown();
    std::string bottomUp;
    for (int r = kSmallHeight - 1; r >= 0; --r)
        bottomUp += rows[r];
    CHECK_EQ(std::string(reinterpret_cast<const char *>(g_pPicturePixels), bottomUp.size()),
             bottomUp);
    CHECK(GlobalSize(GlobalHandle(g_pPicturePixels)) >= SIZE_T(kSmallWidth * kSmallHeight));

    // The bitmap's colour table: blue, green, red as stored, reserved 0, in
    // all 256 entries.
    for (int i = 0; i < 256; ++i) {
        const RGBQUAD &q = g_PictureInfo.bmiColors[i];
        if (q.rgbBlue != (uint8_t)table[3 * i] || q.rgbGreen != (uint8_t)table[3 * i + 1] ||
            q.rgbRed != (uint8_t)table[3 * i + 2] || q.rgbReserved != 0) {
            Note("colour-table entry " + std::to_string(i));
            CHECK(false);
            break;
        }
    }
    const RGBQUAD &q10 = g_PictureInfo.bmiColors[10];
    CHECK(q10.rgbBlue == 1 && q10.rgbGreen == 2 && q10.rgbRed == 3);

    // The logical palette: red, green, blue swapped into place, with
    // PC_NOCOLLAPSE, for the 236 slots outside the system's.
    PALETTEENTRY pal[256];
    ZeroMemory(pal, sizeof pal);
    CHECK_EQ(GetPaletteEntries(g_hPicturePalette, 0, 256, pal), 256);
    for (int i = 10; i < 246; ++i) {
        const PALETTEENTRY &e = pal[i];
        if (e.peRed != (uint8_t)table[3 * i + 2] || e.peGreen != (uint8_t)table[3 * i + 1] ||
            e.peBlue != (uint8_t)table[3 * i] || e.peFlags != PC_NOCOLLAPSE) {
            Note("palette entry " + std::to_string(i));
            CHECK(false);
            break;
        }
    }
    CHECK(pal[10].peRed == 3 && pal[10].peGreen == 2 && pal[10].peBlue == 1 &&
          pal[10].peFlags == PC_NOCOLLAPSE);

    // The 20 system slots hold what the system palette reports for them.
    // On a truecolour display Wine returns 0 yet still fills in the static
    // colours; a slot the system leaves untouched keeps the resource's colour.
    PALETTEENTRY sys[256];
    std::memset(sys, 0xCD, sizeof sys);
    HDC screen = GetDC(nullptr);
    UINT low = GetSystemPaletteEntries(screen, 0, 10, &sys[0]);
    UINT high = GetSystemPaletteEntries(screen, 246, 10, &sys[246]);
    ReleaseDC(nullptr, screen);
    PALETTEENTRY untouched;
    std::memset(&untouched, 0xCD, sizeof untouched);
    for (int i : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 246, 247, 248, 249, 250, 251, 252, 253, 254, 255}) {
        PALETTEENTRY want = sys[i];
        if (std::memcmp(&want, &untouched, sizeof want) == 0)
            want = {(BYTE)table[3 * i + 2], (BYTE)table[3 * i + 1], (BYTE)table[3 * i],
                    PC_NOCOLLAPSE};
        if (std::memcmp(&pal[i], &want, sizeof want) != 0) {
            Note("the system reports " + std::to_string(low) + " and " + std::to_string(high) +
                 " entries; slot " + std::to_string(i) + " is " +
                 Hex(RGB(pal[i].peRed, pal[i].peGreen, pal[i].peBlue)) + " flags " +
                 std::to_string(pal[i].peFlags) + ", expected " +
                 Hex(RGB(want.peRed, want.peGreen, want.peBlue)) + " flags " +
                 std::to_string(want.peFlags));
            CHECK(false);
            break;
        }
    }

    HPALETTE palette = g_hPicturePalette;
    CHECK_EQ(GetObjectType(palette), OBJ_PAL);
    ReleaseBackgroundPicture();
    CHECK(g_pPicturePixels == nullptr);
    CHECK(g_hPicturePalette == nullptr);
    CHECK_EQ(GetObjectType(palette), 0);
}

SCENARIO(PictureReleaseAfterFailedLoadsFreesWhatWasAcquired) {
    const std::string table = ColourTable();
    ReleaseBackgroundPicture();
    {
        // A run past the column's end: found, palette built, pixels
        // allocated, then the stream is refused.
        Note("bad stream");
        std::string resource = Resource(table, 1, 4, SmallPicture(9));
        TestModule m("bad-stream", &resource);
        CHECK(!LoadBackgroundPicture(m.Instance()));
        HPALETTE palette = g_hPicturePalette;
        BYTE *pixels = g_pPicturePixels;
        REQUIRE(palette != nullptr && pixels != nullptr);
        HGLOBAL block = GlobalHandle(pixels);
        CHECK(block != nullptr);
        CHECK_EQ(GlobalFlags(block) & GMEM_LOCKCOUNT, 1); // locked once, as held
        CHECK_EQ(GetObjectType(palette), OBJ_PAL);
        ReleaseBackgroundPicture();
        CHECK(g_pPicturePixels == nullptr);
        CHECK(g_hPicturePalette == nullptr);
        CHECK_EQ(GetObjectType(palette), 0);
        CHECK(GlobalHandle(pixels) == nullptr || GlobalFlags(block) == GMEM_INVALID_HANDLE);
        ReleaseBackgroundPicture(); // a second release finds nothing
        CHECK(g_pPicturePixels == nullptr && g_hPicturePalette == nullptr);
    }
    {
        // A bad header is refused before anything is built from it.
        Note("width 6");
        std::string picture = SmallPicture();
        PutU16(picture, 0, 6);
        std::string resource = Resource(table, 1, 4, picture);
        TestModule m("bad-width", &resource);
        CHECK(!LoadBackgroundPicture(m.Instance()));
        CHECK(g_hPicturePalette == nullptr && g_pPicturePixels == nullptr);
        ReleaseBackgroundPicture();
        ReleaseBackgroundPicture();
    }
    {
        Note("no resource");
        TestModule m("missing", nullptr);
        CHECK(!LoadBackgroundPicture(m.Instance()));
        CHECK(g_hPicturePalette == nullptr && g_pPicturePixels == nullptr);
        ReleaseBackgroundPicture();
        ReleaseBackgroundPicture();
        CHECK(g_hPicturePalette == nullptr && g_pPicturePixels == nullptr);
    }
    {
        // A load after all that still works: nothing stale was left behind.
        Note("good after bad");
        std::string resource = Resource(table, 1, 4, SmallPicture());
        TestModule m("good-after-bad", &resource);
        CHECK(LoadBackgroundPicture(m.Instance()));
        CHECK_EQ(g_PictureInfo.bmiHeader.biWidth, kSmallWidth);
        ReleaseBackgroundPicture();
    }
}

// ---- the order of release, and failures of the platform's calls --------------

// The picture load and release compiled into this driver, their platform
// calls watched through the driver's import table.
namespace {

bool g_watching;       // record the calls below
std::string g_calls;   // their names, in order, space-separated
std::string g_failing; // the one call that returns failure while watching
void *g_real[7];

void Record(const char *name) {
    if (g_watching)
        g_calls += std::string(g_calls.empty() ? "" : " ") + name;
}
bool Fails(const char *name) {
    return g_watching && g_failing == name;
}

HGLOBAL WINAPI WatchGlobalAlloc(UINT flags, SIZE_T bytes) {
    Record("GlobalAlloc");
    return Fails("GlobalAlloc") ? nullptr
                                : reinterpret_cast<decltype(&GlobalAlloc)>(g_real[0])(flags, bytes);
}
LPVOID WINAPI WatchGlobalLock(HGLOBAL h) {
    Record("GlobalLock");
    return Fails("GlobalLock") ? nullptr : reinterpret_cast<decltype(&GlobalLock)>(g_real[1])(h);
}
BOOL WINAPI WatchGlobalUnlock(HGLOBAL h) {
    Record("GlobalUnlock");
    return reinterpret_cast<decltype(&GlobalUnlock)>(g_real[2])(h);
}
HGLOBAL WINAPI WatchGlobalFree(HGLOBAL h) {
    Record("GlobalFree");
    return reinterpret_cast<decltype(&GlobalFree)>(g_real[3])(h);
}
HPALETTE WINAPI WatchCreatePalette(const LOGPALETTE *p) {
    Record("CreatePalette");
    return Fails("CreatePalette") ? nullptr
                                  : reinterpret_cast<decltype(&CreatePalette)>(g_real[4])(p);
}
BOOL WINAPI WatchDeleteObject(HGDIOBJ h) {
    Record("DeleteObject");
    return reinterpret_cast<decltype(&DeleteObject)>(g_real[5])(h);
}
BOOL WINAPI WatchFreeResource(HGLOBAL h) {
    Record("FreeResource");
    return reinterpret_cast<decltype(&FreeResource)>(g_real[6])(h);
}

void WatchPictureCalls() {
    static bool patched;
    if (patched)
        return;
    const struct {
        const char *name;
        void *watch;
    } hooks[] = {
        {"GlobalAlloc", reinterpret_cast<void *>(WatchGlobalAlloc)},
        {"GlobalLock", reinterpret_cast<void *>(WatchGlobalLock)},
        {"GlobalUnlock", reinterpret_cast<void *>(WatchGlobalUnlock)},
        {"GlobalFree", reinterpret_cast<void *>(WatchGlobalFree)},
        {"CreatePalette", reinterpret_cast<void *>(WatchCreatePalette)},
        {"DeleteObject", reinterpret_cast<void *>(WatchDeleteObject)},
        {"FreeResource", reinterpret_cast<void *>(WatchFreeResource)},
    };
    for (size_t i = 0; i < sizeof hooks / sizeof hooks[0]; ++i) {
        if (!PatchImport(hooks[i].name, hooks[i].watch, &g_real[i])) {
            Note(std::string("the driver does not import ") + hooks[i].name);
            REQUIRE(false);
        }
    }
    patched = true;
}

} // namespace

SCENARIO(PictureReleaseOrderAndFailingPlatformCalls) {
    WatchPictureCalls();
    const std::string resource = Resource(ColourTable(), 1, 4, SmallPicture());
    TestModule m("order", &resource);
    ReleaseBackgroundPicture();

    const struct {
        const char *failing;
        bool loads;
        const char *calls; // load and release
    } cases[] = {
        {"", true,
         "CreatePalette GlobalAlloc GlobalLock | GlobalUnlock GlobalFree DeleteObject "
         "FreeResource"},
        {"CreatePalette", false, "CreatePalette | FreeResource"},
        {"GlobalAlloc", false, "CreatePalette GlobalAlloc | DeleteObject FreeResource"},
        {"GlobalLock", false,
         "CreatePalette GlobalAlloc GlobalLock GlobalFree | DeleteObject FreeResource"},
    };
    for (const auto &c : cases) {
        g_calls.clear();
        g_failing = c.failing;
        g_watching = true;
        BOOL loaded = LoadBackgroundPicture(m.Instance());
        Record("|");
        ReleaseBackgroundPicture();
        ReleaseBackgroundPicture(); // the second release finds nothing left
        g_watching = false;
        Note(std::string("failing: ") + (*c.failing ? c.failing : "nothing"));
        CHECK_EQ(loaded != FALSE, c.loads);
        CHECK_EQ(g_calls, c.calls);
        CHECK(g_hPicturePalette == nullptr && g_pPicturePixels == nullptr);
    }
}
