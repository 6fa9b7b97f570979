// The simple C API as a program uses it: every status from paths and bytes,
// code pages, handles on many threads, and wrong arguments. The Python
// package's tests read through this API and hold its raw texts against
// dwgtext's bytes. That texts come as they are found is shown for the
// library by Session.BlocksInUseStayTheSameFromTextToText.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "dwgtext.h"
#include "dwgwriter.h"
#include "r12writer.h"
#include "hardening/composed_drawings.h"
#include "reading.h"

namespace {

using namespace std::string_literals;
using Bytes = std::vector<uint8_t>;

struct Text {
    std::string text;
    std::string bytes;
    int32_t charset = 0;
    bool operator==(const Text &) const = default;
};

// Everything a program can learn of one drawing.
struct Drawing {
    int opened = DWGTEXT_OK;
    std::vector<Text> texts;
    enum dwgtext_status status = DWGTEXT_READING;
    std::string version, release, message;
    std::vector<std::string> reports;
    bool operator==(const Drawing &) const = default;
};

Drawing readAll(dwgtext_drawing *handle, int opened)
{
    Drawing drawing;
    drawing.opened = opened;
    if (handle == nullptr)
        return drawing;
    dwgtext_text text{};
    int next = 0;
    while ((next = dwgtext_next(handle, &text)) == 1) {
        drawing.texts.push_back({std::string(text.text, text.length),
                                 std::string(reinterpret_cast<const char *>(text.bytes), text.bytes_length),
                                 text.charset});
        EXPECT_EQ(text.text[text.length], '\0');
    }
    EXPECT_EQ(next, 0);
    drawing.status = dwgtext_status(handle);
    drawing.version = dwgtext_version(handle);
    drawing.release = dwgtext_release(handle);
    drawing.message = dwgtext_message(handle);
    for (size_t i = 0; i < dwgtext_report_count(handle); ++i)
        drawing.reports.emplace_back(dwgtext_report(handle, i));
    EXPECT_STREQ(dwgtext_report(handle, dwgtext_report_count(handle)), "");
    dwgtext_close(handle);
    return drawing;
}

Drawing readBytes(const Bytes &bytes, unsigned flags = 0)
{
    dwgtext_drawing *handle = nullptr;
    const int opened = dwgtext_open_bytes(bytes.data(), bytes.size(), flags, &handle);
    return readAll(handle, opened);
}

Drawing readPath(const std::string &path, unsigned flags = 0)
{
    dwgtext_drawing *handle = nullptr;
    const int opened = dwgtext_open_path(path.c_str(), flags, &handle);
    return readAll(handle, opened);
}

Bytes sample(const std::string &name)
{
    std::ifstream file(std::string(TQDUDADE_SAMPLES_DIR) + "/" + name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), {});
}

// An R2000 drawing whose header records ANSI_1252 holding a text in another
// code page.
TEST(Texts, ACodePageSetBeforeTheFirstTextDecodesEveryText)
{
    dwgw::R2000Drawing composed;
    composed.addText("\xCF\xEB\xE0\xED");  // "План" in CP1251, "Ïëàí" in CP1252
    const Bytes bytes = composed.build();
    EXPECT_EQ(readBytes(bytes).texts.at(0).text, "\u00CF\u00EB\u00E0\u00ED");

    for (const char *name : {"CP1251", "ANSI_1251", "ansi_1251"}) {
        dwgtext_drawing *handle = nullptr;
        ASSERT_EQ(dwgtext_open_bytes(bytes.data(), bytes.size(), 0, &handle), DWGTEXT_OK);
        EXPECT_EQ(dwgtext_set_codepage(handle, name), DWGTEXT_OK) << name;
        EXPECT_EQ(readAll(handle, DWGTEXT_OK).texts.at(0).text, "\u041F\u043B\u0430\u043D") << name;
    }

    dwgtext_drawing *handle = nullptr;
    ASSERT_EQ(dwgtext_open_bytes(bytes.data(), bytes.size(), 0, &handle), DWGTEXT_OK);
    EXPECT_EQ(dwgtext_set_codepage(handle, "NO-SUCH-PAGE"), DWGTEXT_ERROR_ARGUMENT);
    dwgtext_text text{};
    ASSERT_EQ(dwgtext_next(handle, &text), 1);
    EXPECT_EQ(dwgtext_set_codepage(handle, "CP1251"), DWGTEXT_ERROR_ARGUMENT);  // too late
    dwgtext_close(handle);
}


TEST(Status, EveryWayADrawingEnds)
{
    const Bytes whole = hardening::composedBitDrawing(dwgw::BitVersion::AC1015, true);
    const Bytes cut(whole.begin(), whole.end() - 40);
    dwgw::R2000Drawing fourLocators;  // the library needs five
    fourLocators.addText("never read");
    fourLocators.options.locatorCount = 4;
    Bytes tooOld = {'A', 'C', '1', '0', '0', '4'};
    tooOld.resize(200);
    // From R2004 on the library says what became of the drawing: the map
    // pages lie at the end of an R2004 file, and an R2007 drawing of small
    // pages loses one to a broken page.
    const Bytes r2004 = hardening::composedBitDrawing(dwgw::BitVersion::AC1018, false);
    const Bytes r2004Cut(r2004.begin(), r2004.end() - 40);
    dwgw::R2007Drawing r2007;
    r2007.options.r2007.pageSize = 0x100;
    for (int i = 0; i < 40; ++i)
        r2007.addText("text " + std::to_string(i));
    r2007.options.r2007.destroyedPages = {3};
    const std::string supported = " is not supported (supported: AC1006 (R10) to AC1032 (R2018))";

    struct Case {
        std::string name;
        Drawing drawing;
        enum dwgtext_status status;
        std::string version, release, message;
    };
    const Case cases[] = {
        {"read", readBytes(whole), DWGTEXT_READ, "AC1015", "R2000", ""},
        {"cut", readBytes(cut), DWGTEXT_INCOMPLETE, "AC1015", "R2000",
         "truncated: the drawing records parts past the end of the file, which has " + std::to_string(cut.size()) +
             " bytes"},
        {"notes", readBytes(Bytes(100, 'x')), DWGTEXT_NOT_A_DRAWING, "", "", "not a DWG drawing"},
        {"empty", readBytes({}), DWGTEXT_NOT_A_DRAWING, "", "", "not a DWG drawing"},
        {"AC1004", readBytes(tooOld), DWGTEXT_UNSUPPORTED, "AC1004", "R9", "DWG version AC1004 (R9)" + supported},
        {"refused", readBytes(fourLocators.build()), DWGTEXT_FAILED, "AC1015", "R2000",
         "the library could not read this AC1015 (R2000) drawing"},
        {"missing", readPath(testing::TempDir() + "no/such.dwg"), DWGTEXT_CANNOT_OPEN, "", "",
         "cannot open: No such file or directory"},
        {"R2004 cut", readBytes(r2004Cut), DWGTEXT_INCOMPLETE, "AC1018", "R2004",
         "truncated: the drawing records parts past the end of the file, which has " +
             std::to_string(r2004Cut.size()) + " bytes"},
        {"R2007 damaged", readBytes(r2007.build()), DWGTEXT_DAMAGED, "AC1021", "R2007",
         "damaged: parts the drawing records cannot be read"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const Drawing &d = c.drawing;
        EXPECT_EQ(std::tie(d.opened, d.status, d.version, d.release, d.message),
                  std::tuple(int{DWGTEXT_OK}, c.status, c.version, c.release, c.message));
    }
    // A drawing cut short keeps the texts before the cut.
    EXPECT_FALSE(cases[1].drawing.texts.empty());
    // The refusal has the library's own reason among the reports.
    ASSERT_FALSE(cases[5].drawing.reports.empty());
    EXPECT_TRUE(cases[5].drawing.reports[0].starts_with("*** ERROR ***")) << cases[5].drawing.reports[0];

    // A damaged drawing keeps the texts of its other pages.
    EXPECT_GT(cases[8].drawing.texts.size(), 20u);
    EXPECT_LT(cases[8].drawing.texts.size(), 40u);
}

using Properties = std::vector<std::tuple<std::string, std::string, int>>;

Properties propertiesOf(const Bytes &bytes, std::vector<std::string> *texts = nullptr)
{
    dwgtext_drawing *handle = nullptr;
    EXPECT_EQ(dwgtext_open_bytes(bytes.data(), bytes.size(), 0, &handle), DWGTEXT_OK);
    Properties properties;
    const char *name = nullptr;
    const char *value = nullptr;
    for (size_t i = 0; i < dwgtext_property_count(handle); ++i) {
        const int kind = dwgtext_property(handle, i, &name, &value);
        properties.emplace_back(name, value, kind);
    }
    EXPECT_EQ(dwgtext_property(handle, dwgtext_property_count(handle), &name, &value), DWGTEXT_ERROR_ARGUMENT);
    Drawing read = readAll(handle, DWGTEXT_OK);
    EXPECT_EQ(read.status, DWGTEXT_READ);
    if (texts != nullptr) {
        for (const Text &text : read.texts)
            texts->push_back(text.text);
        texts->insert(texts->end(), read.reports.begin(), read.reports.end());
    }
    return properties;
}

// Every standard property in the order the API gives them, non-ASCII and
// empty values among them, then 40 custom pairs, in every release from R13
// on: R13 to R2000 in the record the named-object dictionary lists, with
// the header's times; R2004 in its container as CP1252 bytes, the later
// ones as UTF-16 (with a character past U+FFFF), with the program's name.
TEST(Properties, EveryReleaseFromR13GivesEveryPropertyBack)
{
    // The walk over the objects does not know the record's type, as for
    // the classes real drawings number their records with.
    const std::string kRecordType = "*** WARNING *** OBJCT TYPE[0x4f] dosen't exist";
    const int standard = DWGTEXT_PROPERTY_STANDARD;
    const Properties expected = {
        {"title", "Pump station \u2013 level 2", standard},
        {"subject", "", standard},
        {"author", "Zo\u00EB \u00C5ngstr\u00F6m", standard},
        {"keywords", "pumps; valves", standard},
        {"comments", "first line\r\nsecond line", standard},
        {"lastSavedBy", "drafter", standard},
        {"revision", "C", standard},
        {"hyperlinkBase", "https://example.com/plans/", standard},
        {"created", "2024-02-29T14:07:09Z", standard},
        {"modified", "2024-03-30T00:00:00Z", standard},
        {"editingTime", "90123", standard},
    };
    const Properties application = {{"application", "Drafter 9", standard},
                                    {"applicationVersion", "9.1.0", standard}};

    for (dwgw::BitVersion version : {dwgw::BitVersion::AC1012, dwgw::BitVersion::AC1014, dwgw::BitVersion::AC1015,
                                     dwgw::BitVersion::AC1018, dwgw::BitVersion::AC1021, dwgw::BitVersion::AC1024,
                                     dwgw::BitVersion::AC1027, dwgw::BitVersion::AC1032}) {
        const bool inRecord = version <= dwgw::BitVersion::AC1015;
        const bool utf16 = version > dwgw::BitVersion::AC1018;
        SCOPED_TRACE(static_cast<int>(version));
        dwgw::SummaryInfo summary;
        summary.title = utf16 ? "Pump station \u2013 level 2" : "Pump station \x96 level 2";
        summary.author = utf16 ? "Zo\u00EB \u00C5ngstr\u00F6m" : "Zo\xEB \xC5ngstr\xF6m";
        summary.keywords = "pumps; valves";
        summary.comments = "first line\r\nsecond line";
        summary.lastSavedBy = "drafter";
        summary.revision = "C";
        summary.hyperlinkBase = "https://example.com/plans/";
        summary.editingTime = {1, 3'723'000};
        summary.created = {2'460'370, 50'829'000};
        summary.modified = {2'460'400, 0};
        Properties wanted = expected;
        if (!inRecord)
            wanted.insert(wanted.end(), application.begin(), application.end());
        for (int i = 0; i < 40; ++i) {
            summary.custom.emplace_back("Sheet " + std::to_string(i), "value " + std::to_string(i));
            wanted.emplace_back("Sheet " + std::to_string(i), "value " + std::to_string(i), DWGTEXT_PROPERTY_CUSTOM);
        }
        if (utf16) {
            summary.custom.emplace_back("Clef", "\U0001D11E");
            wanted.emplace_back("Clef", "\U0001D11E", DWGTEXT_PROPERTY_CUSTOM);
        }
        dwgw::Drawing drawing(version);
        drawing.addText("PUMP 1");
        if (inRecord) {
            dwgw::HeaderTimes header{summary.created, summary.modified, summary.editingTime};
            header.namedObjects = drawing.addPropertiesRecord(dwgw::encodePropertiesRecord(summary));
            drawing.options.headerVariables = dwgw::encodeHeaderTimes(header, version != dwgw::BitVersion::AC1015);
        } else {
            drawing.options.summaryInfo = dwgw::encodeSummaryInfo(summary, utf16);
            drawing.options.appInfo = dwgw::encodeAppInfo(
                {"<ProductInformation name=\"Drafter 9\" build_version=\"9.1\"/>", "9.1.0"}, utf16);
        }
        std::vector<std::string> texts;
        EXPECT_EQ(propertiesOf(drawing.build(), &texts), wanted);
        std::vector<std::string> wantedTexts{"PUMP 1"};
        if (inRecord)
            wantedTexts.push_back(kRecordType);
        EXPECT_EQ(texts, wantedTexts);
    }
}

// R10 to R12 keep their times at a fixed place of the header; R13 to R2000
// among the header variables (read above), where times the reader does not
// reach (past a menu name longer than it reads) are left out, and cost
// nothing else.
TEST(Properties, R10ToR2000GiveTheTimesOfTheirHeader)
{
    const int standard = DWGTEXT_PROPERTY_STANDARD;
    const Properties times = {{"created", "2024-02-29T14:07:09Z", standard},
                              {"modified", "2024-03-30T00:00:00Z", standard},
                              {"editingTime", "90123", standard}};
    for (dwgw::R12Version version : {dwgw::R12Version::AC1006, dwgw::R12Version::AC1009}) {
        SCOPED_TRACE(static_cast<int>(version));
        dwgw::R12Drawing drawing(version);
        drawing.addText("PUMP 1");
        drawing.options.times = {2'460'370, 50'829'000, 2'460'400, 0, 1, 3'723'000};
        std::vector<std::string> texts;
        EXPECT_EQ(propertiesOf(drawing.build(), &texts), times);
        EXPECT_EQ(texts, std::vector<std::string>{"PUMP 1"});
    }
    for (dwgw::BitVersion version : {dwgw::BitVersion::AC1012, dwgw::BitVersion::AC1014, dwgw::BitVersion::AC1015}) {
        SCOPED_TRACE(static_cast<int>(version));
        const dwgw::HeaderTimes header{{2'460'370, 50'829'000}, {2'460'400, 0}, {1, 3'723'000}, std::string(5000, 'm')};
        dwgw::Drawing drawing(version);
        drawing.addText("PUMP 1");
        drawing.options.headerVariables = dwgw::encodeHeaderTimes(header, version != dwgw::BitVersion::AC1015);
        std::vector<std::string> texts;
        EXPECT_EQ(propertiesOf(drawing.build(), &texts), Properties{});
        EXPECT_EQ(texts, std::vector<std::string>{"PUMP 1"});
    }
}

// A drawing with a preview area at its end, the file header pointing to it:
// a header entry (code 1), then the image's entry with its code.
Bytes withPreview(Bytes drawing, uint8_t code, const std::string &image, uint32_t claimedSize)
{
    const auto address = static_cast<uint32_t>(drawing.size());
    const Bytes sentinel{0x1F, 0x25, 0x6D, 0x07, 0xD4, 0x36, 0x28, 0x28, 0x9D, 0x57, 0xCA, 0x3F, 0x9D, 0x44, 0x10, 0x2B};
    Bytes closing;
    for (const uint8_t byte : sentinel)
        closing.push_back(static_cast<uint8_t>(~byte));
    dwgw::BitWriter area;
    area.raw(sentinel);
    const uint32_t entriesEnd = address + 16 + 4 + 1 + 2 * 9;
    area.RL(static_cast<uint32_t>(1 + 2 * 9 + 80 + image.size())).RC(2);
    area.RC(1).RL(entriesEnd).RL(80).RC(code).RL(entriesEnd + 80).RL(claimedSize);
    area.raw(Bytes(80, 0)).raw(image).raw(closing);
    const Bytes bytes = area.bytes();
    drawing.insert(drawing.end(), bytes.begin(), bytes.end());
    for (int i = 0; i < 4; ++i)
        drawing[13 + i] = static_cast<uint8_t>(address >> (8 * i));
    return drawing;
}

// The preview comes as stored, in its format, from R13 and from the paged
// releases; one whose size runs past the file is none, and costs nothing else.
TEST(Preview, ThePreviewComesAsStored)
{
    const std::string png = "\x89PNG\r\n\x1a\n fake image";
    for (dwgw::BitVersion version : {dwgw::BitVersion::AC1012, dwgw::BitVersion::AC1015, dwgw::BitVersion::AC1032}) {
        SCOPED_TRACE(static_cast<int>(version));
        dwgw::Drawing drawing(version);
        drawing.addText("PUMP 1");
        for (const auto &[code, format, claimed] :
             {std::tuple(uint8_t{6}, int{DWGTEXT_PREVIEW_PNG}, png.size()), std::tuple(uint8_t{2}, 1, png.size()),
              std::tuple(uint8_t{3}, 2, png.size()), std::tuple(uint8_t{6}, 0, png.size() + 16 + 1)}) {
            const Bytes bytes = withPreview(drawing.build(), code, png, static_cast<uint32_t>(claimed));
            dwgtext_drawing *handle = nullptr;
            ASSERT_EQ(dwgtext_open_bytes(bytes.data(), bytes.size(), 0, &handle), DWGTEXT_OK);
            const unsigned char *image = nullptr;
            size_t size = 0;
            EXPECT_EQ(dwgtext_preview(handle, &image, &size), format);
            EXPECT_EQ(std::string(reinterpret_cast<const char *>(image), size), format == 0 ? "" : png);
            const Drawing read = readAll(handle, DWGTEXT_OK);
            EXPECT_EQ(read.texts.size(), 1u);
            EXPECT_EQ(read.status, DWGTEXT_READ);
        }
        if (version == dwgw::BitVersion::AC1032)
            continue;
        // From R13c3 on the preview area ends the file: cut within its
        // closing sentinel, the drawing is cut short.
        const Bytes whole = withPreview(drawing.build(), 6, png, static_cast<uint32_t>(png.size()));
        for (size_t cut : {1, 16})
            EXPECT_EQ(readBytes(Bytes(whole.begin(), whole.end() - static_cast<ptrdiff_t>(cut))).status,
                      DWGTEXT_INCOMPLETE);
    }
}

// What cannot be read costs only the properties: a count of pairs past the
// bytes left, and more pairs than are kept, each give their texts and a
// report with the properties before the fault.
TEST(Properties, DamagedPropertiesKeepTheTextsAndSaySo)
{
    dwgw::SummaryInfo summary;
    summary.title = "Plan";
    for (int i = 0; i < 300; ++i)
        summary.custom.emplace_back("k" + std::to_string(i), "v");
    const dwgw::Bytes many = dwgw::encodeSummaryInfo(summary, true);

    dwgw::R2018Drawing manyPairs;
    manyPairs.addText("PUMP 1");
    manyPairs.options.summaryInfo = many;
    std::vector<std::string> texts;
    const Properties kept = propertiesOf(manyPairs.build(), &texts);
    // The eight texts, empty ones too, and the editing time, then the pairs.
    ASSERT_EQ(kept.size(), 9u + 256u);
    EXPECT_EQ(kept[0], std::tuple("title"s, "Plan"s, int{DWGTEXT_PROPERTY_STANDARD}));
    EXPECT_EQ(kept.back(), std::tuple("k255"s, "v"s, int{DWGTEXT_PROPERTY_CUSTOM}));
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_TRUE(texts[1].starts_with("*** WARNING *** The properties exceed")) << texts[1];

    dwgw::R2018Drawing cut;
    cut.addText("PUMP 1");
    cut.options.summaryInfo = dwgw::Bytes(many.begin(), many.begin() + static_cast<std::ptrdiff_t>(many.size() / 2));
    texts.clear();
    const Properties before = propertiesOf(cut.build(), &texts);
    EXPECT_GT(before.size(), 100u);
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_TRUE(texts[1].starts_with("*** WARNING *** The properties in section[AcDb:SummaryInfo] end early"))
        << texts[1];

    // The R2000 record: its data claiming more bytes than the object holds,
    // a count of pairs past the bytes left, more pairs than are kept.
    dwgw::SummaryInfo record;
    record.title = "Plan";
    for (int i = 0; i < 12; ++i)
        record.custom.emplace_back("k" + std::to_string(i), "v");
    const dwgw::Bytes data = dwgw::encodePropertiesRecord(record);
    dwgw::Bytes countPast = data;
    const dwgw::Bytes countOfTwo{90, 0, 2, 0, 0, 0};
    std::search(countPast.begin(), countPast.end(), countOfTwo.begin(), countOfTwo.end())[2] = 200;
    for (int i = 0; i < 300; ++i)
        record.custom.emplace_back("k" + std::to_string(i), "v");
    for (const auto &[bytes, claimed, size, report] :
         {std::tuple(data, std::optional<uint32_t>(0x40000000), 11u + 12u, "in section[DWGPROPS] end early"),
          std::tuple(countPast, std::optional<uint32_t>(), 11u + 12u, "in section[DWGPROPS] end early"),
          std::tuple(dwgw::encodePropertiesRecord(record), std::optional<uint32_t>(), 11u + 256u, "exceed")}) {
        dwgw::R2000Drawing drawing;
        drawing.addText("PUMP 1");
        dwgw::HeaderTimes header{{2'460'375, 0}, {2'460'400, 0}, {1, 0}};
        header.namedObjects = drawing.addPropertiesRecord(bytes, claimed);
        drawing.options.headerVariables = dwgw::encodeHeaderTimes(header, false);
        texts.clear();
        const Properties read = propertiesOf(drawing.build(), &texts);
        EXPECT_EQ(read.size(), size);
        EXPECT_EQ(std::get<1>(read.at(0)), "Plan");
        ASSERT_EQ(texts.size(), 3u);
        EXPECT_NE(texts[1].find(report), std::string::npos) << texts[1];
    }
}

TEST(Threads, HandlesOnManyThreadsReadAsOne)
{
    std::vector<hardening::NamedDrawing> drawings = hardening::composedDrawings();
    for (const char *name : {"r12.dwg", "r14.dwg", "r2000.dwg"})
        drawings.push_back({name, sample(name)});
    std::vector<Drawing> alone;
    for (const hardening::NamedDrawing &drawing : drawings)
        alone.push_back(readBytes(drawing.bytes));

    std::vector<std::vector<Drawing>> seen(6);
    {
        std::vector<std::jthread> threads;
        for (std::vector<Drawing> &mine : seen) {
            threads.emplace_back([&] {
                for (int round = 0; round < 5; ++round) {
                    for (const hardening::NamedDrawing &drawing : drawings)
                        mine.push_back(readBytes(drawing.bytes));
                }
            });
        }
    }
    for (const std::vector<Drawing> &mine : seen) {
        ASSERT_EQ(mine.size(), 5 * alone.size());
        for (std::size_t i = 0; i < mine.size(); ++i)
            EXPECT_EQ(mine[i], alone[i % alone.size()]) << drawings[i % alone.size()].name;
    }
}

}  // namespace
