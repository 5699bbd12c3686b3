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

uint32_t RecordScanLimit(bool counted, uint32_t valuesBefore) {
    const uint32_t kMargin = 64;
    const uint32_t kUncounted = 4096;
    if (!counted)
        return kUncounted;
    return valuesBefore > 0xFFFFFFFFu - kMargin ? 0xFFFFFFFFu : valuesBefore + kMargin;
}
