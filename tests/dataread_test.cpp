#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "support/dataread.h"
#include "stream_fixture.h"
#include "writer/bitwriter.h"

namespace {

using dwgw::BitWriter;
using dwgw::Bytes;
using Values = std::vector<double>;
using Read = std::function<int32_t(DataRead &, Values &)>;

struct Reader {
    explicit Reader(Bytes bytes) : fixture(std::move(bytes))
    {
        in = newDataRead(fixture.memory, fixture.stream);
    }
    ~Reader() { deleteDataRead(in); }

    // Where the next unread bit is, in bits from the start of the source.
    int32_t bitOffset() const { return fixture.stream->CurPosition() * 8 + in->bitPosition(); }

    void skipBits(int count)
    {
        for (int32_t i = 0, bit = 0; i < count; ++i) {
            ASSERT_EQ(in->getB(&bit), 1);
        }
    }

    StreamFixture fixture;
    DataRead *in = nullptr;
};

// Reads through get into fresh outputs and hands them back as doubles.
template <class... T>
Read values(int32_t (DataRead::*get)(T *...))
{
    return [get](DataRead &in, Values &out) {
        std::tuple<T...> outputs{};
        int32_t ok = std::apply([&](T &...v) { return (in.*get)(&v...); }, outputs);
        out = std::apply([](T &...v) { return Values{static_cast<double>(v)...}; }, outputs);
        return ok;
    };
}

// A thickness whose caller presets 4.5.
int32_t readBT(DataRead &in, Values &out)
{
    double value = 4.5;
    int32_t ok = in.getBT(&value);
    out = {value};
    return ok;
}

// The length, then the bytes; the buffer ends in a zero byte.
int32_t readT(DataRead &in, Values &out)
{
    int32_t length = -1;
    char *text = reinterpret_cast<char *>(&out);
    int32_t ok = in.getT(&length, &text);
    out = {static_cast<double>(length)};
    if (ok && text != nullptr) {
        const unsigned char *bytes = reinterpret_cast<const unsigned char *>(text);
        out.insert(out.end(), bytes, bytes + length + 1);
        in.memory()->free(text);
    }
    return ok;
}

struct ValueCase {
    const char *name;
    std::function<void(BitWriter &)> write;
    Read read;
    Values expected;
};

const std::vector<ValueCase> kValues = {
    {"B", [](BitWriter &w) { w.B(false); }, values(&DataRead::getB), {0}},
    {"2B", [](BitWriter &w) { w.B(true).B(false); }, values(&DataRead::get2B), {1, 0}},
    {"4B", [](BitWriter &w) { w.B4(11); }, values(&DataRead::get4B), {11}},
    {"RC", [](BitWriter &w) { w.RC(0x5E); }, values(&DataRead::getRC), {0x5E}},
    {"RS", [](BitWriter &w) { w.RS(0xBEEF); }, values(&DataRead::getRS), {0xBEEF}},
    {"RL", [](BitWriter &w) { w.RL(0xDEADBEEF); }, values(&DataRead::getRL), {0xDEADBEEF}},
    {"RD", [](BitWriter &w) { w.RD(-2.5e-7); }, values(&DataRead::getRD), {-2.5e-7}},
    {"2RD", [](BitWriter &w) { w.RD(0.5).RD(-8.0); }, values(&DataRead::get2RD), {0.5, -8.0}},
    {"BS code 0", [](BitWriter &w) { w.BSCode(0, 0x1234); }, values(&DataRead::getBS), {0x1234}},
    {"BS code 1 is unsigned", [](BitWriter &w) { w.BSCode(1, 0xFF); }, values(&DataRead::getBS), {255}},
    {"BS code 2", [](BitWriter &w) { w.BSCode(2); }, values(&DataRead::getBS), {0}},
    {"BS code 3", [](BitWriter &w) { w.BSCode(3); }, values(&DataRead::getBS), {256}},
    {"BL code 0", [](BitWriter &w) { w.BLCode(0, 0x89ABCDEF); }, values(&DataRead::getBL), {0x89ABCDEF}},
    {"BL code 1 is unsigned", [](BitWriter &w) { w.BLCode(1, 0x80); }, values(&DataRead::getBL), {128}},
    {"BL code 2", [](BitWriter &w) { w.BLCode(2); }, values(&DataRead::getBL), {0}},
    {"BL code 3", [](BitWriter &w) { w.BLCode(3); }, values(&DataRead::getBL), {0xFFFFFFFF}},
    {"BD code 0", [](BitWriter &w) { w.BDCode(0, 3.25); }, values(&DataRead::getBD), {3.25}},
    {"3BD codes 1 to 3", [](BitWriter &w) { w.BDCode(1).BDCode(2).BDCode(3); }, values(&DataRead::get3BD), {1, 0, -1}},
    {"DD code 0", [](BitWriter &w) { w.DD(0.0); }, values(&DataRead::getDD), {0}},
    {"DD code 1 is signed", [](BitWriter &w) { w.DDInt(-70000); }, values(&DataRead::getDD), {-70000}},
    {"DD code 2 drops six bytes", [](BitWriter &w) { w.DDPair(0x11223344, 0x5566); }, values(&DataRead::getDD), {0}},
    {"2DD code 3", [](BitWriter &w) { w.DDReal(6.125).DDReal(-1.5); }, values(&DataRead::get2DD), {6.125, -1.5}},
    {"BE default", [](BitWriter &w) { w.BE(0, 0, 1); }, values(&DataRead::getBE), {0, 0, 1}},
    {"BE given", [](BitWriter &w) { w.BE(0, 0.25, -1); }, values(&DataRead::getBE), {0, 0.25, -1}},
    {"BT default keeps the preset", [](BitWriter &w) { w.BT(0.0); }, readBT, {4.5}},
    {"BT given", [](BitWriter &w) { w.BT(2.0); }, readBT, {2.0}},
    {"H drops the value bytes", [](BitWriter &w) { w.H(5, Bytes{0x12, 0x34}); }, values(&DataRead::getH), {5, 2}},
    {"T", [](BitWriter &w) { w.T("Tx\xB0"); }, readT, {3, 'T', 'x', 0xB0, 0}},
    {"T of length 0", [](BitWriter &w) { w.T(""); }, readT, {0}},
    {"skipBytes", [](BitWriter &w) { w.RC(1).RC(2); }, [](DataRead &in, Values &) { return in.skipBytes(2); }, {}},
};

// Every value after 0 to 7 leading bits, then cut after every byte: a cut
// value fails, a whole one is read and leaves the stream on the byte of the
// next unread bit.
TEST(DataRead, EveryEncodingAtEveryBitPositionAndTruncation)
{
    for (const ValueCase &value : kValues) {
        for (int lead = 0; lead < 8; ++lead) {
            BitWriter w;
            value.write(w.pad(static_cast<size_t>(lead), true));
            int32_t end = static_cast<int32_t>(w.bitCount());
            Bytes bytes = w.RC(0xA5).bytes();
            for (int32_t length = 1; length <= (end + 7) / 8; ++length) {
                SCOPED_TRACE(std::string(value.name) + ", " + std::to_string(lead) + " bits before, " +
                             std::to_string(length) + " bytes");
                bool whole = length * 8 >= end;
                Reader reader(whole ? bytes : Bytes(bytes.begin(), bytes.begin() + length));
                reader.skipBits(lead);
                Values got;
                ASSERT_EQ(value.read(*reader.in, got), whole ? 1 : 0);
                if (whole) {
                    EXPECT_EQ(got, value.expected);
                    EXPECT_EQ(reader.bitOffset(), end);
                    uint8_t marker = 0;
                    EXPECT_TRUE(reader.in->getRC(&marker) && marker == 0xA5);
                }
            }
        }
    }
}

// An object's head, size and type, is peeked at for every code of the type:
// in place, or a field at a time when the file ends right after it. The
// stream stays on the head; a head cut short fails.
TEST(DataRead, ObjectHeadIsPeekedAtWhereverTheFileEnds)
{
    const std::pair<unsigned, uint16_t> types[] = {{0, 0x1234}, {1, 0xAB}, {2, 0}, {3, 256}};
    for (const auto &[code, type] : types) {
        BitWriter w;
        const Bytes head = w.RC(0xEE).RC(0xEE).RS(0x7123).BSCode(code, code < 2 ? type : 0).bytes();
        for (size_t length = 3; length <= head.size() + 8; ++length) {
            SCOPED_TRACE("code " + std::to_string(code) + ", " + std::to_string(length) + " bytes");
            Bytes bytes = head;
            bytes.resize(length, 0);
            Reader reader(bytes);
            ASSERT_EQ(reader.fixture.stream->SeekPos(2), 1);
            uint16_t size = 0;
            uint16_t got = 0;
            ASSERT_EQ(reader.in->peekMSAndBS(&size, &got), length >= head.size() ? 1 : 0);
            if (length >= head.size()) {
                EXPECT_EQ(size, 0x7123);
                EXPECT_EQ(got, type);
                EXPECT_EQ(reader.bitOffset(), 16);
            }
        }
    }
}

}  // namespace
