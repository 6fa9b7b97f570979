#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "front/switchDWGfuncs.h"
#include "r13/dataread.h"
#include "r13/dwgcommon.h"
#include "stream_fixture.h"
#include "writer/objects.h"

namespace {

using dwgw::Bytes;
using dwgw::CommonData;
using dwgw::EedBlock;
using dwgw::Layout;

constexpr int32_t kR14 = 7;
constexpr int32_t kR2000 = 8;
constexpr size_t kPrefix = 5;

// An object lying kPrefix bytes into the file, with the stream moved to its
// first byte as the object walk leaves it.
struct CommonReader {
    explicit CommonReader(const Bytes &object) : fixture(withPrefix(object))
    {
        common = newDWGCommon(&fixture.session, fixture.memory, fixture.stream, kR2000);
        fixture.stream->SeekPos(kPrefix);
        common->dataRead()->resetBits();
    }
    ~CommonReader() { deleteDWGCommon(common); }

    static Bytes withPrefix(const Bytes &object)
    {
        Bytes bytes(kPrefix, 0xEE);
        bytes.insert(bytes.end(), object.begin(), object.end());
        return bytes;
    }

    int32_t read(R13CommonData *data) { return common->getR13_DWGCommonData(data); }
    int32_t read(R2KCommonData *data) { return common->getR2K_DWGCommonData(data); }

    // Bits read since the start of the object.
    int32_t bitsRead() const
    {
        return (fixture.stream->CurPosition() - static_cast<int32_t>(kPrefix)) * 8 + common->dataRead()->bitPosition();
    }

    StreamFixture fixture;
    DWGCommon *common = nullptr;
};

template <class Data>
constexpr Layout layoutOf()
{
    return std::is_same_v<Data, R2KCommonData> ? Layout::R2000 : Layout::R13;
}

dwgw::FramedObject frameText(const CommonData &common, Layout layout)
{
    dwgw::TextEntity text;
    text.common = common;
    text.text = "AB";
    return dwgw::frameObject(text, layout, 0x2A);
}

template <class Data>
void expectFields(const Data &data, const CommonData &c, const dwgw::FramedObject &framed)
{
    EXPECT_EQ(data.startPosition, static_cast<int32_t>(kPrefix));
    EXPECT_EQ(data.objectSize, framed.bytes[0] | framed.bytes[1] << 8);
    EXPECT_EQ(data.objectType, 1);
    EXPECT_EQ(data.handleCode, static_cast<int32_t>(c.handleCode));
    EXPECT_EQ(data.handleByteCount, 1);
    EXPECT_EQ(data.graphicPresent, 0);
    EXPECT_EQ(data.dataSizeInBits, *c.dataSizeBits);
    EXPECT_EQ(data.entityMode[0] * 2 + data.entityMode[1], static_cast<int32_t>(c.entityMode));
    EXPECT_EQ(data.reactorCount, c.reactors);
    EXPECT_EQ(data.noLinks, c.noLinks ? 1 : 0);
    EXPECT_EQ(data.color, c.color);
    EXPECT_EQ(data.linetypeScale, c.linetypeScale);
    EXPECT_EQ(data.invisibility, c.invisibility);
    if constexpr (std::is_same_v<Data, R2KCommonData>) {
        EXPECT_EQ(data.linetypeFlags[0] * 2 + data.linetypeFlags[1], static_cast<int32_t>(c.linetypeFlags));
        EXPECT_EQ(data.plotStyleFlags[0] * 2 + data.plotStyleFlags[1], static_cast<int32_t>(c.plotStyleFlags));
        EXPECT_EQ(data.lineweight, c.lineweight);
    } else {
        EXPECT_EQ(data.linetypeByLayer, c.linetypeByLayer ? 1 : 0);
    }
}

struct CommonCase {
    const char *name;
    CommonData common;
};

std::vector<CommonCase> commonCases()
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
    CommonData bitsLimitTooShort = oneBlock;
    bitsLimitTooShort.dataSizeBits = 0;

    return {{"no extended data", plain},
            {"every field set", everyField},
            {"one extended block", oneBlock},
            {"two extended blocks", twoBlocks},
            {"data size of 0 bits", bitsLimitTooShort}};
}

template <class Data>
void readsEveryCaseOf()
{
    for (const CommonCase &c : commonCases()) {
        SCOPED_TRACE(c.name);
        dwgw::FramedObject framed = frameText(c.common, layoutOf<Data>());
        CommonReader reader(framed.bytes);
        ASSERT_NE(reader.common, nullptr);
        Data data;
        ASSERT_EQ(reader.read(&data), 1);
        expectFields(data, c.common, framed);
        // Left on the first field of the entity itself.
        EXPECT_EQ(reader.bitsRead(), static_cast<int32_t>(16 + framed.fieldEnds.at(dwgw::Field::CommonData)));
    }
}

TEST(DWGCommonRead, R13FieldsAndExtendedData)
{
    readsEveryCaseOf<R13CommonData>();
}

TEST(DWGCommonRead, R2000FieldsAndExtendedData)
{
    readsEveryCaseOf<R2KCommonData>();
}

template <class Data>
void refusesGraphicAndTruncation()
{
    CommonData graphic;
    graphic.graphicPresent = true;
    CommonReader withGraphic(frameText(graphic, layoutOf<Data>()).bytes);
    Data data;
    EXPECT_EQ(withGraphic.read(&data), 0);

    CommonData eed;
    eed.eed = {EedBlock{}};
    dwgw::FramedObject framed = frameText(eed, layoutOf<Data>());
    size_t needed = (16 + framed.fieldEnds.at(dwgw::Field::CommonData) + 7) / 8;
    for (size_t length = 1; length < needed; ++length) {
        SCOPED_TRACE("cut to " + std::to_string(length) + " bytes");
        CommonReader cut(Bytes(framed.bytes.begin(), framed.bytes.begin() + static_cast<long>(length)));
        EXPECT_EQ(cut.read(&data), 0);
    }
}

TEST(DWGCommonRead, R13RefusesGraphicsAndCutObjects)
{
    refusesGraphicAndTruncation<R13CommonData>();
}

TEST(DWGCommonRead, R2000RefusesGraphicsAndCutObjects)
{
    refusesGraphicAndTruncation<R2KCommonData>();
}

// With the stream at the object's end already after the handle, nothing is
// read for the extended data: the graphic flag follows the handle at once.
TEST(DWGCommonRead, ExtendedDataStopsAtTheObjectSize)
{
    dwgw::BitWriter w;
    w.RS(2).BS(1).H(0, 0x2A).B(false).RL(9).BB(0).BL(0).B(true).B(true).BS(256).BD(1.0).BS(0);
    size_t end = w.bitCount();
    w.RS(0);
    CommonReader reader(w.bytes());
    R13CommonData data;
    ASSERT_EQ(reader.read(&data), 1);
    EXPECT_EQ(data.objectSize, 2);
    EXPECT_EQ(data.dataSizeInBits, 9u);
    EXPECT_EQ(reader.bitsRead(), static_cast<int32_t>(end));
}

TEST(DWGCommonMaking, OnlyTheR13FamilyIsServed)
{
    StreamFixture f({0x00});
    for (int32_t version : {5, 6, kR14, kR2000}) {
        DWGCommon *common = newDWGCommon(&f.session, f.memory, f.stream, version);
        EXPECT_NE(common, nullptr) << versionString(version);
        deleteDWGCommon(common);
    }
    EXPECT_TRUE(f.reports().empty());

    EXPECT_EQ(newDWGCommon(&f.session, f.memory, f.stream, 3), nullptr);
    EXPECT_EQ(newDWGCommon(&f.session, f.memory, f.stream, kNoVersion), nullptr);
    EXPECT_EQ(f.reports(), (std::vector<std::string>{
                               "*** ERROR *** This version[AC1009] has not been supported[dwgcommon/46].",
                               "*** ERROR *** This version[] has not been supported[dwgcommon/46]."}));

    EXPECT_EQ(newDWGCommon(nullptr, f.memory, f.stream, kR2000), nullptr);
    EXPECT_EQ(newDWGCommon(&f.session, nullptr, f.stream, kR2000), nullptr);
    EXPECT_EQ(newDWGCommon(&f.session, f.memory, nullptr, kR2000), nullptr);
}

}  // namespace
