// The paged container of R2004-R2018: the page decoder on hand-made and
// hostile streams, and drawings the test kit composes (whole, and with one
// part broken). The real drawings go through corpus_test.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "r2004/container.h"
#include "r2004/lz77.h"
#include "stream_fixture.h"
#include "writer/dwgwriter.h"

namespace {

using dwgw::Bytes;

// ---- The page decoder ----------------------------------------------------

struct Decoded {
    Lz77Status status;
    Bytes bytes;
};

// Decodes into a buffer with guard bytes past the capacity, which must
// come back untouched whatever the stream says.
Decoded decode(const Bytes &input, uint32_t capacity)
{
    constexpr uint8_t kGuard = 0xEE;
    std::vector<uint8_t> output(capacity + 64, kGuard);
    const Lz77Result result = decompressLz77(input.data(), static_cast<uint32_t>(input.size()), output.data(), capacity);
    EXPECT_LE(result.produced, capacity);
    EXPECT_TRUE(std::all_of(output.begin() + capacity, output.end(), [](uint8_t b) { return b == kGuard; }))
        << "the decoder wrote past its capacity";
    output.resize(result.produced);
    return {result.status, output};
}

Bytes pattern(std::size_t count, unsigned seed = 1)
{
    Bytes bytes(count);
    for (std::size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<uint8_t>(i * 31 + seed * 17 + i / 256);
    }
    return bytes;
}

// A first literal run as a 0x00 length byte with its extension.
Bytes longRun(const Bytes &literals)
{
    Bytes stream = dwgw::compressLiterals(literals);
    stream.resize(stream.size() - 3);  // without the end command
    return stream;
}

TEST(R2004Lz77, DecodesEveryCommandGroup)
{
    const Bytes abcd = {'A', 'B', 'C', 'D'};
    struct Case {
        const char *what;
        Bytes input;
        Bytes expected;
    };
    const Bytes big = pattern(0x8004);
    auto tail = [&](std::size_t from, std::size_t count) {
        return Bytes(big.begin() + static_cast<std::ptrdiff_t>(from), big.begin() + static_cast<std::ptrdiff_t>(from + count));
    };
    const std::vector<Case> cases = {
        {"empty page", {0x11}, {}},
        {"short first run, first byte above the end command", {0x14, 'x', 'y', 'z', 0x11}, {'x', 'y', 'z'}},
        {"run of 274 by a zero length byte", concat({{0x00, 0x00, 0x01}, pattern(274), {0x11}}), pattern(274)},
        // 0x55: 4 bytes from 2 back (overlapping), then one literal.
        {"short copy overlapping, one literal",
         concat({{0x01}, abcd, {0x55, 0x00, 'Z', 0x11}}),
         {'A', 'B', 'C', 'D', 'C', 'D', 'C', 'D', 'Z'}},
        // 0x22: 4 bytes from 2 back, two-byte distance whose low bits ask
        // for 1 literal.
        {"near copy", concat({{0x01}, abcd, {0x22, 0x05, 0x00, 'Z', 0x11}}),
         {'A', 'B', 'C', 'D', 'C', 'D', 'C', 'D', 'Z'}},
        // 0x20: length 0x1F + 1 + 2 from 1 back, then a literal run of 5.
        {"near copy of extended length, then a literal run",
         concat({{0x01}, abcd, {0x20, 0x01, 0x00, 0x00, 0x02}, {'v', 'w', 'x', 'y', 'z'}, {0x11}}),
         concat({abcd, Bytes(34, 'D'), {'v', 'w', 'x', 'y', 'z'}})},
        // 0x10: extended length 7 + 0xFF + 5 + 2 from 0x4000 + 1 back.
        {"far copy of extended length", concat({longRun(tail(0, 0x4004)), {0x10, 0x00, 0x05, 0x04, 0x00, 0x11}}),
         concat({tail(0, 0x4004), tail(3, 0x10D)})},
        // 0x1A: 4 bytes from 0x8000 back.
        {"far copy with the high distance bit", concat({longRun(tail(0, 0x8004)), {0x1A, 0x00, 0x00, 0x11}}),
         concat({tail(0, 0x8004), tail(4, 4)})},
        {"bytes after the end command are not read", {0x14, 'x', 'y', 'z', 0x11, 0xFF}, {'x', 'y', 'z'}},
    };
    for (const Case &c : cases) {
        const Decoded got = decode(c.input, 0x9000);
        EXPECT_EQ(got.status, Lz77Status::Ok) << c.what;
        EXPECT_EQ(got.bytes, c.expected) << c.what;
    }
}

// A copy that overlaps what it writes repeats the bytes it reaches back
// to, whatever its distance and length: each checked against the copy
// made a byte at a time, with a literal after it.
TEST(R2004Lz77, RepeatsOverlappingCopiesOfEveryShortDistance)
{
    const Bytes start = pattern(9, 5);
    for (uint32_t distance = 1; distance <= start.size(); ++distance) {
        for (uint32_t length = std::max(distance + 1, 3u); length <= 33; ++length) {
            // 0x20 group: the length less 2, then the distance less 1 in
            // two bytes whose low bits ask for one literal.
            const Bytes input = concat({{0x06}, start,
                                        {static_cast<uint8_t>(0x20 | (length - 2)),
                                         static_cast<uint8_t>((distance - 1) << 2 | 1), 0x00, 'Z', 0x11}});
            Bytes expected = start;
            for (uint32_t i = 0; i < length; ++i) {
                expected.push_back(expected[expected.size() - distance]);
            }
            expected.push_back('Z');
            const Decoded got = decode(input, 64);
            ASSERT_EQ(got.status, Lz77Status::Ok) << distance << " back, " << length << " bytes";
            EXPECT_EQ(got.bytes, expected) << distance << " back, " << length << " bytes";
        }
    }
}

TEST(R2004Lz77, RefusesHostileStreams)
{
    const Bytes abcd = {'A', 'B', 'C', 'D'};
    struct Case {
        const char *what;
        Bytes input;
        uint32_t capacity;
        Lz77Status status;
    };
    const std::vector<Case> cases = {
        {"no end command", concat({{0x01}, abcd}), 16, Lz77Status::TruncatedInput},
        {"literal run cut short", {0x01, 'A', 'B'}, 16, Lz77Status::TruncatedInput},
        // 0x40 0x01: 3 bytes from 5 back, one before the start.
        {"copy from before the start", concat({{0x01}, abcd, {0x40, 0x01, 0x11}}), 16,
         Lz77Status::ReferenceBeforeStart},
        {"far copy with no output yet", {0x10, 0x01, 0x00, 0x00, 0x11}, 16, Lz77Status::ReferenceBeforeStart},
        {"copy past the capacity", concat({{0x01}, abcd, {0x4C, 0x00, 0x11}}), 6, Lz77Status::OutputOverflow},
        {"literals after a copy past the capacity", concat({{0x01}, abcd, {0x4F, 0x00, 'x', 'y', 'z', 0x11}}), 8,
         Lz77Status::OutputOverflow},
        {"command byte below 0x10 after a literal run", concat({{0x01}, abcd, {0x05, 0x11}}), 16,
         Lz77Status::BadOpcode},
    };
    for (const Case &c : cases) {
        const Decoded got = decode(c.input, c.capacity);
        EXPECT_EQ(got.status, c.status) << c.what;
    }

    // A length extension of a million zero bytes would wrap a 32-bit count
    // if it were summed to the end; it must stop at the capacity.
    Bytes endless = concat({{0x01}, abcd, {0x20}});
    endless.resize(endless.size() + 1000000, 0);
    endless.push_back(0x01);
    EXPECT_EQ(decode(endless, 0x7400).status, Lz77Status::OutputOverflow);
    Bytes endlessRun = {0x00};
    endlessRun.resize(20000000, 0);
    EXPECT_EQ(decode(endlessRun, 0x7400).status, Lz77Status::OutputOverflow);
}

// ---- Composed containers ---------------------------------------------------

dwgw::ContainerSections sampleSections()
{
    dwgw::ContainerSections sections;
    sections.objects = pattern(3000, 1);
    sections.handles = pattern(700, 2);
    sections.classes = pattern(300, 3);
    sections.header = pattern(50, 4);
    sections.codePage = 29;
    return sections;
}

struct Opened : OpenedContainer {
    explicit Opened(Bytes bytes) : OpenedContainer(std::move(bytes), newR2004Container) {}
};

class R2004RoundTrip : public testing::TestWithParam<const char *> {};

TEST_P(R2004RoundTrip, GivesBackEverySectionAcrossPages)
{
    const dwgw::ContainerSections sections = sampleSections();
    for (std::size_t pageSize : {std::size_t{0x100}, std::size_t{0x7400}}) {
        SCOPED_TRACE(pageSize);
        dwgw::ContainerOptions options;
        options.pageSize = pageSize;
        Opened opened(dwgw::composePagedContainer(GetParam(), sections, options));
        ASSERT_NE(opened.container, nullptr);
        EXPECT_EQ(opened.container->codePage(), 29);
        for (const auto &[name, expected] :
             {std::pair{SectionName::Header, sections.header}, std::pair{SectionName::Classes, sections.classes},
              std::pair{SectionName::Handles, sections.handles}, std::pair{SectionName::Objects, sections.objects}}) {
            EXPECT_EQ(opened.container->sectionSize(name), expected.size());
            // Chunks of 77 bytes cross page boundaries at every phase.
            EXPECT_EQ(opened.readAll(name, 77), expected);
            EXPECT_EQ(opened.readAll(name, 4096), expected);
        }
        uint8_t byte = 0;
        EXPECT_EQ(opened.container->readSection(SectionName::Objects, 3000, &byte, 1), 0);
        EXPECT_EQ(opened.container->readSection(SectionName::Count, 0, &byte, 1), 0);
        EXPECT_TRUE(opened.fixture.reports().empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Versions, R2004RoundTrip, testing::Values("AC1018", "AC1024", "AC1027", "AC1032"));

TEST(R2004Container, ReadsLeftOutZeroPagesAndAbsentSectionsAsSuch)
{
    dwgw::ContainerSections sections = sampleSections();
    sections.objects = pattern(0x500);
    std::fill(sections.objects.begin() + 0x100, sections.objects.begin() + 0x300, uint8_t{0});
    sections.objects.resize(0x680, 0);  // the last two pages are zeros too
    sections.classes.clear();
    dwgw::ContainerOptions options;
    options.pageSize = 0x100;
    options.omitZeroPages = true;
    // A page whose stream ends early: the rest of it is zeros.
    options.adjustPage = [](dwgw::PageDraft &page) {
        if (page.section == dwgw::ContainerSection::Objects && page.start == 0x300) {
            page.compressed = dwgw::compressLiterals(pattern(0x80));
        }
    };
    Bytes expected = sections.objects;
    std::copy_n(pattern(0x80).begin(), 0x80, expected.begin() + 0x300);
    std::fill(expected.begin() + 0x380, expected.begin() + 0x400, uint8_t{0});
    dwgw::ContainerPlaces places;
    options.places = &places;
    Opened opened(dwgw::composePagedContainer("AC1018", sections, options));
    ASSERT_NE(opened.container, nullptr);
    EXPECT_EQ(std::count_if(places.pages.begin(), places.pages.end(),
                            [](const dwgw::PagePlace &p) { return p.section == dwgw::ContainerSection::Objects; }),
              3);
    // The object map's pages go through the cache first, so that the
    // objects' pages land in slots that held other bytes.
    EXPECT_EQ(opened.readAll(SectionName::Handles, 0x90), sections.handles);
    EXPECT_EQ(opened.readAll(SectionName::Objects, 0x90), expected);
    // The walk without a map steps over what no page covers.
    for (const auto &[from, held] : {std::pair{0xFF, 0xFF}, {0x100, 0x300}, {0x4FF, 0x4FF}, {0x500, 0x680}}) {
        EXPECT_EQ(opened.container->heldFrom(SectionName::Objects, from), static_cast<uint64_t>(held)) << from;
    }
    EXPECT_EQ(opened.container->sectionSize(SectionName::Classes), 0u);
    EXPECT_TRUE(opened.readAll(SectionName::Classes, 16).empty());
    EXPECT_TRUE(opened.fixture.reports().empty());
}

bool onlyReportSays(const std::vector<std::string> &reports, const std::string &words)
{
    return reports.size() == 1 && reports[0].find(words) != std::string::npos;
}

// Objects in pages of 0x100: page 1 (from 0x100 to 0x200) is the one the
// damage tests break. The section stops there, once reported, and every
// other page and section still reads.
void expectOnlyPageOneLost(Opened &opened, const dwgw::ContainerSections &sections, const std::string &words)
{
    ASSERT_NE(opened.container, nullptr);
    const Bytes &objects = sections.objects;
    EXPECT_EQ(opened.readAll(SectionName::Objects, 0x40), Bytes(objects.begin(), objects.begin() + 0x100));
    EXPECT_TRUE(onlyReportSays(opened.fixture.reports(), words)) << testing::PrintToString(opened.fixture.reports());
    EXPECT_EQ(opened.readAll(SectionName::Objects, 0x40, 0x180).size(), 0u);
    EXPECT_EQ(opened.readAll(SectionName::Objects, 0x40, 0x200), Bytes(objects.begin() + 0x200, objects.end()));
    EXPECT_EQ(opened.readAll(SectionName::Handles, 0x40), sections.handles);
    EXPECT_EQ(opened.fixture.reports().size(), 1u);
}

dwgw::ContainerOptions smallPages()
{
    dwgw::ContainerOptions options;
    options.pageSize = 0x100;
    return options;
}

// A page as drafted, or as placed in the file.
template <class Page>
bool isObjectsPageOne(const Page &page)
{
    return page.section == dwgw::ContainerSection::Objects && page.index == 1;
}

// Page 1 of the objects broken in each way a page can be: one bit of its
// compressed bytes, a stream that does not decompress (a copy from before
// the start, a run past the page and the input), a page number not in the
// page map, or (after a gap of a gigabyte) an address far past the end.
// Only the last says the file was cut short.
TEST(R2004Container, ABrokenPageIsReportedOnceAndTheOthersRead)
{
    const dwgw::ContainerSections sections = sampleSections();
    struct Case {
        const char *version;
        Bytes stream;  // replaces the page's compressed bytes when not empty
        int32_t number;
        bool farGap;
        const char *words;
    };
    const Case cases[] = {
        {"AC1024", {}, 0, false, "page[2] of section[AcDb:AcDbObjects] damaged"},
        {"AC1027", {0x01, 'A', 'B', 'C', 'D', 0x4C, 0x04, 0x11}, 0, false, "not decompressible"},
        {"AC1027", {0x00, 0x00, 0x00, 0x02}, 0, false, "not decompressible"},
        {"AC1032", {}, 999, false, "page[999] of section[AcDb:AcDbObjects] damaged"},
        {"AC1018", {}, 999, true, "outside the file"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.words);
        dwgw::ContainerOptions options = smallPages();
        options.adjustPage = [&c](dwgw::PageDraft &page) {
            if (isObjectsPageOne(page) && !c.stream.empty()) {
                page.compressed = c.stream;
            }
            if (isObjectsPageOne(page) && c.number != 0) {
                page.number = c.number;
            }
        };
        if (c.farGap) {
            options.adjustPageMap = [](std::vector<dwgw::PageMapEntry> &entries) {
                entries.push_back({-1, 0x40000000});
                entries.push_back({999, 0x100});
            };
        }
        dwgw::ContainerPlaces places;
        options.places = &places;
        Bytes file = dwgw::composePagedContainer(c.version, sections, options);
        if (c.stream.empty() && c.number == 0) {
            const auto page = std::find_if(places.pages.begin(), places.pages.end(), isObjectsPageOne<dwgw::PagePlace>);
            ASSERT_NE(page, places.pages.end());
            file[page->address + 0x20 + 10] ^= 0x40;  // one bit of its compressed bytes
        }
        Opened opened(std::move(file));
        expectOnlyPageOneLost(opened, sections, c.words);
        EXPECT_EQ(opened.fixture.stream->wentPastEnd(), c.farGap);
    }
}

TEST(R2004Container, RefusesOutOfOrderPagesAfterTheLastGoodOne)
{
    const dwgw::ContainerSections sections = sampleSections();
    dwgw::ContainerOptions options = smallPages();
    options.adjustPage = [](dwgw::PageDraft &page) {
        if (page.section == dwgw::ContainerSection::Objects && page.index == 2) {
            page.start = 0x80;  // inside page 0
        }
    };
    Opened opened(dwgw::composePagedContainer("AC1018", sections, options));
    ASSERT_NE(opened.container, nullptr);
    EXPECT_TRUE(onlyReportSays(opened.fixture.reports(), "page list of section[AcDb:AcDbObjects]"));
    EXPECT_EQ(opened.readAll(SectionName::Objects, 0x70), Bytes(sections.objects.begin(), sections.objects.begin() + 0x200));
    EXPECT_EQ(opened.readAll(SectionName::Header, 0x70), sections.header);
}

// The objects of sampleSections, opened by the mark that tells the objects
// section when the section map is lost; the classes by their sentinel.
dwgw::ContainerSections markedSections()
{
    dwgw::ContainerSections sections = sampleSections();
    sections.objects[0] = 0xCA;
    sections.objects[1] = 0x0D;
    sections.objects[2] = 0;
    sections.objects[3] = 0;
    const Bytes sentinel = {0x8D, 0xA1, 0xC4, 0xB8, 0xC4, 0xA9, 0xF8, 0xC5,
                            0xC0, 0xDC, 0xF4, 0x5F, 0xE7, 0xCF, 0xB6, 0x8A};
    std::copy(sentinel.begin(), sentinel.end(), sections.classes.begin());
    return sections;
}

// A file cut short or with a map or the header and its copy spoilt loses
// the maps (a header spoilt alone is read from its copy). Its
// objects' pages are then found by their headers: those the file holds
// whole, each at its start, and the classes' (which number the
// multileaders); no other section is served (a found page that fails its
// sums is lost as any page is: pagedreader_test). Objects without their
// mark are not told from the other sections: then nothing is, and both
// failures are reported.
TEST(R2004Container, WithoutItsMapsGivesTheObjectPagesFoundByTheirHeaders)
{
    dwgw::ContainerOptions options = smallPages();
    dwgw::ContainerPlaces places;
    options.places = &places;
    const dwgw::ContainerSections sections = markedSections();
    const Bytes whole = dwgw::composePagedContainer("AC1024", sections, options);
    const auto objectsPage = [&places](std::size_t index) {
        return *std::find_if(places.pages.begin(), places.pages.end(), [index](const dwgw::PagePlace &page) {
            return page.section == dwgw::ContainerSection::Objects && page.index == index;
        });
    };
    auto flipped = [&whole](std::initializer_list<std::size_t> at) {
        Bytes bytes = whole;
        for (std::size_t i : at) {
            bytes[i] ^= 1;
        }
        return bytes;
    };
    const Bytes &objects = sections.objects;
    struct Case {
        const char *what;
        Bytes bytes;
        const char *words;  // the first report
        std::size_t pages;  // found
        bool cut;
    };
    const std::vector<Case> cases = {
        {"cut inside page 5", Bytes(whole.begin(), whole.begin() + objectsPage(5).address + 0x30), "map page at", 5,
         true},
        {"cut inside the maps", Bytes(whole.begin(), whole.begin() + places.pageMap + 0x10), "map page at", 12, true},
        {"sealed header and its copy changed", flipped({0x80 + 0x30, whole.size() - 0x6C + 0x30}),
         "file header damaged", 12, false},
        {"page map changed", flipped({places.pageMap + 0x14 + 4}), "map page at", 12, false},
        {"section map changed", flipped({places.sectionMap}), "map page at", 12, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Opened opened(c.bytes);
        ASSERT_NE(opened.container, nullptr);
        EXPECT_TRUE(opened.container->pagesFound());
        const std::vector<std::string> &reports = opened.fixture.reports();
        ASSERT_EQ(reports.size(), 2u) << testing::PrintToString(reports);
        EXPECT_NE(reports[0].find(c.words), std::string::npos) << reports[0];
        EXPECT_NE(reports[1].find(": " + std::to_string(c.pages) + " pages of the objects"), std::string::npos)
            << reports[1];
        Bytes expected(objects.begin(), objects.begin() + std::min(objects.size(), 0x100 * c.pages));
        expected.resize(0x100 * c.pages, 0);  // the last page reads whole
        EXPECT_EQ(opened.readAll(SectionName::Objects, 0x70), expected);
        EXPECT_EQ(opened.container->sectionSize(SectionName::Handles), 0u);
        if (!c.cut) {
            Bytes classes = sections.classes;
            classes.resize(0x200, 0);
            EXPECT_EQ(opened.readAll(SectionName::Classes), classes);
        }
        EXPECT_EQ(opened.fixture.stream->wentPastEnd(), c.cut);
    }

    Bytes unmarkedFile = dwgw::composePagedContainer("AC1024", sampleSections(), options);
    unmarkedFile[places.sectionMap] ^= 1;
    Opened unmarked(unmarkedFile);
    EXPECT_EQ(unmarked.container, nullptr);
    EXPECT_EQ(unmarked.fixture.reports().size(), 2u);
    EXPECT_NE(unmarked.fixture.reports().back().find("no page of the objects"), std::string::npos);
}

// Found without the maps, pages are laid out as the section map would
// have: where two hold one start, the later in the file, which the last
// save wrote; the page size guessed divides every start (pages at 0,
// 0x7500 and 0xEA00 make it 0x3A80, so that the section ends 0x3A80 past
// the last); a header whose start lies past the largest section is no
// page's.
TEST(R2004Container, PagesFoundAreLaidOutAsTheMapsWouldLayThemOut)
{
    const Bytes objects = markedSections().objects;
    const Bytes later = pattern(0x100, 9);
    const auto page = [&objects](std::size_t index) {
        return Bytes(objects.begin() + 0x100 * index, objects.begin() + 0x100 * (index + 1));
    };
    const auto at = [](std::initializer_list<std::pair<uint64_t, Bytes>> pages, uint64_t size) {
        Bytes section(size, 0);
        for (const auto &[start, bytes] : pages) {
            std::copy(bytes.begin(), bytes.end(), section.begin() + static_cast<std::ptrdiff_t>(start));
        }
        return section;
    };
    struct Case {
        const char *what;
        std::size_t pages;
        std::function<void(dwgw::PageDraft &)> adjust;
        Bytes expected;
    };
    const Case cases[] = {
        {"page 3 written again at page 2's start", 4,
         [&later](dwgw::PageDraft &p) {
             if (p.index == 3) {
                 p.start = 0x200;
                 p.compressed = dwgw::compressLiterals(later);
             }
         },
         at({{0, page(0)}, {0x100, page(1)}, {0x200, later}}, 0x300)},
        {"pages 1 and 2 at 0x7500 and 0xEA00", 3,
         [](dwgw::PageDraft &p) { p.start = p.index == 1 ? 0x7500 : p.index == 2 ? 0xEA00 : p.start; },
         at({{0, page(0)}, {0x7500, page(1)}, {0xEA00, page(2)}}, 0xEA00 + 0x3A80)},
        {"page 2 past the largest section", 3,
         [](dwgw::PageDraft &p) { p.start = p.index == 2 ? kLargestSection : p.start; },
         at({{0, page(0)}, {0x100, page(1)}}, 0x200)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        dwgw::ContainerSections sections = markedSections();
        sections.objects.resize(0x100 * c.pages);
        dwgw::ContainerOptions options = smallPages();
        dwgw::ContainerPlaces places;
        options.places = &places;
        options.adjustPage = [&c](dwgw::PageDraft &p) {
            if (p.section == dwgw::ContainerSection::Objects) {
                c.adjust(p);
            }
        };
        Bytes bytes = dwgw::composePagedContainer("AC1018", sections, options);
        bytes[places.sectionMap] ^= 1;
        Opened opened(bytes);
        ASSERT_NE(opened.container, nullptr);
        ASSERT_EQ(opened.container->sectionSize(SectionName::Objects), c.expected.size());
        EXPECT_EQ(opened.readAll(SectionName::Objects), c.expected);
    }
}

}  // namespace
