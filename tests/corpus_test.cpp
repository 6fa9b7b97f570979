// Real drawings against the exact event lists a correct library gives: for
// R10 to R2000 every event (NAME.dwg.expected), for R2004 and later the
// texts and the end (NAME.dwg.texts; the reports there are ours to word);
// from R13 on, the texts of the kinds the host's protocol does not give
// (NAME.dwg.visible), as the C API gives them.
// The drawings live beside the project, not in it; without them the test
// skips.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <iterator>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "drawing_folders.h"
#include "drawingfiles.h"
#include "front/drawingreader.h"
#include "front/hostinput.h"
#include "host_events.h"
#include "host_library.h"
#include "reading.h"

namespace {

namespace fs = std::filesystem;

const fs::path kCorpora[] = {TQDUDADE_CORPUS_DIR, TQDUDADE_CORPUS_R2004_DIR};

// The drawings of both corpora; one empty path when there are none, so
// that the test can say so.
std::vector<fs::path> corpusDrawings()
{
    std::vector<fs::path> paths = dwgFilesIn({kCorpora[0], kCorpora[1]});
    return paths.empty() ? std::vector<fs::path>{fs::path()} : paths;
}

// A texts list keeps the version, text and end lines of the events.
bool keptInTexts(const std::string &line)
{
    return line.starts_with("version ") || line.starts_with("text ") || line == "end";
}

// The lines of an event list, comments left out.
std::vector<std::string> eventLines(const std::string &text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line[0] != '#') {
            lines.push_back(line);
        }
    }
    return lines;
}

std::string fileText(const fs::path &path)
{
    std::vector<uint8_t> bytes;
    std::string error;
    EXPECT_TRUE(dwgfiles::readWholeFile(path.string(), bytes, error)) << error;
    return std::string(bytes.begin(), bytes.end());
}

class CorpusDrawing : public testing::TestWithParam<fs::path> {};

TEST_P(CorpusDrawing, GivesExactlyTheExpectedEvents)
{
    const fs::path path = GetParam();
    if (path.empty()) {
        GTEST_SKIP() << "no drawings in " << kCorpora[0] << " or " << kCorpora[1]
                     << ": the real-drawing corpus is not beside the project";
    }
    const std::string name = path.filename().string();
    const std::string drawing = fileText(path);
    const fs::path textsOnly = path.string() + ".texts";
    std::vector<std::string> expected =
        eventLines(fileText(fs::exists(textsOnly) ? textsOnly : fs::path(path.string() + ".expected")));
    std::vector<std::string> actual = eventLines(tqhost::runSessionEvents({drawing.begin(), drawing.end()}));
    if (fs::exists(textsOnly)) {
        std::erase_if(actual, [](const std::string &line) { return !keptInTexts(line); });
    }

    const size_t lines = std::max(expected.size(), actual.size());
    expected.resize(lines, "(nothing)");
    actual.resize(lines, "(nothing)");
    const auto line = static_cast<size_t>(std::mismatch(expected.begin(), expected.end(), actual.begin()).first -
                                          expected.begin());
    if (line < lines) {
        FAIL() << name << ": line " << line + 1 << " differs\n  expected: " << expected[line]
               << "\n  actual:   " << actual[line];
    }
}

// The texts of the kinds NAME.dwg.visible lists, read every kind as
// libdwgtext reads: MULTILEADER, TOLERANCE and a block-less DIMENSION.
std::vector<std::string> visibleLines(const std::string &drawing)
{
    const std::vector<uint8_t> bytes(drawing.begin(), drawing.end());
    dwgtext::TextReader reader{std::span<const uint8_t>(bytes)};
    std::vector<std::string> lines{"version " + reader.facts().firstBytes};
    while (const dwgtext::FoundText *text = reader.next()) {
        const std::string kind = dwgtext::textKindName(text->kind);
        if (kind == "MULTILEADER" || kind == "TOLERANCE" || kind == "DIMENSION") {
            lines.push_back("text " + std::to_string(text->charset) + " " + tqhost::toHex(text->bytes) + " " + kind);
        }
    }
    return lines;
}

TEST_P(CorpusDrawing, GivesTheTextsOfTheOtherKindsAnIndependentReaderFinds)
{
    const fs::path visible = GetParam().string() + ".visible";
    if (!fs::exists(visible)) {
        GTEST_SKIP() << "no " << visible;
    }
    EXPECT_EQ(visibleLines(fileText(GetParam())), eventLines(fileText(visible))) << GetParam().filename();
}

std::vector<std::string> textLines(const std::vector<std::string> &events)
{
    std::vector<std::string> texts;
    std::copy_if(events.begin(), events.end(), std::back_inserter(texts),
                 [](const std::string &line) { return line.starts_with("text "); });
    return texts;
}

// Cut at every hundredth of its length, a drawing says it was cut short and
// keeps the texts before the cut. R10 to R12 drawings are walked in file
// order, so theirs are the first texts of the whole (the last one perhaps
// with zeros for the bytes the cut took). So are those of an R13 to R2000
// drawing the cut left without its whole map: each cut's texts begin those
// of the next, until a cut leaves the map and so every text. From R2004 on
// the texts are some of the whole's.
TEST_P(CorpusDrawing, CutAnywhereSaysSoAndKeepsTheTextsBeforeTheCut)
{
    const fs::path path = GetParam();
    if (path.empty()) {
        GTEST_SKIP() << "no drawings in " << kCorpora[0] << " or " << kCorpora[1];
    }
    const std::string drawing = fileText(path);
    const std::vector<std::string> whole = eventLines(tqhost::runSessionEvents({drawing.begin(), drawing.end()}));
    const bool records = whole[0] < "version AC1012";
    const bool mapLast = !records && whole[0] < "version AC1018";
    std::vector<std::string> wholeTexts = textLines(whole);
    std::sort(wholeTexts.begin(), wholeTexts.end());
    std::vector<std::string> before;
    for (size_t hundredth = 1; hundredth < 100; ++hundredth) {
        const size_t size = drawing.size() * hundredth / 100;
        const std::vector<std::string> cut = eventLines(tqhost::runSessionEvents({drawing.begin(), drawing.begin() + size}));
        EXPECT_TRUE(std::any_of(cut.begin(), cut.end(), [](const std::string &line) {
            return line.starts_with("report *** ERROR *** The drawing is cut short");
        })) << path.filename() << " cut at " << size;
        const std::vector<std::string> texts = textLines(cut);
        if (records) {
            const std::vector<std::string> first = textLines(whole);
            EXPECT_TRUE(texts.empty() || std::equal(texts.begin(), texts.end() - 1, first.begin())) << size;
            continue;
        }
        std::vector<std::string> sorted = texts;
        std::sort(sorted.begin(), sorted.end());
        EXPECT_TRUE(std::includes(wholeTexts.begin(), wholeTexts.end(), sorted.begin(), sorted.end())) << size;
        if (mapLast && sorted != wholeTexts) {
            EXPECT_TRUE(before.size() <= texts.size() && std::equal(before.begin(), before.end(), texts.begin()))
                << size;
        }
        before = texts;
    }
}

std::string testName(const testing::TestParamInfo<fs::path> &info)
{
    std::string name = info.param.empty() ? "NoCorpus" : info.param.filename().string();
    std::replace_if(name.begin(), name.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)) == 0; },
                    '_');
    return name;
}

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusDrawing, testing::ValuesIn(corpusDrawings()), testName);

struct KeptReports final : ReportListener {
    void report(const char *line) override { lines.emplace_back(line); }
    std::vector<std::string> lines;
};

struct IgnoredTexts final : TextSink {
    void text(const void *, int32_t, int32_t, TextKind) override {}
};

// The real R13 to R2000 drawings that keep a properties record give it,
// found through their header, object map and named-object dictionary, and
// read to its end: who saved each last, and no custom pair.
TEST(CorpusProperties, R13ToR2000DrawingsGiveTheirPropertiesRecord)
{
    const std::pair<const char *, const char *> drawings[] = {
        {"example_r13.dwg", "rurban"},       {"example_r14.dwg", "rurban"}, {"example_2000.dwg", "rurban"},
        {"TS1_2000.dwg", "Guruprasad"},      {"Line_2000.dwg", "THEAI"},    {"sample_base_2000.dwg", "Usuario"}};
    for (const auto &[name, savedBy] : drawings) {
        const fs::path path = kCorpora[0] / name;
        if (!fs::exists(path)) {
            GTEST_SKIP() << "no " << path;
        }
        const std::string drawing = fileText(path);
        tqhost::RecordingHost host({drawing.begin(), drawing.end()});
        HostInput input(host.source());
        KeptReports reports;
        IgnoredTexts texts;
        DrawingReader reader;
        ASSERT_TRUE(reader.open({&input, hostBlocks(host.services()), &reports, &texts})) << name;
        const DrawingProperties *properties = reader.properties();
        ASSERT_NE(properties, nullptr) << name;
        const PropertyText &text = properties->standard[static_cast<int32_t>(PropertyKey::LastSavedBy)];
        EXPECT_EQ(std::string(reinterpret_cast<const char *>(properties->bytesOf(text)), text.length), savedBy);
        EXPECT_EQ(properties->customCount, 0) << name;  // their ten slots are unused
        EXPECT_EQ(reports.lines, std::vector<std::string>{}) << name;
    }
}

}  // namespace
