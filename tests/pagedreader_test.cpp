// The R2004 to R2018 reader on composed drawings: the common data of each
// release, the string streams of R2007 and later, R2018's multi-line
// attributes, and drawings whose container is cut or damaged.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "host_library.h"
#include "text_fixture.h"
#include "writer/dwgwriter.h"

namespace {

using Lines = std::vector<std::string>;
using textlines::text;

// The event lines of a session over the drawing that start with one of
// the prefixes.
Lines linesOf(const dwgw::Bytes &bytes, std::initializer_list<std::string_view> prefixes)
{
    Lines out;
    std::istringstream in(tqhost::runSessionEvents(bytes));
    for (std::string line; std::getline(in, line);)
        if (std::any_of(prefixes.begin(), prefixes.end(), [&](std::string_view p) { return line.starts_with(p); }))
            out.push_back(line);
    return out;
}

// The text and end lines; the reports.
Lines textsOf(const dwgw::Bytes &bytes) { return linesOf(bytes, {"text ", "end"}); }
Lines reportsOf(const dwgw::Bytes &bytes) { return linesOf(bytes, {"report "}); }

// The lines a text gives: bytes for R2004, UTF-16 high byte first from
// R2007 on (the writer widens each byte).
std::string textLine(const std::string &bytes, bool wide)
{
    if (!wide) {
        return text(bytes);
    }
    std::string units;
    for (char c : bytes) {
        units += '\0';
        units += c;
    }
    return text(units, 51);
}

struct Release {
    const char *name;
    std::function<std::unique_ptr<dwgw::Drawing>()> make;
    bool wide;
};

const Release kReleases[] = {
    {"R2004", [] { return std::make_unique<dwgw::R2004Drawing>(); }, false},
    {"R2007", [] { return std::make_unique<dwgw::R2007Drawing>(); }, true},
    {"R2010", [] { return std::make_unique<dwgw::R2010Drawing>(); }, true},
    {"R2013", [] { return std::make_unique<dwgw::R2013Drawing>(); }, true},
    {"R2018", [] { return std::make_unique<dwgw::R2018Drawing>(); }, true},
};

// Every text type, with the fields that move the text about: leading
// formatting codes, paragraphs, "\U+" codes, an RGB colour with a
// transparency, data flags that leave every optional field out.
TEST(PagedReader, EveryReleaseGivesTheTextsOfEveryTextType)
{
    for (const Release &release : kReleases) {
        SCOPED_TRACE(release.name);
        auto drawing = release.make();
        drawing->addText("plain");
        dwgw::TextEntity &coloured = drawing->addText("coloured");
        coloured.common.color = 0xA005;
        coloured.common.colorValue = 0xC2FF8000;
        coloured.common.transparency = 0x03000080;
        drawing->addText("packed").dataFlags = 0xFF;
        drawing->addAttrib("value", "TAG");
        drawing->addAttdef("default", "TAG", "prompt?");
        drawing->addObject(0x30);
        drawing->addMText("\\A1;first\\Psecond");
        drawing->addText("\\U+00e9t\\U+00e9");
        const bool wide = release.wide;
        Lines expected = {textLine("plain", wide),   textLine("coloured", wide),
                          textLine("packed", wide),  textLine("value", wide),
                          textLine("default", wide), textLine("first", wide),
                          textLine("second", wide),  text(std::string("\0\xe9\0t\0\xe9", 6), 51),
                          "end"};
        EXPECT_EQ(textsOf(drawing->build()), expected);
    }
}

// An R2018 attribute of a multi-line kind keeps its text in an embedded
// MTEXT and an empty value; the same kinds before R2018 are single lines.
TEST(PagedReader, MultiLineAttributesOfR2018GiveTheirEmbeddedText)
{
    dwgw::R2018Drawing drawing;
    drawing.addAttrib("one line", "A");
    drawing.addAttrib("first\\Psecond", "B").attributeKind = 2;
    drawing.addAttdef("default", "C", "prompt").attributeKind = 4;
    EXPECT_EQ(textsOf(drawing.build()),
              (Lines{textLine("one line", true), textLine("first", true),
                     textLine("second", true), textLine("default", true), "end"}));
}

// Many texts over pages of 0x100 bytes; each text's object lies on one or
// two pages.
template <class DrawingType>
DrawingType manyTexts(Lines *expected, bool wide)
{
    DrawingType drawing;
    drawing.options.container.pageSize = 0x100;
    drawing.options.r2007.pageSize = 0x100;
    for (int i = 0; i < 120; ++i) {
        drawing.addText("text " + std::to_string(i));
        expected->push_back(textLine("text " + std::to_string(i), wide));
    }
    return drawing;
}

// Every line of part is a line of whole, in whole's order.
bool isInOrderAmong(const Lines &part, const Lines &whole)
{
    auto at = whole.begin();
    for (const std::string &line : part) {
        at = std::find(at, whole.end(), line);
        if (at == whole.end()) {
            return false;
        }
        ++at;
    }
    return true;
}

bool says(const std::vector<std::string> &reports, const std::string &words)
{
    return std::any_of(reports.begin(), reports.end(),
                       [&words](const std::string &report) { return report.find(words) != std::string::npos; });
}

// Wherever a drawing is cut, the library says it was cut short and never
// that it is damaged; the texts that come out are the first ones.
TEST(PagedReader, ACutDrawingIsSaidToBeCutShort)
{
    Lines whole;
    const dwgw::Bytes r2004 = manyTexts<dwgw::R2004Drawing>(&whole, false).build();
    Lines wide;
    const dwgw::Bytes r2007 = manyTexts<dwgw::R2007Drawing>(&wide, true).build();
    for (const dwgw::Bytes *bytes : {&r2004, &r2007}) {
        for (size_t length = 0x100; length < bytes->size(); length += bytes->size() / 40) {
            SCOPED_TRACE(length);
            const dwgw::Bytes cut(bytes->begin(), bytes->begin() + static_cast<std::ptrdiff_t>(length));
            const std::vector<std::string> reports = reportsOf(cut);
            EXPECT_TRUE(says(reports, "cut short"));
            EXPECT_FALSE(says(reports, "is damaged"));
        }
        EXPECT_TRUE(reportsOf(*bytes).empty());
    }
}

// A page whose bytes are broken inside a file of full length: the texts of
// the other pages come out, and the drawing is said to be damaged.
TEST(PagedReader, ADamagedPageLosesOnlyItsTexts)
{
    Lines expected;
    dwgw::R2004Drawing drawing = manyTexts<dwgw::R2004Drawing>(&expected, false);
    dwgw::ContainerPlaces places;
    drawing.options.container.places = &places;
    dwgw::Bytes bytes = drawing.build();
    const dwgw::PagePlace &third = *std::find_if(places.pages.begin(), places.pages.end(), [](const auto &page) {
        return page.section == dwgw::ContainerSection::Objects && page.index == 2;
    });
    bytes[third.address + 0x20 + 5] ^= 0x55;
    expected.push_back("end");
    const Lines texts = textsOf(bytes);
    EXPECT_GT(texts.size(), expected.size() / 2);
    EXPECT_LT(texts.size(), expected.size());
    EXPECT_TRUE(isInOrderAmong(texts, expected));
    const std::vector<std::string> reports = reportsOf(bytes);
    EXPECT_TRUE(says(reports, "is damaged"));
    EXPECT_FALSE(says(reports, "cut short"));
}

}  // namespace
