#include "background.h"
#include "../picture/backcg.h"
#include "../picture/colrle.h"

HPALETTE g_hPicturePalette;
PictureInfo g_PictureInfo;
BYTE *g_pPicturePixels;

static HRSRC s_hPictureInfo;
static HGLOBAL s_hPictureData;

static struct {
    WORD palVersion;
    WORD palNumEntries;
    PALETTEENTRY palPalEntry[256];
} s_LogPalette;

static BOOL CreatePicturePalette(const BYTE *table) {
    SplitColourTable(table, reinterpret_cast<uint8_t(*)[4]>(s_LogPalette.palPalEntry),
                     reinterpret_cast<uint8_t(*)[4]>(g_PictureInfo.bmiColors));
    s_LogPalette.palVersion = 0x300;
    s_LogPalette.palNumEntries = 256;
    // The 20 static slots follow the system palette, so realising the
    // picture palette leaves the system colours where they are.
    HDC hdc = GetDC(NULL);
    GetSystemPaletteEntries(hdc, 0, 10, &s_LogPalette.palPalEntry[0]);
    GetSystemPaletteEntries(hdc, 246, 10, &s_LogPalette.palPalEntry[246]);
    ReleaseDC(NULL, hdc);
    g_hPicturePalette = CreatePalette(reinterpret_cast<LOGPALETTE *>(&s_LogPalette));
    return g_hPicturePalette != NULL;
}

BOOL LoadBackgroundPicture(HINSTANCE hInstance) {
    s_hPictureInfo = FindResourceA(hInstance, "BACKCG", MAKEINTRESOURCEA(10));
    if (s_hPictureInfo == NULL)
        return FALSE;
    s_hPictureData = LoadResource(hInstance, s_hPictureInfo);
    if (s_hPictureData == NULL)
        return FALSE;
    const BYTE *resource = static_cast<const BYTE *>(LockResource(s_hPictureData));
    DWORD size = SizeofResource(hInstance, s_hPictureInfo);
    const uint8_t *picture;
    size_t pictureSize;
    uint32_t width, height;
    // The resource is checked whole before anything is built from it.
    if (resource == NULL || !LocateBackgroundPicture(resource, size, &picture, &pictureSize) ||
        !ColumnRleReadHeader(picture, pictureSize, &width, &height))
        return FALSE;
    if (!CreatePicturePalette(resource))
        return FALSE;
    HGLOBAL hPixels = GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(width) * height);
    if (hPixels == NULL)
        return FALSE;
    g_pPicturePixels = static_cast<BYTE *>(GlobalLock(hPixels));
    if (g_pPicturePixels == NULL) {
        GlobalFree(hPixels);
        return FALSE;
    }
    if (!ColumnRleDecodeChecked(g_pPicturePixels + (height - 1) * width, picture, pictureSize,
                                -static_cast<int32_t>(width)))
        return FALSE;
    BITMAPINFOHEADER &bih = g_PictureInfo.bmiHeader;
    bih.biSize = sizeof(BITMAPINFOHEADER);
    bih.biWidth = static_cast<LONG>(width);
    bih.biHeight = static_cast<LONG>(height);
    bih.biPlanes = 1;
    bih.biBitCount = 8;
    bih.biCompression = BI_RGB;
    return TRUE;
}

void ReleaseBackgroundPicture(void) {
    if (g_pPicturePixels != NULL) {
        GlobalUnlock(GlobalHandle(g_pPicturePixels));
        GlobalFree(GlobalHandle(g_pPicturePixels));
        g_pPicturePixels = NULL;
    }
    if (g_hPicturePalette != NULL) {
        DeleteObject(g_hPicturePalette);
        g_hPicturePalette = NULL;
    }
    if (s_hPictureData != NULL) {
        FreeResource(s_hPictureData);
        s_hPictureData = NULL;
    }
}
