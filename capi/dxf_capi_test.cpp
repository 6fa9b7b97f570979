// DXF files read through the C API as their DWG twins are: one drawing
// composed by the test kit, written as DWG and as ASCII and binary DXF,
// gives the same texts (rendered, as stored, kind) and properties; a cut
// or malformed DXF file says so and keeps the texts before.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "dwgtext.h"
#include "dwgwriter.h"
#include "dxfwriter.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Text = std::tuple<std::string, std::string, int32_t, std::string>;  // text, bytes, charset, kind

struct Read {
    std::vector<Text> texts;
    std::vector<std::pair<std::string, std::string>> properties;
    enum dwgtext_status status = DWGTEXT_READING;
    std::string version;
};

Read readBytes(const Bytes &bytes)
{
    dwgtext_drawing *handle = nullptr;
    EXPECT_EQ(dwgtext_open_bytes(bytes.data(), bytes.size(), 0, &handle), DWGTEXT_OK);
    Read read;
    const char *name = nullptr;
    const char *value = nullptr;
    for (size_t i = 0; i < dwgtext_property_count(handle); ++i) {
        dwgtext_property(handle, i, &name, &value);
        read.properties.emplace_back(name, value);
    }
    dwgtext_text text{};
    while (dwgtext_next(handle, &text) == 1) {
        read.texts.emplace_back(std::string(text.text, text.length),
                                std::string(reinterpret_cast<const char *>(text.bytes), text.bytes_length),
                                text.charset, dwgtext_kind(handle));
    }
    read.status = dwgtext_status(handle);
    read.version = dwgtext_version(handle);
    dwgtext_close(handle);
    return read;
}

dwgw::DxfOptions dxfOptions(dwgw::DxfEncoding encoding, const char *version = nullptr, const char *lineEnd = "\r\n")
{
    dwgw::DxfOptions options;
    options.encoding = encoding;
    options.lineEnd = lineEnd;
    if (version != nullptr)
        options.version = version;
    return options;
}

constexpr dwgw::DxfEncoding kAscii = dwgw::DxfEncoding::Ascii;
constexpr dwgw::DxfEncoding kBinary = dwgw::DxfEncoding::Binary;

dwgw::SummaryInfo summary(bool utf8)
{
    dwgw::SummaryInfo info;
    info.title = utf8 ? "Pump station \u00C5" : "Pump station \xC5";
    info.author = "J. Smith";
    info.comments = "first line^second";
    info.hyperlinkBase = "https://example.com/";
    info.created = {2'460'375, 50'829'000};
    info.modified = {2'460'400, 1};
    info.editingTime = {1, 3'723'000};
    for (int i = 0; i < 12; ++i)
        info.custom.emplace_back("Sheet " + std::to_string(i), "value " + std::to_string(i));
    return info;
}

// Every kind of text, with codes at the start, paragraphs, a "\U+" code,
// a control character, a caret, bytes of the code page and an MTEXT long
// enough for chunks.
void addEveryKind(dwgw::Drawing &drawing, bool multileaders, bool multiLineAttributes)
{
    drawing.addText("\\A1;PUMP \xCF\xEB ^1\t\\U+2205");
    drawing.addAttrib("A-101", "TAG");
    drawing.addAttdef("default", "TAG", "Which pump?");
    drawing.addMText("\\fArial;Ground floor\\P" + std::string(600, 'x') + "\\Psecond \\M+18140");
    drawing.addTolerance("%%v0.5%%vA");
    drawing.addDimension("user text", 0);
    drawing.addDimension("hidden by its block", 0x30);
    if (multiLineAttributes) {
        drawing.addAttrib("line one\\Pline two", "ML").attributeKind = 2;
        drawing.addAttdef("def one\\Pdef two", "MLD", "prompt").attributeKind = 4;
    }
    if (multileaders) {
        drawing.addMultileader("\\A1;EPDM ROOF\\PSHEATHING");
        drawing.addMultileader(std::nullopt, {"A1", "", "SHEET 2"});
    }
}

// The DWG twin's properties of R2004 on come from its summary
// information, before from the DWGPROPS record and the header's times.
Bytes dwgWithProperties(dwgw::Drawing &drawing, dwgw::BitVersion version, const dwgw::SummaryInfo &info)
{
    if (version <= dwgw::BitVersion::AC1015) {
        dwgw::HeaderTimes header{info.created, info.modified, info.editingTime};
        header.namedObjects = drawing.addPropertiesRecord(dwgw::encodePropertiesRecord(info));
        drawing.options.headerVariables = dwgw::encodeHeaderTimes(header, version != dwgw::BitVersion::AC1015);
    } else {
        drawing.options.summaryInfo = dwgw::encodeSummaryInfo(info, version > dwgw::BitVersion::AC1018);
    }
    return drawing.build();
}

TEST(Dxf, EveryReleaseEncodingAndCodePageGivesWhatItsDwgTwinGives)
{
    using V = dwgw::BitVersion;
    for (const V version : {V::AC1012, V::AC1014, V::AC1015, V::AC1018, V::AC1021, V::AC1024, V::AC1027, V::AC1032}) {
        for (const auto &[codePage, name] : {std::pair{30, "ANSI_1252"}, {29, "ANSI_1251"}}) {
            SCOPED_TRACE(testing::Message() << static_cast<int>(version) << " " << name);
            dwgw::Drawing drawing(version);
            drawing.options.codePage = static_cast<uint16_t>(codePage);
            addEveryKind(drawing, version >= V::AC1018, version == V::AC1032);
            const dwgw::SummaryInfo info = summary(version >= V::AC1021);
            const Read dwg = readBytes(dwgWithProperties(drawing, version, info));
            ASSERT_EQ(dwg.status, DWGTEXT_READ);
            EXPECT_GE(dwg.texts.size(), 9u);
            for (const dwgw::DxfEncoding encoding : {kAscii, kBinary}) {
                dwgw::DxfOptions options = dxfOptions(encoding);
                options.codePage = name;
                options.properties = info;
                options.entitiesInBlock = 2;
                const Read dxf = readBytes(dwgw::composeDxf(drawing, options));
                EXPECT_EQ(dxf.status, DWGTEXT_READ);
                EXPECT_EQ(dxf.version, dwg.version);
                EXPECT_EQ(dxf.texts, dwg.texts);
                EXPECT_EQ(dxf.properties, dwg.properties);
            }
        }
    }
}

// R10 to R12 files hold the classic kinds, their texts as stored, as an
// R10-R12 drawing's; binary ones write a code as a byte. Lines may end in
// LF alone or CR alone.
TEST(Dxf, OlderReleasesAndLineEndsGiveTheSameTexts)
{
    dwgw::R2000Drawing drawing;
    drawing.addText("PUMP \xCF\xEB");
    drawing.addAttdef("default", "TAG", "Which pump?");
    drawing.addAttrib("A-101", "TAG");
    Read dwg = readBytes(drawing.build());
    drawing.addText("\\A1;\\U+2205");
    dwg.texts.emplace_back("\\A1;\u2205", "\\A1;\\U+2205", 0, "TEXT");
    for (const char *version : {"AC1006", "AC1009"}) {
        for (const char *lineEnd : {"\n", "\r"}) {
            const Read ascii = readBytes(dwgw::composeDxf(drawing, dxfOptions(kAscii, version, lineEnd)));
            EXPECT_EQ(ascii.texts, dwg.texts) << version;
            EXPECT_EQ(ascii.status, DWGTEXT_READ);
        }
        const Read binary = readBytes(dwgw::composeDxf(drawing, dxfOptions(kBinary, version)));
        EXPECT_EQ(binary.texts, dwg.texts) << version;
        EXPECT_EQ(binary.status, DWGTEXT_READ);
    }
}

// Cut anywhere after its first group, a file gives a part of its texts
// from the first on, and is incomplete; the last line may lack its end.
TEST(Dxf, CutAnywhereGivesTheTextsBeforeTheCut)
{
    dwgw::R2018Drawing drawing;
    addEveryKind(drawing, true, true);
    for (const dwgw::DxfEncoding encoding : {kAscii, kBinary}) {
        dwgw::DxfOptions options = dxfOptions(encoding);
        options.properties = summary(true);
        const Bytes whole = dwgw::composeDxf(drawing, options);
        const Read all = readBytes(whole);
        ASSERT_EQ(all.status, DWGTEXT_READ);
        const size_t ends = encoding == kAscii ? 2 : 0;
        const size_t opening = std::string(whole.begin(), whole.end()).find("SECTION") + (ends == 0 ? 8 : 7);
        for (size_t size = 1; size + ends < whole.size(); ++size) {
            const Read cut = readBytes(Bytes(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(size)));
            ASSERT_LE(cut.texts.size(), all.texts.size()) << size;
            EXPECT_TRUE(std::equal(cut.texts.begin(), cut.texts.end(), all.texts.begin())) << size;
            EXPECT_EQ(cut.status, size < opening ? DWGTEXT_NOT_A_DRAWING : DWGTEXT_INCOMPLETE) << size;
        }
        EXPECT_EQ(readBytes(Bytes(whole.begin(), whole.end() - static_cast<ptrdiff_t>(ends))).status, DWGTEXT_READ);
    }
}

// A group code that is no number or no code, a number that is none, a
// binary chunk longer than the file, garbage after the binary sentinel:
// damaged, with the texts before.
TEST(Dxf, MalformedGroupsGiveDamagedWithTheTextsBefore)
{
    dwgw::R2000Drawing drawing;
    drawing.addText("first");
    drawing.addText("second");
    const Bytes ascii = dwgw::composeDxf(drawing, dxfOptions(kAscii, nullptr, "\n"));
    const std::string text(ascii.begin(), ascii.end());
    for (const auto &[from, to] : {std::pair{" 40\n2.5", " 40\nabc"}, {" 40\n2.5", "x40\n2.5"}, {" 40\n2.5", "1072\n2"}}) {
        std::string bad = text;
        bad.replace(text.find(from, text.find("first")), std::string(from).size(), to);
        const Read read = readBytes(Bytes(bad.begin(), bad.end()));
        EXPECT_EQ(read.status, DWGTEXT_DAMAGED) << to;
        ASSERT_EQ(read.texts.size(), 1u) << to;
        EXPECT_EQ(std::get<0>(read.texts[0]), "first");
    }
    const Bytes binary = dwgw::composeDxf(drawing, dxfOptions(kBinary));
    const std::string binaryText(binary.begin(), binary.end());
    Bytes chunk(binary.begin(), binary.begin() + static_cast<ptrdiff_t>(binaryText.find("second") + 7));
    chunk.insert(chunk.end(), {0x36, 0x01, 200, 'x'});  // group 310: 200 bytes, one there
    Bytes garbage(binary.begin(), binary.begin() + 22);
    garbage.insert(garbage.end(), {0, 0, 'S', 'E', 'C', 'T', 'I', 'O', 'N', 0, 0xE8, 0x7F, 1, 2, 3});
    EXPECT_EQ(readBytes(chunk).status, DWGTEXT_DAMAGED);
    EXPECT_EQ(readBytes(chunk).texts.size(), 1u);  // the entity the bad group is in gives nothing
    EXPECT_EQ(readBytes(garbage).status, DWGTEXT_DAMAGED);
}

}  // namespace
