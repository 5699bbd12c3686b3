#include "colrle_blit.h"

#include "cell.h"

uint32_t g_patternMode;
uint32_t g_patternMask;
uint32_t g_patternStepsLeft;

void SetPattern(uint32_t mode, uint32_t mask, uint32_t stepsLeft) {
    g_patternMode = mode;
    g_patternMask = mask;
    g_patternStepsLeft = stepsLeft;
}

void AdvancePattern() {
    if (g_patternStepsLeft == 0)
        return;
    uint32_t high = (g_patternMask >> 8) & 0xFF;
    uint32_t low = g_patternMask & 0xFF;
    if (g_patternMode == 1) {
        high = ((high >> 1) | (high << 7) | 0x80) & 0xFF;
        low = ((low >> 1) | (low << 7) | 0x08) & 0xFF;
    } else if (g_patternMode == 2) {
        high >>= 1;
        low = ((high >> 4) | (high << 4)) & 0xFF;
    }
    g_patternMask = (g_patternMask & 0xFFFF0000u) | high << 8 | low;
    --g_patternStepsLeft;
}
