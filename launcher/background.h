// The background picture: loaded once at start-up, painted by the main
// window, released at the end.
#pragma once
#include <windows.h>

struct PictureInfo {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[256];
};

extern HPALETTE g_hPicturePalette;
extern PictureInfo g_PictureInfo;
extern BYTE *g_pPicturePixels;

// Finds, loads and checks BACKCG, builds the palette and the bitmap info and
// unpacks the picture. False on any failure; what was acquired stays for
// ReleaseBackgroundPicture.
BOOL LoadBackgroundPicture(HINSTANCE hInstance);

// Frees whatever the load acquired: pixels, palette, resource. Safe after a
// partial load or none.
void ReleaseBackgroundPicture(void);
