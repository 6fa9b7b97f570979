#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "support/bitcursor.h"
#include "writer/bitwriter.h"

namespace {

using dwgw::BitWriter;
using dwgw::Bytes;
using Values = std::vector<double>;
using Read = std::function<Values(BitCursor &)>;

// The length, then the bytes.
Values readT(BitCursor &in)
{
    const uint16_t length = in.BS();
    Values out{static_cast<double>(length)};
    std::vector<uint8_t> bytes(length);
    in.bytes(bytes.data(), length);
    out.insert(out.end(), bytes.begin(), bytes.end());
    return out;
}

struct ValueCase {
    const char *name;
    std::function<void(BitWriter &)> write;
    Read read;
    Values expected;
};

const std::vector<ValueCase> kValues = {
    {"B", [](BitWriter &w) { w.B(false); }, [](BitCursor &in) { return Values{double(in.B())}; }, {0}},
    {"RC", [](BitWriter &w) { w.RC(0x5E); }, [](BitCursor &in) { return Values{double(in.RC())}; }, {0x5E}},
    {"RS", [](BitWriter &w) { w.RS(0xBEEF); }, [](BitCursor &in) { return Values{double(in.RS())}; }, {0xBEEF}},
    {"RL", [](BitWriter &w) { w.RL(0xDEADBEEF); }, [](BitCursor &in) { return Values{double(in.RL())}; },
     {0xDEADBEEF}},
    {"BS codes 0 to 3", [](BitWriter &w) { w.BSCode(0, 0x1234).BSCode(1, 0xFF).BSCode(2).BSCode(3); },
     [](BitCursor &in) { return Values{double(in.BS()), double(in.BS()), double(in.BS()), double(in.BS())}; },
     {0x1234, 255, 0, 256}},
    // Skipped fields leave nothing but the cursor's place, which the case
    // checks by the marker after them.
    {"DD codes 0 to 3, skipped",
     [](BitWriter &w) { w.DD(0.0).DDInt(-70000).DDPair(0x11223344, 0x5566).DDReal(6.125); },
     [](BitCursor &in) {
         for (int i = 0; i < 4; ++i) {
             in.skipDD();
         }
         return Values{};
     },
     {}},
    {"BS, BL and H, skipped",
     [](BitWriter &w) {
         w.BSCode(0, 0x1234).BLCode(0, 0x89ABCDEF).BSCode(1, 0xFF).BLCode(1, 0x80).BSCode(3).BLCode(3);
         w.H(5, Bytes{0x12, 0x34}).H(2, Bytes{});
     },
     [](BitCursor &in) {
         for (int i = 0; i < 3; ++i) {
             in.skipBS();
             in.skipBL();
         }
         in.skipH();
         in.skipH();
         return Values{};
     },
     {}},
    {"BD, a run of BDs longer than one load holds, BE, BT and RD, skipped",
     [](BitWriter &w) {
         w.BDCode(0, 3.25).BDCode(1).BDCode(2).BDCode(3);
         for (int i = 0; i < 30; ++i) {
             w.BDCode(1 + i % 3);
         }
         w.BDCode(0, 2.5).BDCode(0, -4.0).BDCode(2).BE(0, 0, 1).BE(0, 0.25, -1).BT(0.0).BT(2.0).RD(1.5);
     },
     [](BitCursor &in) {
         for (int i = 0; i < 4; ++i) {
             in.skipBD();
         }
         in.skipBDs(33);
         in.skipBE();
         in.skipBE();
         in.skipBT();
         in.skipBT();
         in.skipRD();
         return Values{};
     },
     {}},
    {"MC of one and three bytes", [](BitWriter &w) { w.RC(0x45).RC(0x81).RC(0x80).RC(0x01); },
     [](BitCursor &in) { return Values{double(in.MC()), double(in.MC())}; }, {0x45, 0x4001}},
    {"OT codes 0 to 2", [](BitWriter &w) { w.BB(0).RC(0x22).BB(1).RC(0x05).BB(2).RS(0x1234); },
     [](BitCursor &in) { return Values{double(in.OT()), double(in.OT()), double(in.OT())}; },
     {0x22, 0x1F5, 0x1234}},
    {"T", [](BitWriter &w) { w.T("Tx\xB0"); }, readT, {3, 'T', 'x', 0xB0}},
};

// Every value after 0 to 7 leading bits, then cut after every byte: a cut
// value runs out, a whole one is read and leaves the cursor on its next
// bit, which holds a marker.
TEST(BitCursor, EveryEncodingAtEveryBitPositionAndTruncation)
{
    for (const ValueCase &value : kValues) {
        for (int lead = 0; lead < 8; ++lead) {
            BitWriter w;
            value.write(w.pad(static_cast<size_t>(lead), true));
            const uint64_t end = w.bitCount();
            const Bytes bytes = w.RC(0xA5).bytes();
            for (size_t length = 0; length <= (end + 7) / 8; ++length) {
                SCOPED_TRACE(std::string(value.name) + ", " + std::to_string(lead) + " bits before, " +
                             std::to_string(length) + " bytes");
                const bool whole = length * 8 >= end;
                BitCursor in(bytes.data(), static_cast<int32_t>(whole ? bytes.size() : length));
                in.skipBytes(0);
                for (int i = 0; i < lead; ++i) {
                    in.B();
                }
                const Values got = value.read(in);
                ASSERT_EQ(in.overran(), !whole);
                if (whole) {
                    EXPECT_EQ(got, value.expected);
                    EXPECT_EQ(in.bitOffset(), end);
                    EXPECT_EQ(in.RC(), 0xA5);
                }
            }
        }
    }
}

// A stretch of fields of every kind a run reads, long enough to need
// several loads, read by the cursor itself or by a run on it.
void writeStretch(BitWriter &w)
{
    for (int round = 0; round < 3; ++round) {
        w.BSCode(0, 0x1234).B(true).RL(0xDEADBEEF).BSCode(1, 0x7F).BB(2).RS(0xBEEF).BLCode(0, 0x89ABCDEF);
        w.BDCode(0, 2.5).BDCode(1).DDInt(-70000).BE(0, 0.25, -1).BT(2.0).RD(1.5).H(5, Bytes{0x12, 0x34});
        w.BDCode(2).BDCode(0, -4.0).BDCode(3).RC(0x81).RC(0x80).RC(0x01).BB(1).RC(0x05).BSCode(3).BSCode(2);
        for (int bit = 0; bit < 70; ++bit) {
            w.B(bit % 3 != 0);
        }
    }
}

template <class In>
Values readStretch(In &in)
{
    Values out;
    for (int round = 0; round < 3; ++round) {
        out.insert(out.end(), {double(in.BS()), double(in.B()), double(in.RL()), double(in.BS()), double(in.BB()),
                               double(in.RS())});
        in.skipBL();
        in.skipBD();
        in.skipBD();
        in.skipDD();
        in.skipBE();
        in.skipBT();
        in.skipRD();
        in.skipH();
        in.skipBDs(3);
        out.insert(out.end(), {double(in.MC()), double(in.OT()), double(in.BS()), double(in.BS())});
        for (int bit = 0; bit < 70; ++bit) {
            out.push_back(in.B());
        }
    }
    return out;
}

// A run reads what the cursor reads, and leaves it where the cursor's own
// reads end, from any bit within a load's reach on and cut at any byte.
TEST(BitCursor, ARunReadsAsTheCursorDoes)
{
    for (size_t lead = 0; lead < 64; ++lead) {
        BitWriter w;
        writeStretch(w.pad(lead, true));
        const Bytes bytes = w.RC(0xA5).bytes();
        for (size_t length = bytes.size(); length > 0; length -= std::min<size_t>(length, 3)) {
            SCOPED_TRACE(std::to_string(lead) + " bits before, " + std::to_string(length) + " bytes");
            BitCursor alone(bytes.data(), static_cast<int32_t>(length));
            BitCursor withRun(bytes.data(), static_cast<int32_t>(length));
            alone.skipBits(lead);
            withRun.skipBits(lead);
            const Values expected = readStretch(alone);
            Values got;
            {
                BitCursor::Run run(withRun);
                got = readStretch(run);
                EXPECT_EQ(run.bitOffset(), alone.bitOffset());
                EXPECT_EQ(run.overran(), alone.overran());
            }
            EXPECT_EQ(got, expected);
            EXPECT_EQ(withRun.bitOffset(), alone.bitOffset());
            EXPECT_EQ(withRun.overran(), alone.overran());
        }
    }
}

// Running out stays said: a seek back into the span does not undo it.
TEST(BitCursor, RunningOutIsRemembered)
{
    const uint8_t bytes[2] = {0xFF, 0x00};
    BitCursor in(bytes, 2);
    in.RL();
    ASSERT_TRUE(in.overran());
    in.seekBit(0);
    EXPECT_EQ(in.RC(), 0xFF);
    EXPECT_TRUE(in.overran());
}

}  // namespace
