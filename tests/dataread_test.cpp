#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "r13/dataread.h"
#include "stream_fixture.h"
#include "writer/bitwriter.h"

namespace {

using dwgw::BitWriter;
using Bytes = std::vector<uint8_t>;

// A DataRead over the fixture's stream, gone with the test.
struct Reader {
    explicit Reader(Bytes bytes, tqhost::HostOptions options = {}) : fixture(std::move(bytes), std::move(options))
    {
        reader = newDataRead(&fixture.session, fixture.memory, fixture.stream);
    }
    ~Reader() { deleteDataRead(reader); }

    // Where the next unread bit is, counted in bits from the start.
    int32_t bitOffset() const { return fixture.stream->CurPosition() * 8 + reader->bitPosition(); }

    StreamFixture fixture;
    DataRead *reader = nullptr;
};

// Reads one value; checks it when the read succeeds; answers the result.
using ReadValue = std::function<int32_t(DataRead &)>;

template <class T>
ReadValue expect(int32_t (DataRead::*get)(T *), T expected)
{
    return [get, expected](DataRead &in) {
        T value{};
        int32_t ok = (in.*get)(&value);
        if (ok) {
            EXPECT_EQ(value, expected);
        }
        return ok;
    };
}

ReadValue expectText(const std::string &expected)
{
    return [expected](DataRead &in) {
        int32_t length = -1;
        char *text = nullptr;
        int32_t ok = in.getT(&length, &text);
        if (ok) {
            EXPECT_EQ(std::string(text, static_cast<size_t>(length)), expected);
            EXPECT_EQ(text[length], '\0');
            in.memory()->free(text);
        }
        return ok;
    };
}

struct ValueCase {
    const char *name;
    std::function<void(BitWriter &)> write;
    ReadValue read;
};

const std::vector<ValueCase> &valueCases()
{
    static const std::vector<ValueCase> cases = {
        {"B 0", [](BitWriter &w) { w.B(false); }, expect(&DataRead::getB, 0)},
        {"B 1", [](BitWriter &w) { w.B(true); }, expect(&DataRead::getB, 1)},
        {"2B", [](BitWriter &w) { w.B(true).B(false); },
         [](DataRead &in) {
             int32_t first = -1;
             int32_t second = -1;
             int32_t ok = in.get2B(&first, &second);
             if (ok) {
                 EXPECT_EQ(first, 1);
                 EXPECT_EQ(second, 0);
             }
             return ok;
         }},
        {"4B", [](BitWriter &w) { w.B4(11); }, expect(&DataRead::get4B, 11)},
        {"RC", [](BitWriter &w) { w.RC(0x5E); }, expect(&DataRead::getRC, uint8_t{0x5E})},
        {"RS", [](BitWriter &w) { w.RS(0xBEEF); }, expect(&DataRead::getRS, uint16_t{0xBEEF})},
        {"MS", [](BitWriter &w) { w.RS(0x8001); }, expect(&DataRead::getMS, uint16_t{0x8001})},
        {"RL", [](BitWriter &w) { w.RL(0xDEADBEEF); }, expect(&DataRead::getRL, uint32_t{0xDEADBEEF})},
        {"RD", [](BitWriter &w) { w.RD(-2.5e-7); }, expect(&DataRead::getRD, -2.5e-7)},
        {"BS code 0", [](BitWriter &w) { w.BSCode(0, 0x1234); }, expect(&DataRead::getBS, uint16_t{0x1234})},
        {"BS code 1 is unsigned", [](BitWriter &w) { w.BSCode(1, 0xFF); }, expect(&DataRead::getBS, uint16_t{255})},
        {"BS code 2", [](BitWriter &w) { w.BSCode(2); }, expect(&DataRead::getBS, uint16_t{0})},
        {"BS code 3", [](BitWriter &w) { w.BSCode(3); }, expect(&DataRead::getBS, uint16_t{256})},
        {"BL code 0", [](BitWriter &w) { w.BLCode(0, 0x89ABCDEF); }, expect(&DataRead::getBL, uint32_t{0x89ABCDEF})},
        {"BL code 1 is unsigned", [](BitWriter &w) { w.BLCode(1, 0x80); }, expect(&DataRead::getBL, uint32_t{128})},
        {"BL code 2", [](BitWriter &w) { w.BLCode(2); }, expect(&DataRead::getBL, uint32_t{0})},
        {"BL code 3", [](BitWriter &w) { w.BLCode(3); }, expect(&DataRead::getBL, uint32_t{0xFFFFFFFF})},
        {"BD code 0", [](BitWriter &w) { w.BDCode(0, 3.25); }, expect(&DataRead::getBD, 3.25)},
        {"BD code 1", [](BitWriter &w) { w.BDCode(1); }, expect(&DataRead::getBD, 1.0)},
        {"BD code 2", [](BitWriter &w) { w.BDCode(2); }, expect(&DataRead::getBD, 0.0)},
        {"BD code 3", [](BitWriter &w) { w.BDCode(3); }, expect(&DataRead::getBD, -1.0)},
        {"DD code 0", [](BitWriter &w) { w.DD(0.0); }, expect(&DataRead::getDD, 0.0)},
        {"DD code 1 is signed", [](BitWriter &w) { w.DDInt(-70000); }, expect(&DataRead::getDD, -70000.0)},
        {"DD code 2 skips six bytes", [](BitWriter &w) { w.DDPair(0x11223344, 0x5566); },
         expect(&DataRead::getDD, 0.0)},
        {"DD code 3", [](BitWriter &w) { w.DDReal(6.125); }, expect(&DataRead::getDD, 6.125)},
        {"3BD", [](BitWriter &w) { w.BD(1.0).BD(7.5).BD(-1.0); },
         [](DataRead &in) {
             double a = 0, b = 0, c = 0;
             int32_t ok = in.get3BD(&a, &b, &c);
             if (ok) {
                 EXPECT_EQ(a, 1.0);
                 EXPECT_EQ(b, 7.5);
                 EXPECT_EQ(c, -1.0);
             }
             return ok;
         }},
        {"2RD", [](BitWriter &w) { w.RD(0.5).RD(-8.0); },
         [](DataRead &in) {
             double a = 0, b = 0;
             int32_t ok = in.get2RD(&a, &b);
             if (ok) {
                 EXPECT_EQ(a, 0.5);
                 EXPECT_EQ(b, -8.0);
             }
             return ok;
         }},
        {"BE default", [](BitWriter &w) { w.BE(0.0, 0.0, 1.0); },
         [](DataRead &in) {
             double x = 9, y = 9, z = 9;
             int32_t ok = in.getBE(&x, &y, &z);
             if (ok) {
                 EXPECT_EQ(x, 0.0);
                 EXPECT_EQ(y, 0.0);
                 EXPECT_EQ(z, 1.0);
             }
             return ok;
         }},
        {"BE given", [](BitWriter &w) { w.BE(0.0, 0.25, -1.0); },
         [](DataRead &in) {
             double x = 9, y = 9, z = 9;
             int32_t ok = in.getBE(&x, &y, &z);
             if (ok) {
                 EXPECT_EQ(x, 0.0);
                 EXPECT_EQ(y, 0.25);
                 EXPECT_EQ(z, -1.0);
             }
             return ok;
         }},
        {"BT default keeps the preset", [](BitWriter &w) { w.BT(0.0); },
         [](DataRead &in) {
             double thickness = 4.5;
             int32_t ok = in.getBT(&thickness);
             if (ok) {
                 EXPECT_EQ(thickness, 4.5);
             }
             return ok;
         }},
        {"BT given", [](BitWriter &w) { w.BT(2.0); },
         [](DataRead &in) {
             double thickness = 4.5;
             int32_t ok = in.getBT(&thickness);
             if (ok) {
                 EXPECT_EQ(thickness, 2.0);
             }
             return ok;
         }},
        {"H drops the value bytes", [](BitWriter &w) { w.H(5, Bytes{0x12, 0x34}); },
         [](DataRead &in) {
             int32_t code = -1;
             int32_t count = -1;
             int32_t ok = in.getH(&code, &count);
             if (ok) {
                 EXPECT_EQ(code, 5);
                 EXPECT_EQ(count, 2);
             }
             return ok;
         }},
        {"T", [](BitWriter &w) { w.T("Text\xB0"); }, expectText("Text\xB0")},
        {"T of length 0", [](BitWriter &w) { w.T(""); },
         [](DataRead &in) {
             int32_t length = -1;
             char *text = reinterpret_cast<char *>(&length);
             int32_t ok = in.getT(&length, &text);
             if (ok) {
                 EXPECT_EQ(length, 0);
                 EXPECT_EQ(text, nullptr);
             }
             return ok;
         }},
        {"skipBytes", [](BitWriter &w) { w.RC(1).RC(2).RC(3); },
         [](DataRead &in) { return in.skipBytes(3); }},
    };
    return cases;
}

// The bits of one value after bitPosition leading 1-bits; the value ends at
// end, and a marker byte follows it.
struct Encoded {
    Bytes bytes;
    size_t end;
};

Encoded encode(const ValueCase &value, int bitPosition)
{
    BitWriter w;
    w.pad(static_cast<size_t>(bitPosition), true);
    value.write(w);
    size_t end = w.bitCount();
    w.RC(0xA5);
    return {w.bytes(), end};
}

void skipLeadingBits(DataRead &in, int count)
{
    for (int i = 0; i < count; ++i) {
        int32_t bit = 0;
        ASSERT_EQ(in.getB(&bit), 1);
        ASSERT_EQ(bit, 1);
    }
}

TEST(DataReadValues, EveryEncodingReadsBackAtEveryBitPosition)
{
    for (const ValueCase &value : valueCases()) {
        for (int bitPosition = 0; bitPosition < 8; ++bitPosition) {
            SCOPED_TRACE(std::string(value.name) + " at bit " + std::to_string(bitPosition));
            Encoded encoded = encode(value, bitPosition);
            Reader in(encoded.bytes);
            ASSERT_NE(in.reader, nullptr);
            skipLeadingBits(*in.reader, bitPosition);

            ASSERT_EQ(value.read(*in.reader), 1);
            // The stream stands on the byte of the next unread bit.
            EXPECT_EQ(in.bitOffset(), static_cast<int32_t>(encoded.end));
            uint8_t marker = 0;
            EXPECT_EQ(in.reader->getRC(&marker), 1);
            EXPECT_EQ(marker, 0xA5);
        }
    }
}

// A value cut short fails, whatever byte the data ends at; it succeeds once
// every byte holding one of its bits is there.
TEST(DataReadValues, TruncatedDataFailsAtEveryLength)
{
    for (const ValueCase &value : valueCases()) {
        for (int bitPosition = 0; bitPosition < 8; ++bitPosition) {
            Encoded encoded = encode(value, bitPosition);
            size_t needed = (encoded.end + 7) / 8;
            for (size_t length = 1; length <= needed; ++length) {
                SCOPED_TRACE(std::string(value.name) + " at bit " + std::to_string(bitPosition) + " in " +
                             std::to_string(length) + " bytes");
                Reader in(Bytes(encoded.bytes.begin(), encoded.bytes.begin() + static_cast<long>(length)));
                ASSERT_NE(in.reader, nullptr);
                skipLeadingBits(*in.reader, bitPosition);
                EXPECT_EQ(value.read(*in.reader), length == needed ? 1 : 0);
                EXPECT_LE(in.bitOffset(), static_cast<int32_t>(length * 8));
            }
        }
    }
}

// Hand-made bytes, independent of the test writer: bit order, byte order and
// where the stream stands afterwards.
TEST(DataReadBits, FixedBytesDecodeAsTheFormatLaysThemOut)
{
    struct Case {
        const char *name;
        Bytes bytes;
        int leadingBits;  // read with getB first
        ReadValue read;
        int32_t position;  // stream position afterwards
        int32_t bit;       // bit position afterwards
    };
    const std::vector<Case> cases = {
        {"RC at bit 3 of AB CD", {0xAB, 0xCD}, 3, expect(&DataRead::getRC, uint8_t{0x5E}), 1, 3},
        {"2-bit code 3 across a byte", {0x01, 0x80}, 7, expect(&DataRead::getBS, uint16_t{256}), 1, 1},
        {"2-bit code across a byte, high bit first", {0x01, 0x00}, 7, expect(&DataRead::getBS, uint16_t{0}), 1, 1},
        {"last bit of a byte", {0xFE, 0x00}, 7, expect(&DataRead::getB, 0), 1, 0},
        {"4B over 1011", {0xB0}, 0, expect(&DataRead::get4B, 11), 0, 4},
        {"RS little-endian", {0x34, 0x12}, 0, expect(&DataRead::getRS, uint16_t{0x1234}), 2, 0},
        {"RL little-endian", {0x78, 0x56, 0x34, 0x12}, 0, expect(&DataRead::getRL, uint32_t{0x12345678}), 4, 0},
        {"RD little-endian", {0, 0, 0, 0, 0, 0, 0xF8, 0x3F}, 0, expect(&DataRead::getRD, 1.5), 8, 0},
        {"DD code 1 of FE FF FF FF", {0x7F, 0xBF, 0xFF, 0xFF, 0xC0}, 0, expect(&DataRead::getDD, -2.0), 4, 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Reader in(c.bytes);
        ASSERT_NE(in.reader, nullptr);
        for (int i = 0; i < c.leadingBits; ++i) {
            int32_t bit = 0;
            ASSERT_EQ(in.reader->getB(&bit), 1);
        }
        EXPECT_EQ(c.read(*in.reader), 1);
        EXPECT_EQ(in.fixture.stream->CurPosition(), c.position);
        EXPECT_EQ(in.reader->bitPosition(), c.bit);
    }
}

TEST(DataReadBits, HandleOf0x52ConsumesTwoValueBytes)
{
    Reader in({0x52, 0x11, 0x22, 0x33});
    int32_t code = 0;
    int32_t count = 0;
    ASSERT_EQ(in.reader->getH(&code, &count), 1);
    EXPECT_EQ(code, 5);
    EXPECT_EQ(count, 2);
    uint8_t next = 0;
    ASSERT_EQ(in.reader->getRC(&next), 1);
    EXPECT_EQ(next, 0x33);
}

TEST(DataReadBits, ResetBitsStartsAtTheByteTheStreamWasMovedTo)
{
    Reader in({0xFF, 0x0F});
    int32_t bit = 0;
    ASSERT_EQ(in.reader->getB(&bit), 1);
    ASSERT_EQ(in.fixture.stream->SeekPos(1), 1);
    in.reader->resetBits();
    int32_t value = 0;
    ASSERT_EQ(in.reader->get4B(&value), 1);
    EXPECT_EQ(value, 0);
}

std::string repeated(char c, size_t count)
{
    return std::string(count, c);
}

TEST(DataReadText, LongestTextFillsABufferOneByteLonger)
{
    for (unsigned code : {0u, 3u}) {
        SCOPED_TRACE("length as BS code " + std::to_string(code));
        BitWriter w;
        w.BSCode(code, code == 0 ? 256 : 0).raw(repeated('x', 256));
        Reader in(w.bytes());
        int32_t length = 0;
        char *text = nullptr;
        ASSERT_EQ(in.reader->getT(&length, &text), 1);
        ASSERT_EQ(length, 256);
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(in.fixture.memory->sizeOf(text), 257u);
        EXPECT_EQ(std::string(text), repeated('x', 256));
        in.fixture.memory->free(text);
    }
}

TEST(DataReadText, OverlongTextIsPassedOverUnread)
{
    BitWriter w;
    w.BSCode(0, 257).raw("AB");
    Reader in(w.bytes());
    int32_t length = -1;
    char *text = reinterpret_cast<char *>(&length);
    ASSERT_EQ(in.reader->getT(&length, &text), 1);
    EXPECT_EQ(length, 0);
    EXPECT_EQ(text, nullptr);
    uint8_t next = 0;
    ASSERT_EQ(in.reader->getRC(&next), 1);
    EXPECT_EQ(next, 'A');
}

// At a byte boundary the text comes in one read, which must bring all of it;
// off a boundary every byte is assembled from two single reads.
TEST(DataReadText, HostDeliveringShortReadsFailsAnAlignedText)
{
    tqhost::HostOptions options;
    options.readChunk = 2;
    BitWriter aligned;
    aligned.pad(6).T("ABCDE");
    Reader in(aligned.bytes(), options);
    for (int i = 0; i < 6; ++i) {
        int32_t bit = 0;
        ASSERT_EQ(in.reader->getB(&bit), 1);
    }
    int32_t length = 0;
    char *text = reinterpret_cast<char *>(&length);
    EXPECT_EQ(in.reader->getT(&length, &text), 0);
    EXPECT_EQ(text, nullptr);
    EXPECT_EQ(in.fixture.stream->CurPosition(), 2);

    BitWriter unaligned;
    unaligned.pad(5).T("ABCDE");
    Reader off(unaligned.bytes(), options);
    for (int i = 0; i < 5; ++i) {
        int32_t bit = 0;
        ASSERT_EQ(off.reader->getB(&bit), 1);
    }
    EXPECT_EQ(expectText("ABCDE")(*off.reader), 1);
}

TEST(DataReadText, UnreadableTextLeavesNoBuffer)
{
    BitWriter w;
    w.T("ABCDEF");
    Bytes cut = w.bytes();
    cut.resize(cut.size() - 2);
    Reader in(cut);
    size_t before = in.fixture.blocksInUse();
    int32_t length = 0;
    char *text = reinterpret_cast<char *>(&length);
    EXPECT_EQ(in.reader->getT(&length, &text), 0);
    EXPECT_EQ(text, nullptr);
    EXPECT_EQ(in.fixture.blocksInUse(), before);
}

TEST(DataReadFailures, AFailedStepBackFailsTheRead)
{
    Reader in({0x80, 0x00});
    tqhost::FaultPlan &faults = in.fixture.host.context().faults();
    // A read seeks the host to the cursor, then the step back seeks again.
    faults.failOnce(tqhost::HostOp::Seek, faults.calls(tqhost::HostOp::Seek) + 2);
    int32_t bit = 0;
    EXPECT_EQ(in.reader->getB(&bit), 0);
}

TEST(DataReadFailures, MissingPartsGiveNoReader)
{
    StreamFixture f({0x00});
    EXPECT_EQ(newDataRead(nullptr, f.memory, f.stream), nullptr);
    EXPECT_EQ(newDataRead(&f.session, nullptr, f.stream), nullptr);
    EXPECT_EQ(newDataRead(&f.session, f.memory, nullptr), nullptr);
    EXPECT_TRUE(f.reports().empty());
}

TEST(DataReadFailures, ByteOrderServiceThatCannotBeMadeIsReported)
{
    StreamFixture f({0x00});
    f.failFromNext(tqhost::HostOp::Block);
    EXPECT_EQ(newDataRead(&f.session, f.memory, f.stream), nullptr);
    EXPECT_EQ(f.reports(), std::vector<std::string>{"*** ERROR *** Memory allocation failed(newByteSwap[dataread/160])."});
}

}  // namespace
