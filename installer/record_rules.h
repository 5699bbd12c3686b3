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
