#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <numeric>
#include <thread>

#include "codepage.h"
#include "extract.h"
#include "inputs.h"
#include "options.h"
#include "progress.h"
#include "render.h"
#include "runner.h"
#include "text_output.h"
#include "versions.h"

namespace dwgtext {
namespace {

using namespace std::string_literals;

// ---------------------------------------------------------------------------
// Command line

TEST(Options, ReadsEveryOptionInAnyPlace)
{
    const auto parsed = parseOptions({"a.dwg", "-rqH", "--json", "-j3", "-", "--codepage", "dos932", "b.dwg"});
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    const Options &o = parsed.options;
    EXPECT_EQ(o.format, Format::Json);
    EXPECT_TRUE(o.recursive);
    EXPECT_TRUE(o.quiet);
    EXPECT_EQ(o.withFilename, true);
    EXPECT_EQ(o.jobs, 3u);
    EXPECT_EQ(o.codePage, "CP932");
    EXPECT_EQ(o.files, (std::vector<std::string>{"a.dwg", "-", "b.dwg"}));
}

TEST(Options, ValuesMayBeAttachedOrFollow)
{
    for (const auto &args : std::vector<std::vector<std::string_view>>{
             {"--jobs=5", "x"}, {"--jobs", "5", "x"}, {"-j", "5", "x"}, {"-rj5", "x"}}) {
        const auto parsed = parseOptions(args);
        ASSERT_TRUE(parsed.ok()) << args[0];
        EXPECT_EQ(parsed.options.jobs, 5u) << args[0];
        EXPECT_EQ(parsed.options.files, std::vector<std::string>{"x"}) << args[0];
    }
}

TEST(Options, DoubleDashEndsOptionsAndLastFilenameChoiceWins)
{
    const auto parsed = parseOptions({"-H", "--no-filename", "--", "--json", "-r"});
    ASSERT_TRUE(parsed.ok());
    EXPECT_EQ(parsed.options.format, Format::Text);
    EXPECT_FALSE(parsed.options.recursive);
    EXPECT_EQ(parsed.options.withFilename, false);
    EXPECT_EQ(parsed.options.files, (std::vector<std::string>{"--json", "-r"}));
}

TEST(Options, UsageErrors)
{
    const std::vector<std::vector<std::string_view>> wrong = {
        {},
        {"--quiet"},
        {"--frobnicate", "a"},
        {"-x", "a"},
        {"--json", "--events", "a"},
        {"--json=yes", "a"},
        {"-j", "0", "a"},
        {"-j", "1025", "a"},
        {"-j", "4x", "a"},
        {"a", "-j"},
        {"--codepage", "NO_SUCH_PAGE", "a"},
    };
    for (const auto &args : wrong)
        EXPECT_FALSE(parseOptions(args).ok()) << (args.empty() ? "(nothing)" : args[0]);
    EXPECT_TRUE(parseOptions({"--help"}).ok());
    EXPECT_TRUE(parseOptions({"-V"}).ok());
    EXPECT_TRUE(parseOptions({"--raw", "--raw", "a"}).ok());
}

// ---------------------------------------------------------------------------
// Code pages and text decoding

TEST(CodePage, EveryNumberedPageDecodesWithIconv)
{
    for (int32_t number = 1; !codePageName(number).empty(); ++number)
        EXPECT_FALSE(iconvNameFor(codePageName(number)).empty()) << number;
    EXPECT_EQ(codePageName(44), "ANSI_1258");  // the last one
    EXPECT_EQ(codePageName(0), "");             // undefined
}

TEST(CodePage, HeaderRecordsItOnlyForR13ToR2000)
{
    auto header = [](std::string version, uint8_t low, uint8_t high) {
        std::vector<uint8_t> bytes(version.begin(), version.end());
        bytes.resize(0x40);
        bytes[0x13] = low;
        bytes[0x14] = high;
        return bytes;
    };
    EXPECT_EQ(recordedCodePage(header("AC1015", 38, 0)), 38);
    EXPECT_EQ(recordedCodePage(header("AC1012", 0x1E, 0x01)), 0x11E);
    EXPECT_EQ(recordedCodePage(header("AC1009", 38, 0)), -1);
    EXPECT_EQ(recordedCodePage(std::vector<uint8_t>{'A', 'C', '1', '0', '1', '5'}), -1);

    EXPECT_EQ(drawingCodePage(38), "CP932");
    EXPECT_EQ(drawingCodePage(0), "CP1252");    // undefined
    EXPECT_EQ(drawingCodePage(300), "CP1252");  // outside the table
    EXPECT_EQ(drawingCodePage(-1), "CP1252");   // not recorded
}

TEST(CodePage, UndecodableBytesBecomeReplacementCharacters)
{
    struct Case {
        const char *page;
        std::string bytes;
        std::string utf8;
    };
    const Case cases[] = {
        {"CP1252", "35\xb0", "35\xc2\xb0"},
        {"CP1252", "a\x81z", "a\xef\xbf\xbdz"},                           // no character
        {"CP932", "\x90\x7d\x96\xca", "\xe5\x9b\xb3\xe9\x9d\xa2"},          // two kanji
        {"CP932", "\x90\x7d\x96", "\xe5\x9b\xb3\xef\xbf\xbd"},              // cut after a lead byte
        {"CP932", "\x85\x40" "A", "\xef\xbf\xbd@A"},                       // unassigned pair
        {"CP1253", "\xe1\xe2", "\xce\xb1\xce\xb2"},
        {"UTF-16LE", "A\x00" "B"s, "A\xef\xbf\xbd"},
        {"CP1252", std::string(3000, 'x') + "\xb0", std::string(3000, 'x') + "\xc2\xb0"},  // past one chunk
    };
    for (const Case &c : cases) {
        CodePageDecoder decoder(c.page);
        EXPECT_EQ(decoder.decode(c.bytes), c.utf8) << c.page << " " << c.bytes.substr(0, 8);
    }
}

TEST(TextOutput, Utf16BigEndianToUtf8)
{
    EXPECT_EQ(utf16beToUtf8("\x00\x31\x00\x30\x00\x38\x00\xb0"s), "108\xc2\xb0");
    EXPECT_EQ(utf16beToUtf8("\x4e\x2d"s), "\xe4\xb8\xad");
    EXPECT_EQ(utf16beToUtf8("\xd8\x3d\xde\x00"s), "\xf0\x9f\x98\x80");  // a surrogate pair
    EXPECT_EQ(utf16beToUtf8("\xd8\x3d\x00\x41"s), "\xef\xbf\xbd" "A");  // lone high surrogate
    EXPECT_EQ(utf16beToUtf8("\xde\x00"s), "\xef\xbf\xbd");               // lone low surrogate
    EXPECT_EQ(utf16beToUtf8("\x00\x41\x00"s), "A\xef\xbf\xbd");         // odd byte left over
}

TEST(TextOutput, UnicodeEscapesBecomeCharacters)
{
    const std::pair<std::string, std::string> cases[] = {
        {"\\U+2205", "\xe2\x88\x85"},
        {"\\U+22052.3794", "\xe2\x88\x85" "2.3794"},  // only four digits belong to the code
        {"45\\U+00b0C", "45\xc2\xb0" "C"},
        {"\\U+D83D\\U+DE00", "\xf0\x9f\x98\x80"},     // a surrogate pair
        {"\\U+D83Dx", "\xef\xbf\xbd" "x"},
        {"\\U+DE00\\U+D83D", "\xef\xbf\xbd\xef\xbf\xbd"},
        {"\\U+12", "\\U+12"},
        {"\\U+12G4", "\\U+12G4"},
        {"\\\\U+0041", "\\A"},
        {"\\u+0041 \\M+1907D", "\\u+0041 \\M+1907D"},
    };
    for (const auto &[text, utf8] : cases)
        EXPECT_EQ(expandUnicodeEscapes(text), utf8) << text;
}

TEST(TextOutput, InvalidUtf8IsReplacedByteByByte)
{
    const std::pair<std::string, std::string> cases[] = {
        {"plain \xe5\x9b\xb3 \xf0\x9f\x98\x80", "plain \xe5\x9b\xb3 \xf0\x9f\x98\x80"},
        {"\xc0\x80", "\xef\xbf\xbd\xef\xbf\xbd"},                        // overlong
        {"\xed\xa0\x80", "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"},        // a surrogate
        {"\xf4\x90\x80\x80", "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"},  // past U+10FFFF
        {"\xe5\x9b", "\xef\xbf\xbd\xef\xbf\xbd"},                        // cut short
        {"\xb0" "A", "\xef\xbf\xbd" "A"},
    };
    for (const auto &[bytes, utf8] : cases)
        EXPECT_EQ(validUtf8(bytes), utf8) << bytes;
}

TEST(TextOutput, DecoderPicksTheWayByCharacterSet)
{
    TextDecoder decoder("CP1252");
    EXPECT_EQ(decoder.decode(0, "\xb0 \\U+2205"), "\xc2\xb0 \xe2\x88\x85");
    // A UTF-16 text is not searched for codes: "\U+" there was already decoded.
    EXPECT_EQ(decoder.decode(51, "\x00\\\x00U\x00+\x00" "1\x00" "2\x00" "3\x00" "4"s), "\\U+1234");
}

// ---------------------------------------------------------------------------
// Versions

TEST(Versions, SortsFilesIntoDrawingsAndReleases)
{
    struct Case {
        std::string first;
        bool dwg;
        bool supported;
        std::string described;
    };
    const Case cases[] = {
        {"AC1015", true, true, "AC1015 (R2000)"},
        {"AC1009", true, true, "AC1009 (R11/R12)"},
        {"AC1013", true, true, "AC1013"},
        {"AC1018", true, false, "AC1018 (R2004)"},
        {"AC1.50\0\0"s, true, false, "AC1.50 (R2.05)"},
        {"AC1099", true, false, "AC1099"},
        {"AC10", false, false, "AC10"},
        {"ac1015", false, false, "ac1015"},
        {"ACAD10", false, false, "ACAD10"},
        {"", false, false, ""},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(looksLikeDwg(c.first), c.dwg) << c.first;
        EXPECT_EQ(isSupportedVersion(c.first), c.supported) << c.first;
        EXPECT_EQ(describeVersion(c.first), c.described) << c.first;
    }
    EXPECT_EQ(supportedRange(), "AC1006 (R10) to AC1015 (R2000)");
}

// ---------------------------------------------------------------------------
// Reading one drawing, with stand-ins for the library's entry points

DWGSessionHeader gSession{};

DWGSessionHeader *refuse(HostSource *, HostOpenParams *) { return nullptr; }
DWGSessionHeader *open(HostSource *, HostOpenParams *) { return &gSession; }
int32_t nothingMore(DWGSessionHeader *) { return 0; }
void shutDown(DWGSessionHeader *) {}

std::vector<uint8_t> bytesOf(const std::string &text) { return {text.begin(), text.end()}; }

TEST(Extract, ARefusalIsExplainedByTheFirstBytes)
{
    const tqhost::EntryPoints refusing{&refuse, &nothingMore, &shutDown};
    const std::pair<std::string, Status> cases[] = {
        {"%PDF-1.7 and more", Status::NotDwg},
        {"", Status::NotDwg},
        {"AC1018 and more", Status::Unsupported},
        {"AC1015 and more", Status::Refused},
    };
    for (const auto &[bytes, status] : cases) {
        const DrawingResult result = readDrawingBytes(bytesOf(bytes), refusing);
        EXPECT_EQ(result.status, status) << bytes;
        EXPECT_EQ(result.firstBytes, bytes.substr(0, 6));
        EXPECT_EQ(result.size, bytes.size());
    }
}

TEST(Extract, ASessionWithoutEndObjectIsIncomplete)
{
    const DrawingResult result = readDrawingBytes(bytesOf("AC1015"), {&open, &nothingMore, &shutDown});
    EXPECT_EQ(result.status, Status::Incomplete);
    EXPECT_FALSE(failureMessage(result).empty());
}

// ---------------------------------------------------------------------------
// Output formats

DrawingResult readDrawingWithTexts()
{
    DrawingResult drawing;
    drawing.firstBytes = "AC1015";
    drawing.codePage = 38;
    drawing.texts = {{0, "\x90\x7d\x96\xca"}, {51, "\x00\xb1"s}, {0, "say \"hi\"\t\x01"}};
    drawing.reports = {"*** WARNING *** OBJCT TYPE[0x1f3] dosen't exist\n"};
    drawing.eventText = "version AC1015\ntext 0 41\nend\n";
    return drawing;
}

TEST(Render, TextLinesDecodedAndPrefixed)
{
    const DrawingResult drawing = readDrawingWithTexts();
    const Rendered plain = render("a.dwg", drawing, {});
    EXPECT_TRUE(plain.read);
    EXPECT_EQ(plain.out, "\xe5\x9b\xb3\xe9\x9d\xa2\n\xc2\xb1\nsay \"hi\"\t\x01\n");
    EXPECT_EQ(plain.err, "a.dwg: *** WARNING *** OBJCT TYPE[0x1f3] dosen't exist\n");

    const Rendered prefixed = render("a.dwg", drawing, {Format::Text, true, true, "CP1252"});
    EXPECT_EQ(prefixed.out, "a.dwg:\xef\xbf\xbd}\xe2\x80\x93\xc3\x8a\na.dwg:\xc2\xb1\na.dwg:say \"hi\"\t\x01\n");
    EXPECT_EQ(prefixed.err, "");  // quiet

    EXPECT_EQ(render("a.dwg", drawing, {Format::Raw, false, false, ""}).out,
              "\x90\x7d\x96\xca\n\x00\xb1\nsay \"hi\"\t\x01\n"s);
    EXPECT_EQ(render("a.dwg", drawing, {Format::Events, true, false, ""}).out,
              "a.dwg:version AC1015\na.dwg:text 0 41\na.dwg:end\n");
}

TEST(Render, JsonLinesPerTextAndPerFile)
{
    const Rendered json = render("dir/\"q\".dwg", readDrawingWithTexts(), {Format::Json, false, false, ""});
    EXPECT_EQ(json.out,
              R"({"file":"dir/\"q\".dwg","index":0,"text":"図面","charset":0,"bytes":"907d96ca"})" "\n"
              R"({"file":"dir/\"q\".dwg","index":1,"text":"±","charset":51,"bytes":"00b1"})" "\n"
              R"({"file":"dir/\"q\".dwg","index":2,"text":"say \"hi\"\u0009\u0001","charset":0,)"
              R"("bytes":"73617920226869220901"})" "\n"
              R"({"file":"dir/\"q\".dwg","version":"AC1015","status":"read","texts":3,)"
              R"("reports":["*** WARNING *** OBJCT TYPE[0x1f3] dosen't exist"]})" "\n");
}

TEST(Render, FailuresGiveOneLineAndAJsonSummary)
{
    DrawingResult refused;
    refused.status = Status::Unsupported;
    refused.firstBytes = "AC1018";
    refused.reports = {"*** ERROR *** x\n"};
    const Rendered text = render("new\xff.dwg", refused, {Format::Text, false, false, ""});
    EXPECT_FALSE(text.read);
    EXPECT_EQ(text.out, "");
    EXPECT_EQ(text.err, "new\xef\xbf\xbd.dwg: *** ERROR *** x\n"
                        "dwgtext: new\xef\xbf\xbd.dwg: DWG version AC1018 (R2004) is not supported "
                        "(supported: AC1006 (R10) to AC1015 (R2000))\n");

    DrawingResult notDwg;
    notDwg.status = Status::NotDwg;
    notDwg.firstBytes = "\x01\x02\x03\x04\x05\x06";
    EXPECT_EQ(render("x", notDwg, {Format::Json, false, false, ""}).out,
              R"({"file":"x","version":null,"status":"not-dwg","texts":0,"reports":[],)"
              R"("error":"not a DWG drawing"})" "\n");
}

// ---------------------------------------------------------------------------
// Several drawings

TEST(Runner, EmitsInInputOrderWhileWorkFinishesOutOfOrder)
{
    for (unsigned jobs : {1u, 3u, 16u}) {
        std::vector<std::size_t> emitted;
        std::vector<std::thread::id> threads;
        std::mutex mutex;
        runInOrder<std::size_t>(
            12, jobs,
            [&](std::size_t i) {
                // Early items take longest, so later ones finish first.
                std::this_thread::sleep_for(std::chrono::milliseconds(12 - i));
                std::lock_guard lock(mutex);
                threads.push_back(std::this_thread::get_id());
                return i * 10;
            },
            [&](std::size_t i, std::size_t &result) {
                EXPECT_EQ(result, i * 10);
                emitted.push_back(i);
            });
        std::vector<std::size_t> expected(12);
        std::iota(expected.begin(), expected.end(), 0);
        EXPECT_EQ(emitted, expected) << jobs;
        std::sort(threads.begin(), threads.end());
        const auto distinct = std::unique(threads.begin(), threads.end()) - threads.begin();
        EXPECT_EQ(distinct > 1, jobs > 1) << jobs;
    }
}

class InputsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root_ = std::filesystem::temp_directory_path() /
                ("dwgtext-inputs-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                 std::to_string(reinterpret_cast<uintptr_t>(this)));
        for (const char *file : {"plans/b.dwg", "plans/sub/a.DWG", "plans/notes.txt", "plans/a.dwg"}) {
            std::filesystem::create_directories((root_ / file).parent_path());
            std::ofstream(root_ / file) << "x";
        }
    }
    void TearDown() override { std::filesystem::remove_all(root_); }

    std::filesystem::path root_;
};

TEST_F(InputsTest, DirectoriesNeedRecursionAndGiveTheirDrawingsSorted)
{
    const std::string plans = (root_ / "plans").string();
    const InputList walked = expandOperands({"-", plans, "missing.dwg"}, true);
    std::vector<std::string> paths;
    for (const Input &input : walked.inputs) {
        paths.push_back(input.path);
        EXPECT_EQ(input.error, "");
    }
    EXPECT_EQ(paths, (std::vector<std::string>{"-", plans + "/a.dwg", plans + "/b.dwg", plans + "/sub/a.DWG",
                                               "missing.dwg"}));
    EXPECT_EQ(walked.inputs[0].name, "(standard input)");
    EXPECT_TRUE(walked.fromDirectory);

    const InputList flat = expandOperands({plans}, false);
    ASSERT_EQ(flat.inputs.size(), 1u);
    EXPECT_NE(flat.inputs[0].error, "");
    EXPECT_FALSE(flat.fromDirectory);
}

TEST(Progress, LineShowsFilesAndRate)
{
    EXPECT_EQ(progressLine(12, 1000, 3'400'000, 1.0), "dwgtext: 12/1000 files, 3.4 MB/s");
    EXPECT_EQ(progressLine(1, 2, 512, 2.0), "dwgtext: 1/2 files, 256.0 B/s");
    EXPECT_EQ(progressLine(0, 2, 0, 0.0), "dwgtext: 0/2 files, 0.0 B/s");
}

}  // namespace
}  // namespace dwgtext
