#include "record_rules.h"

namespace {
const long kErrorSuccess = 0;
}

bool AcceptInstallDirData(long result, char *data, uint32_t received, size_t capacity) {
    if (capacity == 0)
        return false;
    if (result != kErrorSuccess || received > capacity) {
        data[0] = '\0';
        return false;
    }
    for (uint32_t i = 0; i < received; ++i) {
        if (data[i] == '\0')
            return true;
    }
    if (received == capacity) {
        data[0] = '\0';
        return false;
    }
    data[received] = '\0';
    return true;
}
