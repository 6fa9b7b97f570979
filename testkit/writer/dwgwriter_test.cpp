// Self-checks of the test drawing writer against bytes computed by hand.
// Every reader test reads what this writer writes, so a mistake made the
// same way in both would pass them; these fixed bytes would not.
#include "dwgwriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <stdexcept>
#include <string>

namespace dwgw {
namespace {

// '0' and '1' are bits, "[..]" holds hex bytes, spaces are ignored.
std::vector<bool> pattern(std::string_view text) {
    std::vector<bool> bits;
    bool inHex = false;
    std::string hex;
    for (char c : text) {
        if (c == '[' || c == ']') {
            inHex = c == '[';
        } else if (inHex && c != ' ') {
            hex += c;
            if (hex.size() < 2) continue;
            const unsigned byte = std::stoul(hex, nullptr, 16);
            for (int i = 7; i >= 0; --i) bits.push_back((byte >> i) & 1);
            hex.clear();
        } else if (c == '0' || c == '1') {
            bits.push_back(c == '1');
        }
    }
    return bits;
}

Bytes pack(const std::vector<bool>& bits) {
    Bytes out((bits.size() + 7) / 8, 0);
    for (std::size_t i = 0; i < bits.size(); ++i) {
        if (bits[i]) out[i / 8] |= static_cast<std::uint8_t>(0x80 >> (i % 8));
    }
    return out;
}

// Appended piece by piece: GCC 12 sees a false overlap in "[" + string + "]"
// when optimising (-Wrestrict).
Bytes hex(std::string_view text) {
    std::string bracketed = "[";
    bracketed.append(text).append("]");
    return pack(pattern(bracketed));
}

struct EncodingCase {
    const char* name;
    std::function<void(BitWriter&)> write;
    const char* expected;
};

const std::vector<EncodingCase> kEncodings = {
    {"RS", [](BitWriter& w) { w.RS(0x1234); }, "[34 12]"},
    {"RD", [](BitWriter& w) { w.RD(1.0); }, "[00 00 00 00 00 00 F0 3F]"},
    {"BS 256", [](BitWriter& w) { w.BS(256); }, "11"},
    {"BS 255", [](BitWriter& w) { w.BS(255); }, "01 [FF]"},
    {"BS 0x1234", [](BitWriter& w) { w.BS(0x1234); }, "00 [34 12]"},
    {"BL 0x10000", [](BitWriter& w) { w.BL(0x10000); }, "00 [00 00 01 00]"},
    {"BD -1.0", [](BitWriter& w) { w.BD(-1.0); }, "11"},
    {"BD 2.0", [](BitWriter& w) { w.BD(2.0); }, "00 [00 00 00 00 00 00 00 40]"},
    {"DD -2.0", [](BitWriter& w) { w.DD(-2.0); }, "01 [FE FF FF FF]"},
    {"DD code 2", [](BitWriter& w) { w.DDPair(0x01020304, 0x0506); }, "10 [04 03 02 01 06 05]"},
    {"DD 0.5", [](BitWriter& w) { w.DD(0.5); }, "11 [00 00 00 00 00 00 E0 3F]"},
    {"H 5 of 0x1234", [](BitWriter& w) { w.H(5, 0x1234); }, "[52 12 34]"},
    {"T AB", [](BitWriter& w) { w.T("AB"); }, "01 [02 41 42]"},
    {"BE (0,0,-1)", [](BitWriter& w) { w.BE(0, 0, -1); }, "0 10 10 11"},
    {"BT 2.5", [](BitWriter& w) { w.BT(2.5); }, "0 00 [00 00 00 00 00 00 04 40]"},
};

TEST(BitWriterTest, EncodingsAtEveryBitPosition) {
    for (const EncodingCase& c : kEncodings) {
        for (unsigned start = 0; start < 8; ++start) {
            BitWriter w;
            w.pad(start, true);
            c.write(w);
            std::vector<bool> expected(start, true);
            const std::vector<bool> value = pattern(c.expected);
            expected.insert(expected.end(), value.begin(), value.end());
            EXPECT_EQ(w.bytes(), pack(expected)) << c.name << " at bit " << start;
            EXPECT_EQ(w.bitCount(), expected.size()) << c.name << " at bit " << start;
        }
    }
}

TEST(ObjectMapTest, ModularCharsAndTheThirteenByteExample) {
    EXPECT_EQ(encodeMC(5), hex("05"));
    EXPECT_EQ(encodeMC(-1), hex("41"));
    EXPECT_EQ(encodeMC(129), hex("81 01"));
    EXPECT_EQ(encodeMC(-128), hex("80 41"));
    EXPECT_EQ(encodeMC(-64), hex("C0 40"));
    EXPECT_EQ(encodeMC(5, 3), hex("85 80 00"));
    EXPECT_THROW(encodeMC(129, 1), std::invalid_argument);

    EXPECT_EQ(ObjectMapWriter().section({{1, 100}, {2, 120}}).bytes(), hex("00 07 01 E4 00 01 14 A5 5A 00 02 A5 5A"));
    // Each section starts its offset deltas at zero.
    EXPECT_EQ(ObjectMapWriter().section({{1, 100}}).section({{2, 50}}).bytes(),
              hex("00 05 01 E4 00 A5 5A  00 04 02 32 A5 5A  00 02 A5 5A"));
}

TEST(ObjectTest, OpaqueObjectIsFramedBySizeAndCrc) {
    OpaqueObject object;
    object.type = 73;
    object.payload = {0x11};
    // BS 73 = 01 01001001, then 00010001: 18 bits in 3 bytes.
    EXPECT_EQ(frameObject(object, Layout::R13, 1).bytes, hex("03 00 52 44 40 D6 F0"));
}

TEST(R12Test, CommonPartFollowsFlagsInRecordOrder) {
    R12Entity circle;
    circle.type = 3;
    circle.flags = 0x4F;  // colour, linetype, elevation, thickness, extra flags
    circle.colour = 1;
    circle.linetype = 0x0304;
    circle.extraFlags = 0x06;  // extended data, trailing word
    circle.eed.string("A");
    circle.elevation = 1.0;
    circle.extraWord = 0x0102;
    EXPECT_EQ(encodeR12Entity(circle),
              hex("03 4F 24 00  00 00 00 00  06  04 00 00 01 00 41  01  04 03"
                  "00 00 00 00 00 00 F0 3F  00 00 00 00 00 00 00 00  02 01"));
    // R10 drawings index the linetype with one byte.
    EXPECT_EQ(encodeR12Entity(circle, R12Version::AC1006),
              hex("03 4F 23 00  00 00 00 00  06  04 00 00 01 00 41  01  04"
                  "00 00 00 00 00 00 F0 3F  00 00 00 00 00 00 00 00  02 01"));
}

}  // namespace
}  // namespace dwgw
