#include "colrle.h"
#include "colrle_walk.h"

namespace {

// The trusted decoder's last columns are walked exactly, without the
// read-ahead, and hold at least a cell each: enough for the read-ahead of
// the column before them, so that nothing past the stream is read.
constexpr uint32_t kExactTailColumns = 2;
static_assert(kExactTailColumns * kColumnRleMinColumnBytes >= kColumnRleReadAhead,
              "the columns walked exactly hold the read-ahead of the one before them");

// One column, for both decoders: the walk that tests run counts, trusts the
// stream to hold the column's bytes and reads ahead past its end. Out of
// line, so that the two decoders run the very same machine code (see
// bench/NOTES.md). The test of a run against the column's end costs the
// trusted decoder nothing, since the read-ahead needs it anyway; on a stream
// that is not valid after all it stops a run from writing past the column.
// Returns nullptr for such a run.
__attribute__((noinline)) const uint8_t *DecodeColumn(const uint8_t *s, uint32_t height,
                                                      uint8_t *destination, int32_t stride) {
    ColumnRleStoreSink sink(destination, stride);
    return ColumnRleWalkColumnWith<false, true, true>(s, s, height, sink);
}

} // namespace

void ColumnRleDecode(uint8_t *destination, const uint8_t *source, int32_t stride) {
    const uint32_t columns = ColumnRleColumns(source);
    const uint32_t height = ColumnRleHeight(source);
    const uint8_t *s = ColumnRleStream(source);
    uint32_t i = 0;
    // kExactTailColumns more columns hold the read-ahead past this one.
    for (; i + kExactTailColumns < columns && s != nullptr; ++i)
        s = DecodeColumn(s, height, destination + 4 * static_cast<size_t>(i), stride);
    for (; i < columns && s != nullptr; ++i) {
        ColumnRleStoreSink sink(destination + 4 * static_cast<size_t>(i), stride);
        s = ColumnRleWalkColumnWith<false, true>(s, s, height, sink);
    }
}

bool ColumnRleReadHeader(const uint8_t *source, size_t size, uint32_t *width, uint32_t *height) {
    if (size < 4)
        return false;
    uint32_t w = ColumnRleWidth(source);
    uint32_t h = ColumnRleHeight(source);
    if (w < 4 || (w & 3) != 0 || h == 0)
        return false;
    *width = w;
    *height = h;
    return true;
}

bool ColumnRleDecodeChecked(uint8_t *destination, const uint8_t *source, size_t size,
                            int32_t stride) {
    uint32_t width, height;
    if (!ColumnRleReadHeader(source, size, &width, &height))
        return false;
    const uint8_t *s = ColumnRleStream(source);
    const uint8_t *end = source + size;
    const uint32_t columns = width >> 2;
    // As ColumnRleWalkColumnChecked, with the shared column function for
    // the columns that have room for it and its read-ahead.
    for (uint32_t i = 0; i < columns; ++i) {
        uint8_t *column = destination + 4 * static_cast<size_t>(i);
        // The stream holds this column at its costliest and the read-ahead.
        if (ColumnRleRoomForColumn(s, end, height, kColumnRleReadAhead)) {
            s = DecodeColumn(s, height, column, stride);
        } else {
            ColumnRleStoreSink sink(column, stride);
            s = ColumnRleWalkColumnWith<true, true>(s, end, height, sink);
        }
        if (s == nullptr)
            return false;
    }
    return true;
}
