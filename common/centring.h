// Where a window goes on the desktop: free of Win32 calls so that the native
// tests reach it.
#pragma once
#include <cstdint>

// Position that centres an extent on the desktop. Signed, truncating toward
// zero, so a window wider than the desktop lands symmetrically off-screen
// (e.g. 640 and 701 give -30, not -31). The dialogs of the installer pass
// their extent plus one.
int32_t CentreOrigin(int32_t desktopExtent, int32_t windowExtent);
