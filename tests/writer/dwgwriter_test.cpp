// Self-checks of the test drawing writer: encodings against hand-computed
// bits, and composed drawings read back with a small independent reader that
// follows the drawing format, so that a writer fault cannot hide behind a
// reader with the same fault.
#include "dwgwriter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>

namespace dwgw {
namespace {

// ---------------------------------------------------------------------------
// Helpers

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

Bytes hex(std::string_view text) {
    return pack(pattern("[" + std::string(text) + "]"));
}

// Reads the values of the bit stream from a byte vector, as the drawing
// format defines them; running past the end throws.
class BitReader {
public:
    BitReader(const Bytes& data, std::size_t byteOffset) : data_(data), bit_(byteOffset * 8) {}

    std::uint64_t bits(unsigned count) {
        std::uint64_t value = 0;
        for (unsigned i = 0; i < count; ++i, ++bit_) {
            if (bit_ / 8 >= data_.size()) throw std::out_of_range("past the end");
            value = value << 1 | ((data_[bit_ / 8] >> (7 - bit_ % 8)) & 1);
        }
        return value;
    }
    bool B() { return bits(1) != 0; }
    unsigned BB() { return static_cast<unsigned>(bits(2)); }
    std::uint8_t RC() { return static_cast<std::uint8_t>(bits(8)); }
    std::uint16_t RS() { return static_cast<std::uint16_t>(RC() | RC() << 8); }
    std::uint32_t RL() { return RS() | static_cast<std::uint32_t>(RS()) << 16; }
    double RD() {
        const std::uint64_t low = RL();
        const std::uint64_t raw = low | static_cast<std::uint64_t>(RL()) << 32;
        double value;
        std::memcpy(&value, &raw, sizeof value);
        return value;
    }
    std::uint16_t BS() {
        switch (BB()) {
            case 0: return RS();
            case 1: return RC();
            case 2: return 0;
            default: return 256;
        }
    }
    std::uint32_t BL() {
        switch (BB()) {
            case 0: return RL();
            case 1: return RC();
            case 2: return 0;
            default: return 0xFFFFFFFF;
        }
    }
    double BD() {
        switch (BB()) {
            case 0: return RD();
            case 1: return 1.0;
            case 2: return 0.0;
            default: return -1.0;
        }
    }
    double DD() {
        switch (BB()) {
            case 0: return 0.0;
            case 1: return static_cast<std::int32_t>(RL());
            case 2: RL(), RS(); return 0.0;
            default: return RD();
        }
    }
    // Returns the code; the value bytes are dropped.
    unsigned H() {
        const std::uint8_t head = RC();
        for (unsigned i = 0; i < (head & 0x0Fu); ++i) RC();
        return head >> 4;
    }
    std::string T() {
        const std::uint16_t length = BS();
        return text(length);
    }
    Point3 BE() { return B() ? Point3{0, 0, 1} : Point3{BD(), BD(), BD()}; }
    double BT() { return B() ? 0.0 : BD(); }
    std::string text(std::size_t count) {
        std::string bytes;
        while (bytes.size() < count) bytes += static_cast<char>(RC());
        return bytes;
    }
    std::size_t bitPosition() const { return bit_; }
    void seekBit(std::size_t bit) { bit_ = bit; }

private:
    const Bytes& data_;
    std::size_t bit_;
};

// The object map read back from a drawing: absolute offsets in map order.
std::int32_t decodeMC(const Bytes& data, std::size_t& at) {
    std::int64_t value = 0;
    for (unsigned shift = 0;; shift += 7) {
        const std::uint8_t byte = data.at(at++);
        if (byte & 0x80) {
            value |= static_cast<std::int64_t>(byte & 0x7F) << shift;
            continue;
        }
        value |= static_cast<std::int64_t>(byte & 0x3F) << shift;
        return static_cast<std::int32_t>((byte & 0x40) ? -value : value);
    }
}

std::vector<std::int32_t> mapOffsets(const Bytes& file, std::size_t mapAt) {
    std::vector<std::int32_t> offsets;
    for (std::size_t at = mapAt;;) {
        const std::size_t size = file.at(at) << 8 | file.at(at + 1);
        if (size == 2) return offsets;
        const std::size_t end = at + size;
        std::int32_t offset = 0;
        for (at += 2; at < end;) {
            decodeMC(file, at);
            offset += decodeMC(file, at);
            offsets.push_back(offset);
        }
        at = end + 2;
    }
}

std::uint32_t le32(const Bytes& file, std::size_t at) {
    return file.at(at) | file.at(at + 1) << 8 | file.at(at + 2) << 16 | static_cast<std::uint32_t>(file.at(at + 3)) << 24;
}

// ---------------------------------------------------------------------------
// Bit encodings

struct EncodingCase {
    const char* name;
    std::function<void(BitWriter&)> write;
    const char* expected;
};

const std::vector<EncodingCase> kEncodings = {
    {"B", [](BitWriter& w) { w.B(true); }, "1"},
    {"BB", [](BitWriter& w) { w.BB(2); }, "10"},
    {"B4 of 1011", [](BitWriter& w) { w.B4(11); }, "1011"},
    {"RC", [](BitWriter& w) { w.RC(0xAB); }, "[AB]"},
    {"RS", [](BitWriter& w) { w.RS(0x1234); }, "[34 12]"},
    {"RL", [](BitWriter& w) { w.RL(0x12345678); }, "[78 56 34 12]"},
    {"RD", [](BitWriter& w) { w.RD(1.0); }, "[00 00 00 00 00 00 F0 3F]"},
    {"BS 0", [](BitWriter& w) { w.BS(0); }, "10"},
    {"BS 256", [](BitWriter& w) { w.BS(256); }, "11"},
    {"BS 255", [](BitWriter& w) { w.BS(255); }, "01 [FF]"},
    {"BS 0x1234", [](BitWriter& w) { w.BS(0x1234); }, "00 [34 12]"},
    {"BS code 0 of 5", [](BitWriter& w) { w.BSCode(0, 5); }, "00 [05 00]"},
    {"BS code 1 of 0", [](BitWriter& w) { w.BSCode(1, 0); }, "01 [00]"},
    {"BS code 3", [](BitWriter& w) { w.BSCode(3); }, "11"},
    {"BL 0", [](BitWriter& w) { w.BL(0); }, "10"},
    {"BL 7", [](BitWriter& w) { w.BL(7); }, "01 [07]"},
    {"BL 0xFFFFFFFF", [](BitWriter& w) { w.BL(0xFFFFFFFF); }, "11"},
    {"BL 0x10000", [](BitWriter& w) { w.BL(0x10000); }, "00 [00 00 01 00]"},
    {"BL code 0 of 0", [](BitWriter& w) { w.BLCode(0, 0); }, "00 [00 00 00 00]"},
    {"BD 1.0", [](BitWriter& w) { w.BD(1.0); }, "01"},
    {"BD 0.0", [](BitWriter& w) { w.BD(0.0); }, "10"},
    {"BD -1.0", [](BitWriter& w) { w.BD(-1.0); }, "11"},
    {"BD 2.0", [](BitWriter& w) { w.BD(2.0); }, "00 [00 00 00 00 00 00 00 40]"},
    {"BD -0.0 in full", [](BitWriter& w) { w.BD(-0.0); }, "00 [00 00 00 00 00 00 00 80]"},
    {"BD code 0 of 1.0", [](BitWriter& w) { w.BDCode(0, 1.0); }, "00 [00 00 00 00 00 00 F0 3F]"},
    {"DD 0.0", [](BitWriter& w) { w.DD(0.0); }, "00"},
    {"DD -2.0", [](BitWriter& w) { w.DD(-2.0); }, "01 [FE FF FF FF]"},
    {"DD 0.5", [](BitWriter& w) { w.DD(0.5); }, "11 [00 00 00 00 00 00 E0 3F]"},
    {"DD code 2", [](BitWriter& w) { w.DDPair(0x01020304, 0x0506); }, "10 [04 03 02 01 06 05]"},
    {"DD code 3 of 1.0", [](BitWriter& w) { w.DDReal(1.0); }, "11 [00 00 00 00 00 00 F0 3F]"},
    {"H 5 of 0x1234", [](BitWriter& w) { w.H(5, 0x1234); }, "[52 12 34]"},
    {"H 3 of 0", [](BitWriter& w) { w.H(3, 0u); }, "[30]"},
    {"T AB", [](BitWriter& w) { w.T("AB"); }, "01 [02 41 42]"},
    {"T empty", [](BitWriter& w) { w.T(""); }, "10"},
    {"T declared 10", [](BitWriter& w) { w.T("AB", 10); }, "01 [0A 41 42]"},
    {"BE default", [](BitWriter& w) { w.BE(0, 0, 1); }, "1"},
    {"BE (0,0,-1)", [](BitWriter& w) { w.BE(0, 0, -1); }, "0 10 10 11"},
    {"BT default", [](BitWriter& w) { w.BT(0.0); }, "1"},
    {"BT 2.5", [](BitWriter& w) { w.BT(2.5); }, "0 00 [00 00 00 00 00 00 04 40]"},
};

TEST(BitWriterTest, EveryEncodingAtEveryBitPosition) {
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

TEST(BitWriterTest, TextOf256BytesUsesTheShortLengthCode) {
    BitWriter w;
    w.T(std::string(256, 'x'));
    EXPECT_EQ(w.bitCount(), 2u + 256 * 8);
    EXPECT_EQ(w.bytes()[0] >> 6, 3);
}

TEST(BitWriterTest, ImpossibleEncodingsAreRefused) {
    BitWriter w;
    EXPECT_THROW(w.BB(4), std::invalid_argument);
    EXPECT_THROW(w.BSCode(1, 256), std::invalid_argument);
    EXPECT_THROW(w.BLCode(4), std::invalid_argument);
    EXPECT_THROW(w.H(16, 1u), std::invalid_argument);
    EXPECT_THROW(w.padTo(0).RC(1).padTo(0), std::logic_error);
}

// ---------------------------------------------------------------------------
// Object map

TEST(ObjectMapTest, ModularCharsMatchHandComputedBytes) {
    EXPECT_EQ(encodeMC(5), hex("05"));
    EXPECT_EQ(encodeMC(-1), hex("41"));
    EXPECT_EQ(encodeMC(129), hex("81 01"));
    EXPECT_EQ(encodeMC(-128), hex("80 41"));
    EXPECT_EQ(encodeMC(100), hex("E4 00"));
    EXPECT_EQ(encodeMC(0), hex("00"));
    EXPECT_EQ(encodeMC(63), hex("3F"));
    EXPECT_EQ(encodeMC(-64), hex("C0 40"));
    EXPECT_EQ(encodeMC(5, 3), hex("85 80 00"));
    EXPECT_EQ(encodeMC(-1, 2), hex("81 40"));
    EXPECT_THROW(encodeMC(129, 1), std::invalid_argument);
}

TEST(ObjectMapTest, ModularCharsRoundTripAcrossGroupBoundaries) {
    for (unsigned power = 0; power < 31; ++power) {
        for (std::int64_t near : {-1, 0, 1}) {
            for (std::int64_t sign : {-1, 1}) {
                const auto value = static_cast<std::int32_t>(sign * ((std::int64_t{1} << power) + near));
                for (std::size_t width : {encodeMC(value).size(), std::size_t{6}}) {
                    const Bytes bytes = encodeMC(value, width);
                    std::size_t at = 0;
                    EXPECT_EQ(decodeMC(bytes, at), value) << "width " << width;
                    EXPECT_EQ(at, bytes.size());
                }
            }
        }
    }
}

TEST(ObjectMapTest, OneSectionOfTwoEntriesIsThirteenBytes) {
    const Bytes map = ObjectMapWriter().section({{1, 100}, {2, 120}}).bytes();
    EXPECT_EQ(map, hex("00 07 01 E4 00 01 14 A5 5A 00 02 A5 5A"));
}

TEST(ObjectMapTest, EachSectionStartsItsDeltasAtZero) {
    const Bytes map = ObjectMapWriter().section({{1, 100}}).section({{2, 50}}).section({}).bytes();
    EXPECT_EQ(map, hex("00 05 01 E4 00 A5 5A  00 04 02 32 A5 5A  00 02 A5 5A  00 02 A5 5A"));
    EXPECT_EQ(ObjectMapWriter().bytes(), hex("00 02 A5 5A"));
    EXPECT_EQ(ObjectMapWriter().rawSection(hex("01 02"), 0x1234).bytes(), hex("12 34 01 02 A5 5A 00 02 A5 5A"));
}

// ---------------------------------------------------------------------------
// Objects

TEST(ObjectTest, OpaqueObjectIsFramedBySizeAndCrc) {
    OpaqueObject object;
    object.type = 73;
    object.payload = {0x11};
    // BS 73 = 01 01001001, then 00010001: 18 bits in 3 bytes.
    EXPECT_EQ(frameObject(object, Layout::R13, 1).bytes, hex("03 00 52 44 40 C3 C3"));
    object.sizeField = 0xFFFF;
    EXPECT_EQ(frameObject(object, Layout::R13, 1).bytes, hex("FF FF 52 44 40 C3 C3"));
}

// The R13/R14 fields of an ATTRIB, read back in the order the reader reads.
TEST(ObjectTest, R13AttribFieldsComeInReadingOrder) {
    R13Drawing d;
    TextEntity& t = d.addAttrib("AB", "TAG1");
    t.common.eed.push_back({});  // application handle 5/0x12, data "eed"
    t.common.color = 3;
    t.extrusion = {0.5, 0.0, 1.0};
    t.height = 7.0;
    const ComposedDrawing c = d.compose();
    const std::size_t dataStart = (c.objectOffsets[0] + 2) * 8;

    BitReader r(c.bytes, c.objectOffsets[0]);
    const std::uint16_t size = r.RS();
    EXPECT_EQ(r.BS(), 2);  // type
    EXPECT_EQ(r.H(), 0u);  // own handle
    EXPECT_EQ(r.BS(), 3);  // EED block length
    EXPECT_EQ(r.H(), 5u);  // its application handle
    EXPECT_EQ(r.text(3), "eed");
    EXPECT_EQ(r.BS(), 0);  // end of EED
    EXPECT_FALSE(r.B());   // graphic present
    const std::uint32_t dataBits = r.RL();
    EXPECT_EQ(r.BB(), 0u);  // entity mode
    EXPECT_EQ(r.BL(), 0u);  // reactors
    EXPECT_TRUE(r.B());     // linetype by layer
    EXPECT_TRUE(r.B());     // no links
    EXPECT_EQ(r.BS(), 3);   // color
    EXPECT_EQ(r.BD(), 1.0);  // linetype scale
    EXPECT_EQ(r.BS(), 0);    // invisibility
    EXPECT_EQ(c.fieldEnds[0].at(Field::CommonData), r.bitPosition() - dataStart);
    EXPECT_EQ(r.BD(), 0.0);  // elevation
    EXPECT_EQ((Point2{r.RD(), r.RD()}), t.insertion);
    EXPECT_EQ((Point2{r.RD(), r.RD()}), t.alignment);
    EXPECT_EQ((Point3{r.BD(), r.BD(), r.BD()}), t.extrusion);
    EXPECT_EQ(c.fieldEnds[0].at(Field::Extrusion), r.bitPosition() - dataStart);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(r.BD(), 0.0);  // thickness, oblique, rotation
    EXPECT_EQ(r.BD(), 7.0);                              // height
    EXPECT_EQ(r.BD(), 1.0);                              // width factor
    EXPECT_EQ(r.T(), "AB");
    for (int i = 0; i < 3; ++i) r.BS();  // generation and alignment codes
    EXPECT_EQ(r.T(), "TAG1");
    r.BS();  // field length
    r.RC();  // flags
    EXPECT_EQ(dataBits, r.bitPosition() - dataStart);
    EXPECT_EQ(size, (dataBits + 7) / 8);
    EXPECT_EQ(c.objectOffsets[0] + size + 4, c.mapOffset);
}

// R2000 common data; returns the type.
std::uint16_t readR2000Common(BitReader& r, std::uint32_t& dataBits) {
    r.RS();  // size
    const std::uint16_t type = r.BS();
    dataBits = r.RL();
    r.H();
    EXPECT_EQ(r.BS(), 0);    // no EED
    EXPECT_FALSE(r.B());     // graphic present
    EXPECT_EQ(r.BB(), 0u);   // entity mode
    EXPECT_EQ(r.BL(), 0u);   // reactors
    EXPECT_TRUE(r.B());      // no links
    EXPECT_EQ(r.BS(), 256);  // color
    EXPECT_EQ(r.BD(), 1.0);  // linetype scale
    EXPECT_EQ(r.BB(), 2u);   // linetype flags
    EXPECT_EQ(r.BB(), 1u);   // plot style flags
    EXPECT_EQ(r.BS(), 0);    // invisibility
    EXPECT_EQ(r.RC(), 13);   // lineweight
    return type;
}

TEST(ObjectTest, R2000TextDataFlagsLeaveOutTheirFields) {
    R2000Drawing d;
    for (std::uint8_t flags : {0x1F, 0x00}) {
        TextEntity& t = d.addText("AB");
        t.dataFlags = flags;
        t.common.linetypeFlags = 2;
        t.common.plotStyleFlags = 1;
        t.common.lineweight = 13;
        t.elevation = 4.0;
        t.insertion = {1.5, 2.5};
        t.alignment = {3.0, 0.5};
        t.thickness = 0.25;
        t.oblique = 0.125;
        t.rotation = 0.75;
        t.height = 7.0;
        t.widthFactor = 0.8;
    }
    const ComposedDrawing c = d.compose();

    std::uint32_t dataBits = 0;
    BitReader all(c.bytes, c.objectOffsets[1]);
    EXPECT_EQ(readR2000Common(all, dataBits), 1);
    EXPECT_EQ(all.RC(), 0x00);
    EXPECT_EQ(all.RD(), 4.0);
    EXPECT_EQ((Point2{all.RD(), all.RD()}), (Point2{1.5, 2.5}));
    EXPECT_EQ((Point2{all.DD(), all.DD()}), (Point2{3.0, 0.5}));
    EXPECT_EQ(all.BE(), (Point3{0, 0, 1}));
    EXPECT_EQ(all.BT(), 0.25);
    EXPECT_EQ(all.RD(), 0.125);
    EXPECT_EQ(all.RD(), 0.75);
    EXPECT_EQ(all.RD(), 7.0);
    EXPECT_EQ(all.RD(), 0.8);
    EXPECT_EQ(all.T(), "AB");
    for (int i = 0; i < 3; ++i) all.BS();
    EXPECT_EQ(dataBits, all.bitPosition() - (c.objectOffsets[1] + 2) * 8);

    BitReader few(c.bytes, c.objectOffsets[0]);
    readR2000Common(few, dataBits);
    EXPECT_EQ(few.RC(), 0x1F);
    EXPECT_EQ((Point2{few.RD(), few.RD()}), (Point2{1.5, 2.5}));
    EXPECT_EQ(few.BE(), (Point3{0, 0, 1}));
    EXPECT_EQ(few.BT(), 0.25);
    EXPECT_EQ(few.RD(), 7.0);
    EXPECT_EQ(few.T(), "AB");
    const FieldEnds& ends = c.fieldEnds[0];
    EXPECT_EQ(ends.at(Field::Elevation), ends.at(Field::DataFlags));
    EXPECT_EQ(ends.at(Field::Rotation), ends.at(Field::Thickness));
}

TEST(ObjectTest, MTextFieldsFollowTheCommonData) {
    R14Drawing d;
    MTextEntity& m = d.addMText("Line one\\PLine two");
    m.insertion = {1.0, 2.5, 0.0};
    m.attachment = 5;
    const ComposedDrawing c = d.compose();
    BitReader fields(c.bytes, c.objectOffsets[0] + 2);
    EXPECT_EQ(fields.BS(), 44);
    fields.seekBit((c.objectOffsets[0] + 2) * 8 + c.fieldEnds[0].at(Field::CommonData));
    EXPECT_EQ((Point3{fields.BD(), fields.BD(), fields.BD()}), m.insertion);
    EXPECT_EQ((Point3{fields.BD(), fields.BD(), fields.BD()}), m.extrusion);
    EXPECT_EQ((Point3{fields.BD(), fields.BD(), fields.BD()}), m.xAxis);
    EXPECT_EQ(fields.BD(), m.rectWidth);
    EXPECT_EQ(fields.BD(), m.height);
    EXPECT_EQ(fields.BS(), 5);
    EXPECT_EQ(fields.BS(), m.drawingDirection);
    EXPECT_EQ(fields.BD(), m.extentsHeight);
    EXPECT_EQ(fields.BD(), m.extentsWidth);
    EXPECT_EQ(fields.T(), "Line one\\PLine two");
}

// ---------------------------------------------------------------------------
// R13-R2000 drawings

TEST(DrawingTest, LocatorsMapAndObjectsAgree) {
    R2000Drawing d;
    d.addText("AB");
    d.addMText("M");
    d.addObject(500);
    const ComposedDrawing c = d.compose();
    const Bytes& f = c.bytes;

    EXPECT_EQ(std::string(f.begin(), f.begin() + 6), "AC1015");
    EXPECT_EQ(f[0x13] | f[0x14] << 8, 30);
    EXPECT_EQ(le32(f, 21), 5u);
    for (std::uint8_t i = 0; i < 5; ++i) EXPECT_EQ(f[25 + 9 * i], i);
    const std::uint32_t classesEnd = le32(f, 25 + 9 + 1) + le32(f, 25 + 9 + 5);
    EXPECT_EQ(c.objectOffsets[0], classesEnd + 512u);
    EXPECT_EQ(le32(f, 25 + 18 + 1), c.mapOffset);
    EXPECT_EQ(le32(f, 25 + 18 + 5), c.mapSize);
    EXPECT_EQ(c.mapOffset + c.mapSize, f.size());
    EXPECT_EQ(mapOffsets(f, c.mapOffset), (std::vector<std::int32_t>(c.objectOffsets.begin(), c.objectOffsets.end())));
    for (std::size_t i = 0; i + 1 < c.objectOffsets.size(); ++i) {
        const std::size_t size = f[c.objectOffsets[i]] | f[c.objectOffsets[i] + 1] << 8;
        EXPECT_EQ(c.objectOffsets[i + 1], c.objectOffsets[i] + size + 4);
    }
    EXPECT_EQ(BitReader(f, c.objectOffsets[2] + 2).BS(), 500);
}

TEST(DrawingTest, MapBeforeObjectsAndSplitSections) {
    R13Drawing d;
    for (int i = 0; i < 40; ++i) d.addText(std::string(100, 'x'));
    d.options.mapBeforeObjects = true;
    d.options.entriesPerMapSection = 7;
    const ComposedDrawing c = d.compose();
    EXPECT_LE(c.mapOffset + c.mapSize, c.objectOffsets[0]);
    EXPECT_EQ(mapOffsets(c.bytes, c.mapOffset), (std::vector<std::int32_t>(c.objectOffsets.begin(), c.objectOffsets.end())));
    EXPECT_EQ(c.objectOffsets.back() + (c.bytes[c.objectOffsets.back()] | c.bytes[c.objectOffsets.back() + 1] << 8) + 4,
              c.bytes.size());
}

TEST(DrawingTest, CutAfterAFieldEndsTheFileInsideTheLastObject) {
    R13Drawing d;
    d.addText("first");
    d.addText("AB").extrusion = {0.5, 0.0, 1.0};
    const Bytes cut = d.buildCutAfter(Field::Alignment);
    d.options.mapBeforeObjects = true;
    const ComposedDrawing whole = d.compose();
    ASSERT_EQ(cut.size(), whole.endOfField(1, Field::Alignment));
    EXPECT_TRUE(std::equal(cut.begin(), cut.end(), whole.bytes.begin()));
    EXPECT_EQ(mapOffsets(cut, whole.mapOffset).size(), 2u);
}

TEST(DrawingTest, CorruptionKnobs) {
    R14Drawing d;
    d.addText("AB");
    d.options.locatorCount = 4;
    d.options.adjustLocators = [](std::vector<Locator>& l) { std::swap(l[1].number, l[2].number); };
    d.options.adjustMap = [](std::vector<MapEntry>& e) { e.push_back({9, 1 << 20}); };
    d.options.versionText = "AC1016";
    const ComposedDrawing c = d.compose();
    EXPECT_EQ(std::string(c.bytes.begin(), c.bytes.begin() + 6), "AC1016");
    EXPECT_EQ(le32(c.bytes, 21), 4u);
    EXPECT_EQ(c.bytes[25 + 9], 2);
    EXPECT_EQ(c.bytes[25 + 18], 1);
    EXPECT_EQ(mapOffsets(c.bytes, c.mapOffset).back(), 1 << 20);

    d.options.mapBytes = hex("00 02 00 00");
    EXPECT_EQ(d.compose().mapSize, 4u);
}

// ---------------------------------------------------------------------------
// R10-R12 drawings

TEST(R12Test, HeaderPlacesSectionsDescriptorsAndDates) {
    R12Drawing d;
    d.addText("AB");
    const ComposedR12 c = d.compose();
    const Bytes& f = c.bytes;
    const std::uint32_t entitiesEnd = 0x6CF + 44 + 32;
    EXPECT_EQ(std::string(f.begin(), f.begin() + 12), std::string("AC1009\0\0\0\0\0\0", 12));
    EXPECT_EQ(le32(f, 0x14), 0x6CFu);
    EXPECT_EQ(le32(f, 0x18), entitiesEnd);
    EXPECT_EQ(le32(f, 0x1C), entitiesEnd);
    EXPECT_EQ(le32(f, 0x24), entitiesEnd + 32);
    EXPECT_EQ(f.size(), entitiesEnd + 32);
    EXPECT_EQ(f[0x2C], 37);                 // BLOCK entry size
    EXPECT_EQ(f[0x54], 58);                 // VIEW entry size
    EXPECT_EQ(le32(f, 0x31F), 2451545u);    // first date, whole day
    EXPECT_EQ(le32(f, 0x32B), 25000000u);   // second date, fraction
    EXPECT_EQ(f[0x3EF], 121);               // UCS
    EXPECT_EQ(f[0x69F], 24);                // P13
    EXPECT_EQ(c.entityOffsets, std::vector<std::size_t>{0x6CF});
}

TEST(R12Test, TextRecordMatchesHandComputedBytes) {
    R12Drawing d;
    d.addText("AB");
    const Bytes f = d.build();
    const Bytes expected = hex(
        "07 00 2C 00  00 00 00 00"
        "00 00 00 00 00 00 24 40  00 00 00 00 00 00 34 40"   // point (10, 20)
        "00 00 00 00 00 00 04 40"                            // height 2.5
        "02 00 41 42"                                        // "AB"
        "00 00 00 00 00 00 00 00");                          // rotation
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), f.begin() + 0x6CF));
    // The trailing 32 bytes: a BLOCK named NOREAD.
    EXPECT_EQ(f[0x6CF + 44], 12);
    EXPECT_EQ(f[0x6CF + 44 + 2], 32);
    EXPECT_EQ(std::string(f.end() - 32 - 6, f.end() - 32), "NOREAD");
}

TEST(R12Test, CommonPartFollowsFlagsInRecordOrder) {
    R12Entity circle;
    circle.type = 3;
    circle.flags = 0x4D;  // colour, elevation, thickness, extra flags
    circle.colour = 1;
    circle.extraFlags = 0x06;  // extended data, trailing word
    circle.eed.string("A");
    circle.elevation = 1.0;
    circle.extraWord = 0x0102;
    EXPECT_EQ(encodeR12Entity(circle),
              hex("03 4D 22 00  00 00 00 00  01 06  04 00 00 01 00 41"
                  "00 00 00 00 00 00 F0 3F  00 00 00 00 00 00 00 00  02 01"));

    R12Entity line;
    line.flags = 0x24;  // elevation (never for LINE), counted bytes
    line.counted = {0xAA};
    line.length = 0;
    EXPECT_EQ(encodeR12Entity(line), hex("01 24 00 00  00 00 00 00  01 AA"));
}

TEST(R12Test, BlockSecondStringSetsTheOptionBit) {
    R12Drawing d;
    EXPECT_EQ(d.addBlock("B").optionWord, 0);
    EXPECT_EQ(d.addBlock("B", "DESC").optionWord, 2);
    EXPECT_EQ(encodeR12Entity(d.addAttrib("V", "T")).size(), 4u + 4 + 16 + 8 + 3 + 3 + 2);
    EXPECT_EQ(encodeR12Entity(d.addAttdef("V", "", "P")).size(), 4u + 4 + 16 + 8 + 3 + 2 + 3 + 2);
}

}  // namespace
}  // namespace dwgw
