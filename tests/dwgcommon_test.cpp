#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "core/versions.h"
#include "r13/dwgcommon.h"
#include "support/bitcursor.h"
#include "writer/objects.h"

namespace {

using dwgw::Bytes;
using dwgw::CommonData;
using dwgw::EedBlock;

// The common data of an object read from its bytes, as the walk hands
// them over: where the cursor stopped, in bits from the object's start.
struct CommonReader {
    explicit CommonReader(Bytes object, int32_t version = kAC1015) : bytes(std::move(object)), version(version) {}

    template <class Data>
    bool read(Data *data)
    {
        BitCursor in(bytes.data(), static_cast<int32_t>(bytes.size()));
        const bool read = readCommonData(in, version, data);
        bitsRead = in.bitOffset();
        return read;
    }

    Bytes bytes;
    int32_t version;
    uint64_t bitsRead = 0;
};

dwgw::FramedObject frameText(const CommonData &common, dwgw::Layout layout)
{
    dwgw::TextEntity text;
    text.common = common;
    text.text = "AB";
    return dwgw::frameObject(text, layout, 0x2A);
}

std::vector<std::pair<const char *, CommonData>> commonCases()
{
    CommonData plain;
    plain.dataSizeBits = 0x1234;
    CommonData everyField = plain;
    everyField.handleCode = 3;
    everyField.entityMode = 2;
    everyField.reactors = 70000;
    everyField.linetypeByLayer = false;
    everyField.noLinks = false;
    everyField.color = 7;
    everyField.linetypeScale = 0.25;
    everyField.linetypeFlags = 3;
    everyField.plotStyleFlags = 1;
    everyField.invisibility = 1;
    everyField.lineweight = 0xA5;
    CommonData oneBlock = plain;
    oneBlock.eed = {EedBlock{5, {0x12, 0x34}, {'a', 'b', 'c', 'd', 'e'}, {}}};
    CommonData twoBlocks = plain;
    twoBlocks.eed = {EedBlock{}, EedBlock{2, {}, Bytes(300, 0x77), {}}};
    // A limit counted in bits from the data size would end the extended
    // data before it began; the object size does not.
    CommonData noDataBits = oneBlock;
    noDataBits.dataSizeBits = 0;
    return {{"no extended data", plain},
            {"every field set", everyField},
            {"one extended block", oneBlock},
            {"two extended blocks", twoBlocks},
            {"data size of 0 bits", noDataBits}};
}

// Every case is read and leaves the cursor on the entity's own first field;
// an entity with a graphic, or cut short anywhere, is refused.
template <class Data>
void readsLayout(dwgw::Layout layout)
{
    Data data;
    for (const auto &[name, common] : commonCases()) {
        SCOPED_TRACE(name);
        dwgw::FramedObject framed = frameText(common, layout);
        const uint64_t end = 16 + framed.fieldEnds.at(dwgw::Field::CommonData);
        for (uint64_t length = 1; length < (end + 7) / 8; ++length) {
            CommonReader cut(Bytes(framed.bytes.begin(), framed.bytes.begin() + static_cast<std::ptrdiff_t>(length)));
            EXPECT_FALSE(cut.read(&data)) << "cut to " << length << " bytes";
        }
        CommonReader reader(framed.bytes);
        ASSERT_TRUE(reader.read(&data));
        EXPECT_EQ(reader.bitsRead, end);
    }
    CommonData graphic;
    graphic.graphicPresent = true;
    CommonReader withGraphic(frameText(graphic, layout).bytes);
    EXPECT_FALSE(withGraphic.read(&data));
}

TEST(DWGCommon, ReadsR13AndR2000Layouts)
{
    readsLayout<R13CommonData>(dwgw::Layout::R13);
    readsLayout<R2KCommonData>(dwgw::Layout::R2000);
}

// From R2004 on each release adds fields before the colour (the data-store
// flag of R2013) or after it (R2007's material and shadow flags, R2010's
// visual styles): read with the wrong release's rules, the common data
// ends elsewhere.
TEST(DWGCommon, EachLaterReleaseReadsItsOwnFields)
{
    const std::pair<dwgw::Layout, int32_t> releases[] = {{dwgw::Layout::R2004, kAC1018},
                                                         {dwgw::Layout::R2007, kAC1021},
                                                         {dwgw::Layout::R2010, kAC1024},
                                                         {dwgw::Layout::R2013, kAC1027},
                                                         {dwgw::Layout::R2018, kAC1032}};
    CommonData common;
    common.reactors = 3;
    common.color = 0xA005;
    common.colorValue = 0xC2FF8000;
    common.transparency = 0x03000080;
    common.linetypeScale = 0.25;
    common.invisibility = 1;
    common.lineweight = 0xA5;
    for (const auto &[layout, version] : releases) {
        SCOPED_TRACE(version);
        dwgw::FramedObject framed = frameText(common, layout);
        CommonReader reader(framed.bytes, version);
        R2KCommonData data{};
        ASSERT_TRUE(reader.read(&data));
        EXPECT_EQ(data.objectType, 1);
        const uint64_t sizeFields = version >= kAC1024 ? 24 : 16;  // from R2010 on with the handle stream's MC
        EXPECT_EQ(reader.bitsRead, sizeFields + framed.fieldEnds.at(dwgw::Field::CommonData));
    }
}

// With the cursor past the object's size already after the handle, nothing
// is read for the extended data: the graphic flag follows the handle.
TEST(DWGCommon, ExtendedDataStopsAtTheObjectSize)
{
    dwgw::BitWriter w;
    w.RS(2).BS(1).H(0, 0x2A).B(false).RL(9).BB(0).BL(0).B(true).B(true).BS(256).BD(1.0).BS(0);
    const uint64_t end = w.bitCount();
    CommonReader reader(w.RS(0).bytes());
    R13CommonData data;
    ASSERT_TRUE(reader.read(&data));
    EXPECT_EQ(reader.bitsRead, end);
}

// An object's head from its bytes: the type's code picks how many bits
// follow, an R2010 head's handle-stream size may take up to five bytes
// before the type, and a head cut anywhere is not read.
TEST(DWGCommon, ObjectHeadsOfBothLayouts)
{
    struct Case {
        int32_t version;
        Bytes bytes;
        uint16_t type;
        int32_t length;  // of the object, from its first byte to its check value's end
    };
    const Case cases[] = {
        {kAC1015, {0x34, 0x00, 0x0D, 0x04, 0x80}, 0x1234, 0x38},         // BS code 0: a raw short
        {kAC1015, {0x34, 0x00, 0x44, 0x40}, 0x11, 0x38},                 // BS code 1: a byte
        {kAC1015, {0x34, 0x00, 0x80}, 0, 0x38},                           // BS code 2: 0
        {kAC1032, {0x34, 0x00, 0x81, 0x80, 0x01, 0x41, 0x40}, 0x1F5, 59},  // three-byte MC, OT code 1
        {kAC1032, {0x34, 0x00, 0x05, 0x80, 0x04, 0xC0}, 0x1300, 57},      // OT code 2: a raw short
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.bytes));
        ObjectHead head{};
        ASSERT_TRUE(readObjectHead(c.bytes.data(), static_cast<int32_t>(c.bytes.size()), c.version, &head));
        EXPECT_EQ(head.size, 0x34);
        EXPECT_EQ(head.type, c.type);
        EXPECT_EQ(head.length, c.length);
        for (int32_t cut = 0; cut < static_cast<int32_t>(c.bytes.size()); ++cut) {
            EXPECT_FALSE(readObjectHead(c.bytes.data(), cut, c.version, &head)) << cut;
        }
    }
    const Bytes endlessMC = {0x34, 0x00, 0x80, 0x80, 0x80, 0x80, 0x80, 0x00, 0x00, 0x00};
    ObjectHead head{};
    EXPECT_FALSE(readObjectHead(endlessMC.data(), static_cast<int32_t>(endlessMC.size()), kAC1032, &head));
}

}  // namespace
