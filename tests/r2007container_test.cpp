// The R2007 container: Reed-Solomon code words, the LZ77 variant, and
// whole containers composed by the test-kit writer. The real drawings go
// through corpus_test.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "r2004/container.h"
#include "r2004/r2007lz77.h"
#include "r2004/reedsolomon.h"
#include "stream_fixture.h"
#include "writer/r2007writer.h"

namespace {

struct Opened : OpenedContainer {
    explicit Opened(std::vector<uint8_t> bytes) : OpenedContainer(std::move(bytes), newR2007Container) {}
};

using dwgw::Bytes;

Bytes randomBytes(size_t size, unsigned seed)
{
    std::mt19937 generator(seed);
    Bytes bytes(size);
    for (uint8_t &byte : bytes) {
        byte = static_cast<uint8_t>(generator());
    }
    return bytes;
}

int countContaining(const std::vector<std::string> &reports, const std::string &text)
{
    return static_cast<int>(std::count_if(reports.begin(), reports.end(),
                                          [&](const std::string &report) { return report.find(text) != std::string::npos; }));
}

// ---- Reed-Solomon ----

struct CodeCase {
    rs::Code code;
    int dataBytes;
    int correctable;
};

class R2007CodeWords : public testing::TestWithParam<CodeCase> {};

// The writer's encoder and the reader's check agree, and the decoder finds
// as many errors as the code allows wherever they lie, parity included.
// Past its capacity, see the file header's test and the two below.
TEST_P(R2007CodeWords, CorrectsUpToItsCapacity)
{
    const CodeCase c = GetParam();
    const Bytes data = randomBytes(static_cast<size_t>(c.dataBytes), 7);
    const Bytes word = dwgw::r2007CodeWords(data, c.dataBytes);
    ASSERT_EQ(word.size(), 255u);
    Bytes clean = word;
    EXPECT_EQ(rs::checkAndCorrect(c.code, clean.data()), rs::Outcome::Clean);
    EXPECT_EQ(clean, word);

    // As many bad bytes as the code corrects, every 37th from the start,
    // the first parity byte or the last byte on.
    for (int start : {0, c.dataBytes, 254}) {
        Bytes damaged = word;
        for (int i = 0; i < c.correctable; ++i) {
            damaged[static_cast<size_t>((start + 37 * i) % 255)] ^= static_cast<uint8_t>(i + 1);
        }
        EXPECT_EQ(rs::checkAndCorrect(c.code, damaged.data()), rs::Outcome::Corrected) << "from " << start;
        EXPECT_EQ(damaged, word);
    }
}

INSTANTIATE_TEST_SUITE_P(BothCodes, R2007CodeWords,
                         testing::Values(CodeCase{rs::Code::System, 239, 8}, CodeCase{rs::Code::Data, 251, 2}));

// Data words with three bad bytes each (place, bad bits), past the two the
// code corrects: half of such words lie within two bytes of another valid
// word, which the page's checksum then refuses. For the first, the locator
// names three bytes, and changing them would give a valid word; for the
// second, it names two bytes but has no roots in the word, so correcting
// leaves it invalid; the third fails every check.
using Damage = std::vector<std::pair<int, uint8_t>>;
const Damage kLocatorTooLong = {{207, 192}, {57, 94}, {193, 239}};
const Damage kInvalidAfterCorrection = {{18, 22}, {229, 48}, {134, 65}};
const Damage kBeyondCorrection = {{209, 151}, {139, 204}, {248, 163}};

rs::Outcome checkDamagedDataWord(const Damage &damage)
{
    const Bytes word = dwgw::r2007CodeWords(randomBytes(251, 5), 251);
    Bytes damaged = word;
    for (const auto &[place, value] : damage) {
        damaged[static_cast<size_t>(place)] ^= value;
    }
    const Bytes before = damaged;
    const rs::Outcome outcome = rs::checkAndCorrect(rs::Code::Data, damaged.data());
    EXPECT_EQ(damaged, before) << "a word beyond correction is left as it was";
    return outcome;
}

TEST(R2007CodeWords, RefusesWordsBeyondCorrection)
{
    EXPECT_EQ(checkDamagedDataWord(kLocatorTooLong), rs::Outcome::Damaged);
    EXPECT_EQ(checkDamagedDataWord(kInvalidAfterCorrection), rs::Outcome::Damaged);
}

// Twenty-one interleaved words: checked four at a time, then one; taken
// unchecked in blocks of sixteen words, the last overlapping the first,
// and a page of five a byte at a time. Taken as they are, every word's
// data comes out. With one word damaged, only that word is corrected; with
// one beyond correction, the run stops there and writes none of its data.
TEST(R2007CodeWords, EachInterleavedWordIsCheckedForItself)
{
    constexpr int kWords = 21;
    constexpr int kData = rs::dataBytes(rs::Code::Data);
    const Bytes data = randomBytes(kWords * kData, 11);
    const Bytes stored = dwgw::r2007CodeWords(data, kData);
    Bytes taken(data.size());
    rs::takeData(rs::Code::Data, stored.data(), kWords, taken.data());
    EXPECT_EQ(taken, data);
    const Bytes five = dwgw::r2007CodeWords(Bytes(data.begin(), data.begin() + 5 * kData), kData);
    rs::takeData(rs::Code::Data, five.data(), 5, taken.data());
    EXPECT_TRUE(std::equal(data.begin(), data.begin() + 5 * kData, taken.begin()));
    for (int b = 0; b < kWords; ++b) {
        SCOPED_TRACE("word " + std::to_string(b));
        Bytes damaged = stored;
        damaged[static_cast<size_t>(40 * kWords + b)] ^= 0x3C;
        Bytes decoded(data.size());
        EXPECT_EQ(rs::decodeInterleaved(rs::Code::Data, damaged.data(), kWords, decoded.data()), rs::Outcome::Corrected);
        EXPECT_EQ(decoded, data);

        Bytes lost = stored;
        for (const auto &[place, value] : kBeyondCorrection) {
            lost[static_cast<size_t>(place * kWords + b)] ^= value;
        }
        Bytes untouched(data.size(), 0xEE);
        EXPECT_EQ(rs::decodeInterleaved(rs::Code::Data, lost.data(), kWords, untouched.data()), rs::Outcome::Damaged);
        EXPECT_TRUE(std::all_of(untouched.begin() + b * kData, untouched.end(), [](uint8_t v) { return v == 0xEE; }));
    }
}

// ---- LZ77 ----

// The bytes produced, or the status of a stream that fails.
Lz77Result decompressInto(const Bytes &stream, Bytes &out)
{
    return decompressR2007Lz77(stream.data(), static_cast<uint32_t>(stream.size()), out.data(),
                               static_cast<uint32_t>(out.size()));
}

bool produces(const Lz77Result &result, size_t bytes)
{
    return result.status == Lz77Status::Ok && result.produced == bytes;
}

// Every literal length class: the 0x2X opening (1-7), one opcode (8-22),
// one extra byte, and the chained 16-bit amounts, with each tail shuffle.
TEST(R2007Lz77, LiteralRunsOfEveryLengthClass)
{
    std::vector<size_t> lengths = {0x17 + 0xFE, 0x17 + 0xFF, 0x17 + 0xFF + 0xFFFE, 0x17 + 0xFF + 0xFFFF,
                                   0x17 + 0xFF + 0xFFFF + 5};
    for (size_t length = 1; length <= 100; ++length)
        lengths.push_back(length);
    for (size_t length : lengths) {
        const Bytes data = randomBytes(length, static_cast<unsigned>(length));
        Bytes out(length);
        EXPECT_TRUE(produces(decompressInto(dwgw::r2007LiteralStream(data), out), length)) << length;
        EXPECT_EQ(out, data) << "run of " << length;
    }
}

// Appends `length` bytes copied from `offset` back, byte by byte.
void refer(std::string &out, size_t offset, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        out.push_back(out[out.size() - offset]);
    }
}

// One stream through every instruction form, each followed by the three
// ways to go on: a literal length in its low bits, another instruction,
// or a literal-run opcode.
TEST(R2007Lz77, BackReferencesOfEveryForm)
{
    const Bytes stream = {
        0x00, 'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H',  // literal run of 8, stored as is
        0x32, 0x00,                                   // 3 bytes from 3 back; another instruction follows
        0x12, 0x0A, 0x01,                             // 5 bytes from 11 back; then a literal byte
        'Z',
        0x20, 0x11, 0x00, 0x08,                       // 8 bytes from 17 back, 16-bit offset form
        0xF0, 0x18, 0x82,                             // as 0x00: 0x13 + 0x10 bytes from 25 back; 2 literals
        'Y', 'X',                                     // stored reversed
        0x28, 0x00, 0x00, 0x00, 0x00,                 // 0x100 bytes from 1 back, long form
        0x01, '2', '3', '4', '5', '6', '7', '8', '9', '1',  // run of 9: last stored byte first
    };
    std::string expected = "ABCDEFGH";
    refer(expected, 3, 3);
    refer(expected, 11, 5);
    expected += "Z";
    refer(expected, 17, 8);
    refer(expected, 25, 0x23);
    expected += "XY";
    refer(expected, 1, 0x100);
    expected += "123456789";

    Bytes out(expected.size());
    ASSERT_TRUE(produces(decompressInto(stream, out), expected.size()));
    EXPECT_EQ(std::string(out.begin(), out.end()), expected);
}

TEST(R2007Lz77, RefusesHostileStreams)
{
    Bytes out(64);
    const Bytes literal8 = {0x00, 'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H'};
    auto after8 = [&](Bytes tail) {
        Bytes stream = literal8;
        stream.insert(stream.end(), tail.begin(), tail.end());
        return stream;
    };
    auto status = [&](const Bytes &stream) { return decompressInto(stream, out).status; };
    EXPECT_EQ(status(after8({0x32, 0x08})), Lz77Status::ReferenceBeforeStart) << "reference 19 back after 8 bytes";
    EXPECT_EQ(status(after8({0x20, 0x00, 0x00, 0x08})), Lz77Status::ReferenceBeforeStart) << "reference 0 back";
    EXPECT_EQ(status(after8({0x12, 0x01})), Lz77Status::TruncatedInput) << "instruction cut off";
    EXPECT_EQ(status(after8({0x28, 0x00, 0x00, 0x00, 0x00})), Lz77Status::OutputOverflow) << "0x100 bytes into 64";
    EXPECT_EQ(status({0x05, 'a', 'b', 'c'}), Lz77Status::TruncatedInput) << "literal run past the stream";
    EXPECT_EQ(status({0x20, 0x00}), Lz77Status::TruncatedInput) << "opening cut off";

    Bytes small(4);
    EXPECT_EQ(decompressInto(literal8, small).status, Lz77Status::OutputOverflow) << "literal run past the output";

    Bytes endless = {0x0F};
    endless.resize(140001, 0xFF);
    EXPECT_EQ(status(endless), Lz77Status::OutputOverflow) << "run length beyond the output";

    EXPECT_TRUE(produces(decompressInto({}, out), 0));
}

// ---- containers from the writer ----

dwgw::R2007Sections multiPageSections()
{
    dwgw::R2007Sections sections;
    sections.header = randomBytes(0x357, 1);
    sections.classes = randomBytes(0x500, 2);
    sections.handles = randomBytes(0x737, 3);
    sections.objects = randomBytes(5 * 0x400 + 77, 4);
    std::fill(sections.objects.begin() + 0x800, sections.objects.begin() + 0xC00, 0);  // page 3: zeros only
    sections.summaryInfo = randomBytes(0x4A1, 5);  // its pages stored plainly
    sections.codePage = 29;
    return sections;
}

dwgw::R2007Options smallPages()
{
    dwgw::R2007Options options;
    options.pageSize = 0x400;
    return options;
}

// Page ids in file order: header 1, classes 2-3, handles 4-5, objects 6-10
// (the zero page of the objects takes none), summary information 11-12.
constexpr int kSecondObjectsPage = 7;
constexpr int kFourthObjectsPage = 8;

void expectSections(Opened &opened, const dwgw::R2007Sections &sections)
{
    EXPECT_EQ(opened.readAll(SectionName::Header), sections.header);
    EXPECT_EQ(opened.readAll(SectionName::Classes), sections.classes);
    EXPECT_EQ(opened.readAll(SectionName::Handles), sections.handles);
    EXPECT_EQ(opened.readAll(SectionName::Objects), sections.objects);
    EXPECT_EQ(opened.readAll(SectionName::SummaryInfo), sections.summaryInfo);
}

class R2007Written : public testing::TestWithParam<bool> {};

TEST_P(R2007Written, RoundTripsMultiPageSections)
{
    const dwgw::R2007Sections sections = multiPageSections();
    dwgw::R2007Options options = smallPages();
    options.compress = GetParam();
    Opened opened(dwgw::composeR2007Container(sections, options));
    ASSERT_NE(opened.container, nullptr) << opened.fixture.reports().at(0);
    EXPECT_EQ(opened.container->codePage(), 29);
    EXPECT_EQ(opened.container->sectionSize(SectionName::Objects), sections.objects.size());
    expectSections(opened, sections);

    // Pieces across page edges and the zero gap, backwards so that the
    // cache turns over, and a read past the end cut to the section.
    const Bytes &objects = sections.objects;
    for (int64_t at = static_cast<int64_t>(objects.size()) - 10; at > 20; at -= 0x1F3) {
        const uint32_t offset = static_cast<uint32_t>(at);
        Bytes piece(300, 0xEE);
        const int32_t got = opened.container->readSection(SectionName::Objects, offset, piece.data(), 300);
        const size_t expected = std::min<size_t>(300, objects.size() - offset);
        ASSERT_EQ(got, static_cast<int32_t>(expected)) << offset;
        EXPECT_TRUE(std::equal(piece.begin(), piece.begin() + got, objects.begin() + offset)) << offset;
        EXPECT_EQ(piece[expected < 300 ? expected : 299], expected < 300 ? 0xEE : objects[offset + 299]);
    }
    Bytes none(8);
    EXPECT_EQ(opened.container->readSection(SectionName::Objects, static_cast<uint32_t>(objects.size()), none.data(), 8), 0);
    EXPECT_EQ(opened.container->readSection(SectionName::Count, 0, none.data(), 8), 0);
    EXPECT_TRUE(opened.fixture.reports().empty());
}

INSTANTIATE_TEST_SUITE_P(CompressedAndStored, R2007Written, testing::Bool());

TEST(R2007Damage, DamagedBytesUpToTheCodesCapacityAreCorrectedAndReportedOnce)
{
    const dwgw::R2007Sections sections = multiPageSections();
    dwgw::R2007Options options = smallPages();
    options.damagedBytes[kSecondObjectsPage] = {17};
    options.damagedBytes[kFourthObjectsPage] = {0, 254};
    Opened opened(dwgw::composeR2007Container(sections, options));
    ASSERT_NE(opened.container, nullptr);
    expectSections(opened, sections);
    expectSections(opened, sections);  // the pages are read again: no second report
    const std::vector<std::string> reports = opened.fixture.reports();
    EXPECT_EQ(reports.size(), 2u);
    EXPECT_EQ(countContaining(reports, "R2007 page 7 was damaged and has been corrected"), 1);
    EXPECT_EQ(countContaining(reports, "R2007 page 8 was damaged and has been corrected"), 1);
}

// Three bad bytes in each word of page 7, or page 7 destroyed: the read
// stops at the start of that page, which is reported once; the pages after
// it and the other sections still read.
TEST(R2007Damage, APageBeyondCorrectionIsLostAloneAndReportedOnce)
{
    const dwgw::R2007Sections sections = multiPageSections();
    for (bool destroyed : {false, true}) {
        SCOPED_TRACE(destroyed ? "destroyed" : "three bytes in each word");
        dwgw::R2007Options options = smallPages();
        if (destroyed) {
            options.destroyedPages.insert(kSecondObjectsPage);
        } else {
            options.damagedBytes[kSecondObjectsPage] = {30, 31, 32};
        }
        Opened opened(dwgw::composeR2007Container(sections, options));
        ASSERT_NE(opened.container, nullptr);
        Bytes objects(sections.objects.size());
        const int32_t got = opened.container->readSection(SectionName::Objects, 0, objects.data(), static_cast<int32_t>(objects.size()));
        EXPECT_EQ(got, 0x400);
        EXPECT_TRUE(std::equal(objects.begin(), objects.begin() + got, sections.objects.begin()));
        EXPECT_EQ(opened.container->readSection(SectionName::Objects, 0x500, objects.data(), 10), 0);

        Bytes rest(sections.objects.size() - 0x800);
        ASSERT_EQ(opened.container->readSection(SectionName::Objects, 0x800, rest.data(), static_cast<int32_t>(rest.size())),
                  static_cast<int32_t>(rest.size()));
        EXPECT_TRUE(std::equal(rest.begin(), rest.end(), sections.objects.begin() + 0x800));
        EXPECT_EQ(opened.readAll(SectionName::Handles), sections.handles);

        const std::vector<std::string> reports = opened.fixture.reports();
        ASSERT_EQ(reports.size(), 1u);
        // Three bad bytes in each word are "corrected" into other words,
        // which the page's checksum refuses; what a destroyed page is said
        // to be is for the code words' own tests.
        const char *words = destroyed ? "R2007 page 7 " : "R2007 page 7 is damaged beyond correction";
        EXPECT_EQ(countContaining(reports, words), 1) << reports[0];
    }
}

// A page the page map does not list, or lists with less room than its code
// words take, is damage in a file of full length, not a cut: the page is
// lost and reported once, and the file is not said to be cut short.
TEST(R2007Damage, APageTheMapDoesNotPlaceIsDamageNotACut)
{
    const dwgw::R2007Sections sections = multiPageSections();
    for (bool listed : {false, true}) {
        SCOPED_TRACE(listed ? "listed too small" : "not listed");
        dwgw::R2007Options options = smallPages();
        options.adjustPageMap = [listed](std::vector<std::pair<size_t, int>> &entries) {
            const auto page = std::find_if(entries.begin(), entries.end(),
                                           [](const auto &entry) { return entry.second == kSecondObjectsPage; });
            if (!listed) {
                page->second = -1;
                return;
            }
            const size_t rest = page->first - 0x100;
            page->first = 0x100;
            entries.insert(page + 1, {rest, -1});
        };
        Opened opened(dwgw::composeR2007Container(sections, options));
        ASSERT_NE(opened.container, nullptr);
        EXPECT_EQ(opened.readAll(SectionName::Objects).size(), 0x400u);
        EXPECT_EQ(opened.readAll(SectionName::Handles), sections.handles);
        const std::vector<std::string> reports = opened.fixture.reports();
        ASSERT_EQ(reports.size(), 1u);
        EXPECT_EQ(countContaining(reports, "R2007 page 7 is damaged beyond correction"), 1) << reports[0];
        EXPECT_FALSE(opened.fixture.stream->wentPastEnd());
    }
}

// However many copies of the page map the file header says the map page
// holds, the reader takes the code words of one: a header cannot make it
// hold memory in proportion to the file.
uint64_t field64(const Bytes &fields, size_t at)
{
    uint64_t value = 0;
    for (size_t i = 8; i-- > 0;) {
        value = value << 8 | fields[at + i];
    }
    return value;
}

TEST(R2007Damage, AHeaderClaimingAHugeMapPageCostsLittleMemory)
{
    constexpr size_t kPadding = 4 << 20;
    dwgw::R2007Options options = smallPages();
    options.adjustHeaderFields = [](Bytes &fields) {
        const uint64_t repeats = kPadding / 255 * 239 / ((field64(fields, 0x50) + 7) / 8 * 8);
        for (int i = 0; i < 8; ++i) {
            fields[static_cast<size_t>(0x18 + i)] = static_cast<uint8_t>(repeats >> (8 * i));
        }
    };
    Bytes file = dwgw::composeR2007Container(multiPageSections(), options);
    file.resize(file.size() + kPadding, 0);
    Opened opened(std::move(file));
    EXPECT_EQ(opened.container, nullptr);
    EXPECT_LT(opened.fixture.host.serviceSide().blocks().stats().peakBytesInUse, 1u << 20);
}

// Every copy of a map page is checked, not only the first, which the map is
// read from: a bad byte in the page map's last code word is corrected and
// reported.
TEST(R2007Damage, EveryCopyOfAMapPageIsChecked)
{
    const dwgw::R2007Sections sections = multiPageSections();
    dwgw::R2007Options options = smallPages();
    uint64_t words = 0;
    options.adjustHeaderFields = [&words](Bytes &fields) {
        words = ((field64(fields, 0x50) + 7) / 8 * 8 * field64(fields, 0x18) + 238) / 239;
    };
    Bytes file = dwgw::composeR2007Container(sections, options);
    file[0x480 + 5 * words + words - 1] ^= 0x81;
    Opened opened(std::move(file));
    ASSERT_NE(opened.container, nullptr);
    EXPECT_EQ(opened.readAll(SectionName::Objects), sections.objects);
    ASSERT_EQ(opened.fixture.reports().size(), 1u);
    EXPECT_EQ(countContaining(opened.fixture.reports(), "The R2007 page map was damaged and has been corrected"), 1);
}

// The file header's three words lie interleaved at 0x80.
TEST(R2007Damage, FileHeaderWordsAreCorrectedUpToEightBytesEach)
{
    const dwgw::R2007Sections sections = multiPageSections();
    const Bytes good = dwgw::composeR2007Container(sections, smallPages());
    auto damage = [&](int bytesPerWord) {
        Bytes bytes = good;
        for (int i = 0; i < bytesPerWord; ++i) {
            for (int word = 0; word < 3; ++word) {
                bytes[static_cast<size_t>(0x80 + 17 * i * 3 + word)] ^= 0x81;
            }
        }
        return bytes;
    };
    Opened corrected(damage(8));
    ASSERT_NE(corrected.container, nullptr);
    expectSections(corrected, sections);
    ASSERT_EQ(corrected.fixture.reports().size(), 1u);
    EXPECT_TRUE(corrected.fixture.reports()[0].starts_with(
        "*** WARNING *** The R2007 file header was damaged and has been corrected[r2007container/"));

    Opened lost(damage(9));
    EXPECT_EQ(lost.container, nullptr);
    ASSERT_EQ(lost.fixture.reports().size(), 1u);
    EXPECT_EQ(countContaining(lost.fixture.reports(), "The R2007 file header is damaged beyond correction"), 1);
}

}  // namespace
