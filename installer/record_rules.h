// Rules of the install record that do not need the registry.
#pragma once
#include <cstddef>
#include <cstdint>

// What an enumerated InstallDir value's data may be taken as. data holds
// `received` bytes of a buffer of `capacity` bytes. A value that did not fit
// (ERROR_MORE_DATA), or whose string has no terminator within the buffer,
// would leave a truncated path that Play or the uninstall would act on: it
// is refused, and the buffer is emptied. Otherwise the data is zero-terminated
// in place (a REG_SZ written without its terminator still reads whole).
bool AcceptInstallDirData(long result, char *data, uint32_t received, size_t capacity);

// The value scan passes over an entry whose enumeration failed, but it must
// end even when every index fails (a key deleted by another program during
// the scan answers each index with an error, for four billion indexes). It
// visits at most the values counted before it, plus a margin for values
// added meanwhile; a key that could not be counted gets a fixed allowance.
uint32_t RecordScanLimit(bool counted, uint32_t valuesBefore);

enum RecordScanStep { kScanNextValue, kScanFound, kScanNoMoreValues };

// Visits value indexes 0, 1, ... below limit until visit(index) reports the
// record found or no more values. True when it was found.
template <class Visit> bool ScanRecordValues(uint32_t limit, Visit visit) {
    for (uint32_t index = 0; index < limit; ++index) {
        RecordScanStep step = visit(index);
        if (step != kScanNextValue)
            return step == kScanFound;
    }
    return false;
}
