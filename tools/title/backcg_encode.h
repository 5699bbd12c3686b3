// The BACKCG resource as the tools write it, the layout picture/backcg.h
// reads (native tool code only, never in Q7.EXE).
#pragma once
#include "backcg.h"
#include "colrle_encode.h"

#include <cstdint>
#include <vector>

// Lays a picture out as the BACKCG resource: the colour table (256 entries
// of blue, green, red), the picture count 1, a picture table of one offset
// (4, counted from the table), a record with its reserved word 0, then the
// column-RLE picture of `pixels` (top-down, `width` x `height`). Empty if
// the picture cannot be encoded.
std::vector<uint8_t> BuildBackgroundResource(const uint8_t colourTable[kColourTableSize],
                                             const uint8_t *pixels, uint32_t width, uint32_t height,
                                             ColumnRleStats *stats = nullptr);
