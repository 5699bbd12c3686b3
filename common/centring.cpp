#include "centring.h"

int32_t CentreOrigin(int32_t desktopExtent, int32_t windowExtent) {
    return (desktopExtent - windowExtent) / 2;
}
