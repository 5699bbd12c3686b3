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
const uint8_t kPaletteNoCollapse = 4; // PC_NOCOLLAPSE

// Finds the column-RLE picture inside a resource of `size` bytes. False when
// the colour table, the picture table or the record header lies past the end.
bool LocateBackgroundPicture(const uint8_t *resource, size_t size, const uint8_t **picture,
                             size_t *pictureSize);

// Splits the resource's colour table into a logical palette (red, green,
// blue, flags per entry, as PALETTEENTRY) and a bitmap colour table (blue,
// green, red, reserved 0, as RGBQUAD).
void SplitColourTable(const uint8_t *table, uint8_t logical[256][4], uint8_t quads[256][4]);
