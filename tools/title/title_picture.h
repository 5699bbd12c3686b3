// The launcher's title picture, drawn procedurally: a lake at dusk under a
// moon, mountain ranges, and the "ORLIN-Q7" title in a blocky face. Native
// tool code only; its output is committed as resources/backcg.bin.
#pragma once
#include "backcg.h"
#include "colrle_encode.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Our drawing keeps to entries kTitleFirstIndex (backcg.h) to this one.
const uint8_t kTitleLastIndex = 228;

// Draws the picture top-down into `pixels` (kTitleWidth * kTitleHeight
// palette indices) and its colour table (256 entries of blue, green, red).
// Entirely integer arithmetic, so the output is the same on every machine.
void DrawTitlePicture(uint8_t *pixels, uint8_t colourTable[768]);

// DrawTitlePicture followed by BuildBackgroundResource (backcg_encode.h):
// the title as the BACKCG resource.
std::vector<uint8_t> BuildTitleResource(ColumnRleStats *stats = nullptr);
