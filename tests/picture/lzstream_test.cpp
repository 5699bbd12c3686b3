#include "lzencode.h"
#include "lzstream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

const uint8_t kUntouched = 0xCC;
const size_t kGuard = 64;

// The format decoded the plain way, over a whole stream, as the oracle.
// Also lists the tokens it meets.
Bytes ReferenceDecode(const Bytes &stream, std::vector<uint32_t> *tokens = nullptr) {
    Bytes out;
    size_t p = 0;
    unsigned flag = 0, bitsLeft = 0;
    for (;;) {
        if (bitsLeft == 0) {
            if (p == stream.size())
                return out;
            flag = stream[p++];
            bitsLeft = 8;
        }
        --bitsLeft;
        bool backReference = (flag & 0x80) != 0;
        flag <<= 1;
        if (!backReference) {
            if (p == stream.size())
                return out;
            out.push_back(stream[p++]);
            continue;
        }
        if (stream.size() - p < 2)
            return out;
        uint32_t token = stream[p] | stream[p + 1] << 8;
        p += 2;
        if (tokens)
            tokens->push_back(token);
        size_t distance = token & 0x0FFF;
        for (uint32_t n = (token >> 12) + 1; n != 0; --n) {
            uint8_t byte = out[out.size() - distance];
            out.push_back(byte);
        }
    }
}

struct Decoded {
    Bytes output;
    LzStreamState state;
};

bool SameState(const LzStreamState &a, const LzStreamState &b) {
    return a.flagBitsLeft == b.flagBitsLeft && a.flagByte == b.flagByte && a.token == b.token &&
           a.resume == b.resume;
}

// Decodes `stream` in pieces of the given sizes (the last piece takes the
// rest). Each piece lives in its own allocation and the output buffer has a
// guard area, so that a read past a piece or a write past the output shows.
// After every call, nothing at or beyond the output position may have been
// written.
Decoded DecodeInPieces(const Bytes &stream, const std::vector<size_t> &sizes) {
    size_t expected = ReferenceDecode(stream).size();
    Bytes buffer(expected + kGuard, kUntouched);
    LzStreamBegin(buffer.data());
    size_t at = 0;
    for (size_t i = 0; at < stream.size() || i == 0; ++i) {
        size_t n = i < sizes.size() ? std::min(sizes[i], stream.size() - at) : stream.size() - at;
        Bytes piece(stream.begin() + at, stream.begin() + at + n);
        LzStreamSetInput(piece.data(), static_cast<uint32_t>(n));
        LzStreamDecode();
        at += n;
        EXPECT_EQ(g_lzStream.input, piece.data()) << "input position written back";
        EXPECT_EQ(g_lzStream.inputLeft, n) << "input bytes left written back";
        size_t written = static_cast<size_t>(g_lzStream.output - buffer.data());
        EXPECT_LE(written, expected);
        EXPECT_TRUE(std::all_of(buffer.begin() + written, buffer.end(),
                                [](uint8_t b) { return b == kUntouched; }))
            << "wrote ahead of the output position after " << at << " input bytes";
    }
    Decoded d;
    d.output.assign(buffer.data(), g_lzStream.output);
    d.state = g_lzStream;
    return d;
}

Decoded DecodeWhole(const Bytes &stream) {
    return DecodeInPieces(stream, {});
}

Decoded DecodeBytewise(const Bytes &stream) {
    return DecodeInPieces(stream, std::vector<size_t>(stream.size(), 1));
}

std::vector<size_t> RandomPieces(size_t total, std::mt19937 &rng, size_t largest) {
    std::vector<size_t> sizes;
    std::uniform_int_distribution<size_t> pick(1, largest);
    for (size_t sum = 0; sum < total;) {
        sizes.push_back(pick(rng));
        sum += sizes.back();
    }
    return sizes;
}

// A valid stream of random items: literals and back-references of every
// length and distance, most of them short, some overlapping.
Bytes RandomStream(size_t items, std::mt19937 &rng) {
    Bytes stream;
    size_t flagAt = 0, written = 0;
    for (size_t i = 0; i < items; ++i) {
        if (i % 8 == 0) {
            flagAt = stream.size();
            stream.push_back(0);
        }
        if (written == 0 || rng() % 3 == 0) {
            stream.push_back(static_cast<uint8_t>(rng()));
            ++written;
            continue;
        }
        stream[flagAt] |= static_cast<uint8_t>(0x80 >> (i % 8));
        size_t reach = std::min<size_t>(written, 4095);
        size_t distance = rng() % 2 ? 1 + rng() % std::min<size_t>(reach, 20) : 1 + rng() % reach;
        size_t length = 1 + rng() % 16;
        uint32_t token = static_cast<uint32_t>(distance | (length - 1) << 12);
        stream.push_back(static_cast<uint8_t>(token));
        stream.push_back(static_cast<uint8_t>(token >> 8));
        written += length;
    }
    return stream;
}

Bytes TextLike(size_t size, std::mt19937 &rng) {
    static const char *const kWords[] = {"the",  "picture", "palette", "column", "stream",
                                         "back", "window",  "install", "disc",   "a",
                                         "of",   "and",     "button",  "copy",   "file"};
    std::string text;
    while (text.size() < size) {
        text += kWords[rng() % (sizeof kWords / sizeof kWords[0])];
        text += rng() % 9 == 0 ? ".\n" : " ";
    }
    return Bytes(text.begin(), text.begin() + size);
}

Bytes PictureLike(size_t width, size_t rows, std::mt19937 &rng) {
    Bytes pixels(width * rows);
    for (size_t y = 0; y < rows; ++y) {
        for (size_t x = 0; x < width;) {
            size_t run = 1 + rng() % 24;
            uint8_t colour = static_cast<uint8_t>(y > 0 && rng() % 2 ? pixels[(y - 1) * width + x]
                                                                     : rng() % 16 + 32);
            for (; run != 0 && x < width; --run, ++x)
                pixels[y * width + x] = colour;
        }
    }
    return pixels;
}

class LzStreamTest : public ::testing::Test {
  protected:
    // Each test starts from the program-start state.
    void SetUp() override {
        g_lzStream = LzStreamState();
    }
};

TEST_F(LzStreamTest, EmptyCallOnFreshStateWaitsForFlagByte) {
    uint8_t buffer[4] = {kUntouched, kUntouched, kUntouched, kUntouched};
    g_lzStream.output = buffer;
    const uint8_t nothing[1] = {0};
    LzStreamSetInput(nothing, 0);
    LzStreamDecode();
    EXPECT_EQ(g_lzStream.output, buffer);
    EXPECT_EQ(g_lzStream.resume, kLzResumeFlagByte);
    EXPECT_EQ(g_lzStream.flagBitsLeft, 0);
    EXPECT_EQ(buffer[0], kUntouched);
}

TEST_F(LzStreamTest, FlagBytesAnnounceLiteralsAndBackReferences) {
    // 0x00: eight literals; 0xFF: eight back-references.
    Bytes stream = {0x00, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 0xFF};
    const uint32_t tokens[8] = {0x0001,      0x1002, 0x2008, 0xF004,
                                0x0FFF & 10, 0x3007, 0x0003, 0x1001};
    for (uint32_t t : tokens) {
        stream.push_back(static_cast<uint8_t>(t));
        stream.push_back(static_cast<uint8_t>(t >> 8));
    }
    std::string expected = "abcdefgh";
    for (uint32_t t : tokens)
        for (uint32_t n = 0; n <= t >> 12; ++n)
            expected += expected[expected.size() - (t & 0x0FFF)];
    Decoded d = DecodeWhole(stream);
    EXPECT_EQ(std::string(d.output.begin(), d.output.end()), expected);
    EXPECT_EQ(std::string(d.output.begin(), d.output.begin() + 14), "abcdefghhhhdef");
    EXPECT_EQ(d.state.resume, kLzResumeFlagByte);
    EXPECT_EQ(d.state.flagBitsLeft, 0);
    EXPECT_EQ(d.state.flagByte, 0);
    EXPECT_EQ(d.state.token, 0x1001u);
}

TEST_F(LzStreamTest, DistanceOneLengthSixteenRepeatsLastByte) {
    Decoded d = DecodeWhole({0x40, 'x', 0x01, 0xF0});
    EXPECT_EQ(d.output, Bytes(17, 'x'));
    EXPECT_EQ(d.state.token, 0xF001u);
    // The third item, a literal, waits for its byte; its flag bit is used.
    EXPECT_EQ(d.state.resume, kLzResumeLiteral);
    EXPECT_EQ(d.state.flagBitsLeft, 5);
}

TEST_F(LzStreamTest, FarthestDistanceLengthOne) {
    std::mt19937 rng(7);
    Bytes stream;
    Bytes literals;
    for (size_t i = 0; i < 4095; ++i) {
        if (i % 8 == 0)
            stream.push_back(0x00);
        literals.push_back(static_cast<uint8_t>(rng()));
        stream.push_back(literals.back());
    }
    // 4095 = 511 groups of 8 and 7 literals: the token is the group's last item.
    stream[stream.size() - 8] = 0x01;
    stream.push_back(0xFF);
    stream.push_back(0x0F);
    Bytes expected = literals;
    expected.push_back(literals[0]);
    for (const Decoded &d : {DecodeWhole(stream), DecodeBytewise(stream)}) {
        EXPECT_EQ(d.output, expected);
        EXPECT_EQ(d.state.token, 0x0FFFu);
        EXPECT_EQ(d.state.resume, kLzResumeFlagByte);
    }
}

TEST_F(LzStreamTest, SuspendsAtTheByteItWaitsFor) {
    // Flag 0b01100000: a literal, two back-references, then literals.
    const Bytes stream = {0x60, 'q', 0x01, 0x20, 0x02, 0x10, 'z'};
    struct Cut {
        size_t at;
        LzResume resume;
        uint32_t token;
        size_t written;
    };
    const Cut cuts[] = {{0, kLzResumeFlagByte, 0, 0},     {1, kLzResumeLiteral, 0, 0},
                        {2, kLzResumeTokenLow, 0, 1},     {3, kLzResumeTokenHigh, 0x01, 1},
                        {4, kLzResumeTokenLow, 0, 4},     {5, kLzResumeTokenHigh, 0x02, 4},
                        {6, kLzResumeLiteral, 0x1002, 6}, {7, kLzResumeLiteral, 0x1002, 7}};
    const std::string expected = "qqqqqqz";
    for (const Cut &cut : cuts) {
        SCOPED_TRACE(cut.at);
        Bytes buffer(8, kUntouched);
        LzStreamBegin(buffer.data());
        Bytes first(stream.begin(), stream.begin() + cut.at);
        LzStreamSetInput(first.data(), static_cast<uint32_t>(first.size()));
        LzStreamDecode();
        EXPECT_EQ(g_lzStream.resume, cut.resume);
        EXPECT_EQ(g_lzStream.token, cut.token);
        EXPECT_EQ(g_lzStream.output - buffer.data(), static_cast<ptrdiff_t>(cut.written));
        // The next piece's first byte is the one the decoder waited for.
        Bytes rest(stream.begin() + cut.at, stream.end());
        LzStreamSetInput(rest.data(), static_cast<uint32_t>(rest.size()));
        LzStreamDecode();
        EXPECT_EQ(std::string(buffer.data(), g_lzStream.output), expected);
    }
}

TEST_F(LzStreamTest, EmptyPieceMidStreamKeepsWaiting) {
    Bytes buffer(20, kUntouched);
    LzStreamBegin(buffer.data());
    const Bytes first = {0x40, 'k', 0x01};
    LzStreamSetInput(first.data(), 3);
    LzStreamDecode();
    ASSERT_EQ(g_lzStream.resume, kLzResumeTokenHigh);
    const LzStreamState before = g_lzStream;
    // A byte that must not be read: an empty piece gives nothing.
    const uint8_t poison[1] = {0x00};
    LzStreamSetInput(poison, 0);
    LzStreamDecode();
    EXPECT_TRUE(SameState(g_lzStream, before));
    EXPECT_EQ(g_lzStream.output, before.output);
    const Bytes second = {0x30};
    LzStreamSetInput(second.data(), 1);
    LzStreamDecode();
    EXPECT_EQ(std::string(buffer.data(), g_lzStream.output), "kkkkk");
}

TEST_F(LzStreamTest, BeginStartsAFreshStreamAnywhere) {
    // Leave the first stream between a token's bytes, in mid-group.
    Bytes buffer1(4, kUntouched);
    LzStreamBegin(buffer1.data());
    const Bytes first = {0x40, 'k', 0x01};
    LzStreamSetInput(first.data(), 3);
    LzStreamDecode();
    ASSERT_EQ(g_lzStream.resume, kLzResumeTokenHigh);
    const Bytes kept = buffer1;

    std::mt19937 rng(3);
    const Bytes second = RandomStream(500, rng);
    Bytes buffer2(ReferenceDecode(second).size());
    LzStreamBegin(buffer2.data());
    EXPECT_EQ(g_lzStream.resume, kLzResumeNone);
    EXPECT_EQ(g_lzStream.flagBitsLeft, 0);
    EXPECT_EQ(g_lzStream.output, buffer2.data());
    LzStreamSetInput(second.data(), static_cast<uint32_t>(second.size()));
    LzStreamDecode();
    EXPECT_EQ(buffer2, ReferenceDecode(second));
    EXPECT_EQ(buffer1, kept);
}

TEST_F(LzStreamTest, EveryShortDistanceAndLengthInLongPieces) {
    // Long enough pieces take the wide-copy path; each short distance and
    // length meets it once, overlapping or not.
    std::mt19937 rng(11);
    for (uint32_t distance = 1; distance <= 24; ++distance) {
        for (uint32_t length = 1; length <= 16; ++length) {
            Bytes stream;
            for (int g = 0; g < 4; ++g) {
                stream.push_back(0x00);
                for (int i = 0; i < 8; ++i)
                    stream.push_back(static_cast<uint8_t>(rng()));
            }
            uint32_t token = distance | (length - 1) << 12;
            const uint8_t low = static_cast<uint8_t>(token);
            const uint8_t high = static_cast<uint8_t>(token >> 8);
            // Items: literal, back-reference, four literals, back-reference, literal.
            const uint8_t group[] = {0x42, 'A', low, high, 'B', 'C', 'D', 'E', low, high, 'F'};
            stream.insert(stream.end(), group, group + sizeof group);
            for (int g = 0; g < 8; ++g) {
                stream.push_back(0x00);
                for (int i = 0; i < 8; ++i)
                    stream.push_back(static_cast<uint8_t>(rng()));
            }
            Decoded d = DecodeWhole(stream);
            ASSERT_EQ(d.output, ReferenceDecode(stream)) << distance << " " << length;
        }
    }
}

TEST_F(LzStreamTest, WritesNothingPastTheOutputWhenItemsAreShortest) {
    // Back-references of length 1 give the least output per input byte, so
    // the wide copies come closest to the end of the output here.
    for (size_t tail = 0; tail <= 17; ++tail) {
        SCOPED_TRACE(tail);
        Bytes stream = {0x00, 1, 2, 3, 4, 5, 6, 7, 8};
        for (int g = 0; g < 10; ++g) {
            stream.push_back(0xFF);
            for (int i = 0; i < 8; ++i)
                stream.insert(stream.end(), {static_cast<uint8_t>(8 - i % 3), 0x00});
        }
        // A last group cut after `tail` bytes.
        for (size_t i = 0; i < tail; ++i)
            stream.push_back(i == 0 ? 0xFF : i % 2 ? 0x08 : 0x00);
        Decoded d = DecodeWhole(stream);
        EXPECT_EQ(d.output, ReferenceDecode(stream));
    }
}

TEST_F(LzStreamTest, AnyPiecesGiveTheSameOutputAndState) {
    std::mt19937 rng(2024);
    std::vector<Bytes> streams;
    for (size_t items : {1, 7, 8, 9, 100, 3000})
        streams.push_back(RandomStream(items, rng));
    streams.push_back(LzEncode(TextLike(5000, rng).data(), 5000));
    Bytes picture = PictureLike(320, 40, rng);
    streams.push_back(LzEncode(picture.data(), picture.size()));
    for (const Bytes &stream : streams) {
        SCOPED_TRACE(stream.size());
        const Bytes expected = ReferenceDecode(stream);
        const Decoded whole = DecodeWhole(stream);
        EXPECT_EQ(whole.output, expected);
        const Decoded bytewise = DecodeBytewise(stream);
        EXPECT_EQ(bytewise.output, expected);
        EXPECT_TRUE(SameState(bytewise.state, whole.state));
        for (size_t largest : {3, 70, 700}) {
            const Decoded pieces =
                DecodeInPieces(stream, RandomPieces(stream.size(), rng, largest));
            EXPECT_EQ(pieces.output, expected);
            EXPECT_TRUE(SameState(pieces.state, whole.state));
        }
    }
}

TEST(LzStreamMeasureTest, SizesValidStreamsAndRefusesBadDistances) {
    std::mt19937 rng(5);
    Bytes stream = RandomStream(1000, rng);
    size_t size = 0;
    ASSERT_TRUE(LzStreamMeasure(stream.data(), stream.size(), &size));
    EXPECT_EQ(size, ReferenceDecode(stream).size());
    // A cut token counts for nothing.
    ASSERT_TRUE(LzStreamMeasure(Bytes{0x40, 'a', 0x01}.data(), 3, &size));
    EXPECT_EQ(size, 1u);
    ASSERT_TRUE(LzStreamMeasure(nullptr, 0, &size));
    EXPECT_EQ(size, 0u);

    const Bytes distanceZero = {0x40, 'a', 0x00, 0x30};
    EXPECT_FALSE(LzStreamMeasure(distanceZero.data(), distanceZero.size(), &size));
    const Bytes nothingWritten = {0x80, 0x01, 0x00};
    EXPECT_FALSE(LzStreamMeasure(nothingWritten.data(), nothingWritten.size(), &size));
    const Bytes oneTooFar = {0x20, 'a', 'b', 0x03, 0x00};
    EXPECT_FALSE(LzStreamMeasure(oneTooFar.data(), oneTooFar.size(), &size));
    const Bytes justFarEnough = {0x20, 'a', 'b', 0x02, 0xF0};
    ASSERT_TRUE(LzStreamMeasure(justFarEnough.data(), justFarEnough.size(), &size));
    EXPECT_EQ(size, 18u);
}

TEST(LzEncodeTest, RoundTripsVariedData) {
    std::mt19937 rng(99);
    std::vector<Bytes> inputs = {
        {}, {42}, Bytes(1000, 0), TextLike(20000, rng), PictureLike(640, 48, rng)};
    Bytes noise(5000);
    for (uint8_t &b : noise)
        b = static_cast<uint8_t>(rng());
    inputs.push_back(noise);
    Bytes periodic;
    for (size_t i = 0; i < 3000; ++i)
        periodic.push_back(static_cast<uint8_t>("abcdefg"[i % (3 + i / 1000)]));
    inputs.push_back(periodic);
    for (unsigned minLength : {1u, 3u, 16u}) {
        LzEncodeOptions options;
        options.minLength = minLength;
        for (const Bytes &input : inputs) {
            SCOPED_TRACE(testing::Message() << input.size() << " min " << minLength);
            Bytes stream = LzEncode(input.data(), input.size(), options);
            size_t size = 0;
            ASSERT_TRUE(LzStreamMeasure(stream.data(), stream.size(), &size));
            EXPECT_EQ(size, input.size());
            EXPECT_EQ(DecodeWhole(stream).output, input);
        }
    }
    Bytes text = inputs[3];
    EXPECT_LT(LzEncode(text.data(), text.size()).size(), text.size() / 2);
}

TEST(LzEncodeTest, FindsFarthestLongestAndOverlappingMatches) {
    std::mt19937 rng(1);
    Bytes input(4095);
    for (uint8_t &b : input)
        b = static_cast<uint8_t>(rng());
    Bytes repeated(input.begin(), input.begin() + 64);
    input.insert(input.end(), repeated.begin(), repeated.end());
    input.insert(input.end(), {'r', 's', 't', 'r', 's', 't', 'r', 's', 't', 'r', 's', 't', 'r'});
    Bytes stream = LzEncode(input.data(), input.size());
    std::vector<uint32_t> tokens;
    EXPECT_EQ(ReferenceDecode(stream, &tokens), input);
    EXPECT_NE(std::find(tokens.begin(), tokens.end(), 0xF000u | 4095), tokens.end());
    bool overlapping = std::any_of(tokens.begin(), tokens.end(),
                                   [](uint32_t t) { return (t & 0x0FFF) < (t >> 12) + 1; });
    EXPECT_TRUE(overlapping);
}

} // namespace
