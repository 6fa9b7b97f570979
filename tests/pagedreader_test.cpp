// The R2004 to R2018 reader on composed drawings: R2018's multi-line
// attributes, objects far into their section, and drawings whose maps are
// lost (cut or overwritten). The texts of each kind in every release:
// everyrelease_test, and textpaths_test holds the host's protocol to the
// same; each release's common data: dwgcommon_test. Cut and damaged
// containers: r2004container_test and r2007container_test page by page,
// dwgtext_test's Extract and the C API's Status tests for the whole drawing.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "host_library.h"
#include "reading.h"
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

// Without its maps a drawing's objects are read in file order from the
// pages found by their headers: an object gives its text when every page
// it lies in was found whole and intact, and no other does. Objects of
// 0x40-byte pages, so that most of them span two.
class MapsLost : public testing::Test {
protected:
    static constexpr std::size_t kPage = 0x40;
    static constexpr int kTexts = 12;

    void compose(const Release &release)
    {
        auto drawing = release.make();
        for (int i = 0; i < kTexts; ++i) {
            drawing->addText("text " + std::to_string(i));
            drawing->addObject(0x30, dwgw::Bytes(static_cast<std::size_t>(i * 7), 0x5A));
        }
        drawing->options.container.pageSize = kPage;
        drawing->options.container.places = &places_;
        composed_ = drawing->compose();
        wide_ = release.wide;
    }

    std::vector<dwgw::PagePlace> objectPages() const
    {
        std::vector<dwgw::PagePlace> pages;
        std::copy_if(places_.pages.begin(), places_.pages.end(), std::back_inserter(pages),
                     [](const dwgw::PagePlace &page) { return page.section == dwgw::ContainerSection::Objects; });
        return pages;
    }

    // The texts of the objects that lie in the pages kept, then the end;
    // nothing when the first page, which tells the objects section, is lost.
    Lines textsIn(const std::function<bool(std::size_t page)> &kept) const
    {
        return kept(0) ? textsOfPages(kept) : Lines{};
    }
    // The same where the maps are kept, which place the objects.
    Lines textsOfPages(const std::function<bool(std::size_t page)> &kept) const
    {
        Lines lines;
        const std::vector<std::size_t> &starts = composed_.objectOffsets;
        for (int i = 0; i < kTexts; ++i) {
            const std::size_t first = starts[2 * i] / kPage;
            const std::size_t last = (starts[2 * i + 1] - 1) / kPage;
            bool whole = true;
            for (std::size_t page = first; page <= last; ++page) {
                whole = whole && kept(page);
            }
            if (whole) {
                lines.push_back(textLine("text " + std::to_string(i), wide_));
            }
        }
        lines.push_back("end");
        return lines;
    }

    dwgw::ContainerPlaces places_;
    dwgw::ComposedDrawing composed_;
    bool wide_ = false;
};

// Every line of part comes in whole, in the same order.
bool inOrderWithin(const Lines &part, const Lines &whole)
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

bool says(const dwgw::Bytes &bytes, const std::string &words)
{
    return tqhost::runSessionEvents(bytes).find(words) != std::string::npos;
}

const Release kHeadedReleases[] = {kReleases[0], kReleases[2], kReleases[3], kReleases[4]};

// Cut at every hundredth, and damaged at every page of the objects with
// the section map overwritten.
TEST_F(MapsLost, TheTextsOfTheIntactPagesComeOutAndNoOther)
{
    for (const Release &release : kHeadedReleases) {
        SCOPED_TRACE(release.name);
        places_ = {};
        compose(release);
        const std::vector<dwgw::PagePlace> pages = objectPages();
        const dwgw::Bytes &whole = composed_.bytes;
        for (std::size_t hundredth = 1; hundredth < 100; ++hundredth) {
            const std::size_t cut = whole.size() * hundredth / 100;
            const dwgw::Bytes bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut));
            const auto inFile = [&](std::size_t page) {
                return page < pages.size() && pages[page].address + 0x20 + pages[page].compressedSize <= cut;
            };
            EXPECT_EQ(textsOf(bytes), textsIn(inFile)) << cut;
            EXPECT_TRUE(says(bytes, "The drawing is cut short")) << cut;
        }
        for (std::size_t damaged = 0; damaged < pages.size(); ++damaged) {
            dwgw::Bytes bytes = whole;
            bytes[places_.sectionMap + 0x20] ^= 1;
            bytes[pages[damaged].address + 0x20 + 5] ^= 1;
            EXPECT_EQ(textsOf(bytes), textsIn([damaged](std::size_t page) { return page != damaged; })) << damaged;
            EXPECT_TRUE(says(bytes, "The drawing is damaged")) << damaged;
        }
    }
}

// A failure costs only what failed: with any one page overwritten (a
// data page of any section, the section map, the page map, the header at
// 0x80), or every page of one section, every text outside it comes out.
// The maps kept, a lost first page of the objects costs its own texts
// only; a lost object map, their order.
TEST_F(MapsLost, OverwritingAPageOrASectionCostsOnlyTheTextsInIt)
{
    for (const Release &release : kHeadedReleases) {
        SCOPED_TRACE(release.name);
        places_ = {};
        compose(release);
        const dwgw::Bytes &whole = composed_.bytes;
        const Lines every = textsIn([](std::size_t) { return true; });
        const auto overwritten = [&whole](const std::vector<dwgw::PagePlace> &pages) {
            dwgw::Bytes bytes = whole;
            for (const dwgw::PagePlace &page : pages) {
                std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(page.address), 0x20 + page.compressedSize, 0);
            }
            return bytes;
        };
        for (const dwgw::PagePlace &page : places_.pages) {
            SCOPED_TRACE(testing::Message() << "section " << static_cast<int>(page.section) << " page " << page.index);
            const Lines texts = textsOf(overwritten({page}));
            if (page.section != dwgw::ContainerSection::Objects) {
                EXPECT_EQ(texts, every);
                continue;
            }
            // The map reads an object's text without its last bytes: one
            // that only ends on the page may still give it.
            EXPECT_TRUE(inOrderWithin(texts, every)) << testing::PrintToString(texts);
            EXPECT_TRUE(inOrderWithin(textsOfPages([&page](std::size_t k) { return k != page.index; }), texts))
                << testing::PrintToString(texts);
        }
        for (auto section : {dwgw::ContainerSection::Header, dwgw::ContainerSection::Classes,
                             dwgw::ContainerSection::Handles, dwgw::ContainerSection::Objects}) {
            std::vector<dwgw::PagePlace> pages;
            std::copy_if(places_.pages.begin(), places_.pages.end(), std::back_inserter(pages),
                         [section](const dwgw::PagePlace &page) { return page.section == section; });
            EXPECT_EQ(textsOf(overwritten(pages)), section == dwgw::ContainerSection::Objects ? Lines{"end"} : every)
                << static_cast<int>(section);
        }
        for (std::size_t at : {places_.sectionMap, places_.pageMap, std::size_t{0x80}}) {
            EXPECT_EQ(textsOf(overwritten({{dwgw::ContainerSection::Header, 0, at, 0x40}})), every) << at;
        }
        auto withoutMap = release.make();
        withoutMap->addText("no map");
        withoutMap->options.mapBytes = dwgw::Bytes{};
        EXPECT_EQ(textsOf(withoutMap->build()), (Lines{textLine("no map", release.wide), "end"}));
    }
}

// The texts of every kind, each after its kind's name.
Lines everyKindOf(const dwgw::Bytes &bytes)
{
    dwgtext::TextReader reader(bytes);
    Lines out;
    while (const dwgtext::FoundText *text = reader.next()) {
        out.push_back(std::string(dwgtext::textKindName(text->kind)) + " " + text->bytes);
    }
    return out;
}

// Where the classes cannot be read, their page damaged or the maps lost, a
// multileader is told by decoding it: the first object of a class type
// whose fields end exactly where its data does. An object of another class
// before it is not taken for one.
TEST_F(MapsLost, AMultileaderIsToldByDecodingWhereTheClassesAreLost)
{
    for (const Release &release : kHeadedReleases) {
        SCOPED_TRACE(release.name);
        places_ = {};
        auto drawing = release.make();
        drawing->addObject(502, dwgw::Bytes(40, 0xA5));
        drawing->addMultileader("callout");
        drawing->addMultileader("second");
        drawing->options.container.places = &places_;
        const dwgw::Bytes whole = drawing->build();
        const auto classes = std::find_if(places_.pages.begin(), places_.pages.end(), [](const dwgw::PagePlace &p) {
            return p.section == dwgw::ContainerSection::Classes;
        });
        ASSERT_NE(classes, places_.pages.end());
        dwgw::Bytes pageDamaged = whole;
        pageDamaged[classes->address + 0x20 + 2] ^= 1;
        dwgw::Bytes mapsLost = whole;
        mapsLost[places_.sectionMap + 0x20] ^= 1;
        const Lines texts = everyKindOf(whole);
        ASSERT_EQ(texts.size(), 2u);
        EXPECT_TRUE(texts[0].starts_with("MULTILEADER ")) << texts[0];
        EXPECT_EQ(everyKindOf(pageDamaged), texts);
        EXPECT_EQ(everyKindOf(mapsLost), texts);
    }
}

// A save that writes an object anew after what the file holds leaves its
// older copy behind. Without the maps both are found: only the later copy
// of a handle gives its text, and objects of other handles around it keep
// theirs.
TEST_F(MapsLost, OfTwoCopiesOfAHandleOnlyTheLaterGivesItsText)
{
    for (const Release &release : kHeadedReleases) {
        SCOPED_TRACE(release.name);
        places_ = {};
        auto drawing = release.make();
        drawing->addText("before");
        drawing->addText("older");
        drawing->addText("between");
        drawing->addText("newer").handle = 2;
        drawing->addText("after");
        drawing->options.container.places = &places_;
        dwgw::Bytes bytes = drawing->build();
        bytes[places_.sectionMap + 0x20] ^= 1;
        Lines expected;
        for (const char *kept : {"before", "between", "newer", "after"}) {
            expected.push_back(textLine(kept, release.wide));
        }
        expected.push_back("end");
        EXPECT_EQ(textsOf(bytes), expected);
    }
}

// A header damaged at 0x80 is read from its copy at the end of the file:
// every text in map order, and the drawing said to be damaged.
TEST(PagedReader, ADamagedHeaderIsReadFromItsCopy)
{
    dwgw::R2013Drawing drawing;
    drawing.addText("one");
    drawing.addMText("two\\Pthree");
    dwgw::Bytes bytes = drawing.build();
    const Lines whole = textsOf(bytes);
    bytes[0x80 + 0x30] ^= 1;
    EXPECT_EQ(textsOf(bytes), whole);
    EXPECT_TRUE(says(bytes, "The drawing is damaged"));
}

}  // namespace
