// The R2004 to R2018 reader on composed drawings: the common data of each
// release, the string streams of R2007 and later, and R2018's multi-line
// attributes. Cut and damaged containers: r2004container_test and
// r2007container_test page by page, dwgtext_test's Extract and the C API's
// Status tests for the whole drawing.
#include <gtest/gtest.h>

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

// The text and end lines of a session over the drawing.
Lines textsOf(const dwgw::Bytes &bytes)
{
    Lines out;
    std::istringstream in(tqhost::runSessionEvents(bytes));
    for (std::string line; std::getline(in, line);)
        if (line.starts_with("text ") || line == "end")
            out.push_back(line);
    return out;
}

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

// A section's size and offsets are 64-bit numbers: objects that lie past
// 4 GiB of their section (the bytes before them being a gap no page covers)
// are found through the map and read.
TEST(PagedReader, ObjectsPastFourGiBOfTheirSectionAreRead)
{
    constexpr uint64_t kFar = uint64_t{0x7400} * 150'000;
    for (const Release &release : {kReleases[0], kReleases[1], kReleases[4]}) {
        SCOPED_TRACE(release.name);
        auto drawing = release.make();
        drawing->options.container.objectsAt = kFar;
        drawing->options.r2007.objectsAt = kFar;
        Lines expected;
        for (const char *text : {"far", "out", "there", "and", "further"}) {
            drawing->addText(text);
            expected.push_back(textLine(text, release.wide));
        }
        expected.push_back("end");
        EXPECT_EQ(textsOf(drawing->build()), expected);
    }
}

}  // namespace
