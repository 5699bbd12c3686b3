#include "lzencode.h"

namespace {

const size_t kMaxDistance = 4095;
const size_t kMaxLength = 16;
const unsigned kMaxHashBits = 15;

inline uint32_t Hash3(const uint8_t *p, unsigned bits) {
    uint32_t v = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                 static_cast<uint32_t>(p[2]) << 16;
    return (v * 2654435761u) >> (32 - bits);
}

// Appends items to the output, opening a new group with its flag byte
// every eight items.
class GroupWriter {
  public:
    explicit GroupWriter(std::vector<uint8_t> &out) : out_(out) {}

    void Literal(uint8_t byte) {
        Flag(false);
        out_.push_back(byte);
    }

    void BackReference(size_t distance, size_t length) {
        Flag(true);
        uint32_t token = static_cast<uint32_t>(distance) | static_cast<uint32_t>(length - 1) << 12;
        out_.push_back(static_cast<uint8_t>(token));
        out_.push_back(static_cast<uint8_t>(token >> 8));
    }

  private:
    void Flag(bool backReference) {
        if (bitsUsed_ == 8) {
            flagAt_ = out_.size();
            out_.push_back(0);
            bitsUsed_ = 0;
        }
        if (backReference)
            out_[flagAt_] |= static_cast<uint8_t>(0x80 >> bitsUsed_);
        ++bitsUsed_;
    }

    std::vector<uint8_t> &out_;
    size_t flagAt_ = 0;
    unsigned bitsUsed_ = 8;
};

} // namespace

std::vector<uint8_t> LzEncode(const uint8_t *data, size_t size, const LzEncodeOptions &options) {
    std::vector<uint8_t> out;
    out.reserve(size + size / 8 + 16);
    GroupWriter writer(out);

    // Hash chains over 3-byte prefixes: head[h] is the latest position with
    // hash h, prev[p % window] the one before p with the same hash.
    const int32_t kNone = -1;
    // A table no larger than the data keeps small inputs cheap.
    unsigned hashBits = 8;
    while (hashBits < kMaxHashBits && (size_t(1) << hashBits) < size)
        ++hashBits;
    std::vector<int32_t> head(size_t(1) << hashBits, kNone);
    std::vector<int32_t> prev(kMaxDistance + 1, kNone);
    auto insert = [&](size_t p) {
        if (size - p < 3)
            return;
        uint32_t h = Hash3(data + p, hashBits);
        prev[p % (kMaxDistance + 1)] = head[h];
        head[h] = static_cast<int32_t>(p);
    };

    size_t minLength = options.minLength < 1 ? 1 : options.minLength;
    if (minLength > kMaxLength)
        minLength = kMaxLength;
    size_t p = 0;
    while (p < size) {
        size_t limit = size - p < kMaxLength ? size - p : kMaxLength;
        size_t bestLength = 0;
        size_t bestDistance = 0;
        // Short matches that the 3-byte hash cannot find: the last byte
        // repeated, tried first because runs are common.
        if (p >= 1) {
            size_t n = 0;
            while (n < limit && data[p + n] == data[p - 1 + n])
                ++n;
            bestLength = n;
            bestDistance = 1;
        }
        if (size - p >= 3) {
            int32_t candidate = head[Hash3(data + p, hashBits)];
            for (unsigned chain = 0; candidate != kNone && chain < options.maxChain; ++chain) {
                size_t c = static_cast<size_t>(candidate);
                size_t distance = p - c;
                if (distance > kMaxDistance)
                    break;
                size_t n = 0;
                while (n < limit && data[p + n] == data[c + n])
                    ++n;
                if (n > bestLength) {
                    bestLength = n;
                    bestDistance = distance;
                    if (n == limit)
                        break;
                }
                int32_t next = prev[c % (kMaxDistance + 1)];
                // A slot reused by a newer position ends the chain.
                if (next != kNone && static_cast<size_t>(next) >= c)
                    break;
                candidate = next;
            }
        }
        if (bestLength >= minLength) {
            writer.BackReference(bestDistance, bestLength);
            for (size_t i = 0; i < bestLength; ++i)
                insert(p + i);
            p += bestLength;
        } else {
            writer.Literal(data[p]);
            insert(p);
            ++p;
        }
    }
    return out;
}
