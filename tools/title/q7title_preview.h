// The preview: the launcher's main window as the player sees it at the
// usual system font, drawn from the converted picture, for the publisher
// to look at before building a disc.
#pragma once
#include "dlg_main_layout.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace q7title {

// The main dialog's client area at the usual system font (dialog base
// units 8 x 16: 2 pixels a unit): what the player sees of the picture. A
// kept size must cover it.
const int kPixelsPerUnit = 2;
const size_t kWindowWidth = kMainUnitsWide * kPixelsPerUnit;
const size_t kWindowHeight = kMainUnitsHigh * kPixelsPerUnit;

// The main window's client area as PNG bytes: the centre of the picture
// (`width` x `height` top-down rows of red, green, blue bytes, at least the
// window's size) as the launcher crops it, and the buttons, labelled when
// the Japanese font is there.
std::vector<uint8_t> Preview(const std::vector<uint8_t> &rgb, size_t width, size_t height);

} // namespace q7title
