// Layout of the background picture resource, without Win32 calls.
//
//   0    768  colour table: 256 entries of blue, green, red
//   768  4    picture count (not read)
//   772  4    first picture offset, counted from 772
//   772 + offset: the picture record: u32 reserved, then a column-RLE picture
#pragma once
#include <cstddef>
#include <cstdint>

const size_t kColourTableSize = 768;
// The picture count and the first picture's offset follow the colour table;
// the offset is counted from its own first byte.
const size_t kPictureTableOffset = kColourTableSize + 4;

// The title picture: 580 x 440, of which the main window shows the centre.
// Its colours take entries 10 to 245 of the colour table; the 20 system
// colour slots around them (0 to 9, 246 to 255) are left black.
const uint32_t kTitleWidth = 580;
const uint32_t kTitleHeight = 440;
const uint8_t kTitleFirstIndex = 10;
const unsigned kTitleMaxColours = 236;
const uint8_t kPaletteNoCollapse = 4; // PC_NOCOLLAPSE

// Finds the column-RLE picture inside a resource of `size` bytes. False when
// the colour table, the picture table or the record header lies past the end.
bool LocateBackgroundPicture(const uint8_t *resource, size_t size, const uint8_t **picture,
                             size_t *pictureSize);

// Splits the resource's colour table into a logical palette (red, green,
// blue, flags per entry, as PALETTEENTRY) and a bitmap colour table (blue,
// green, red, reserved 0, as RGBQUAD).
void SplitColourTable(const uint8_t *table, uint8_t logical[256][4], uint8_t quads[256][4]);
