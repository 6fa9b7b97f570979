// Unit checks of dwgtext's parts that its command-line tests (cli_test.py)
// cannot reach from the outside: option spellings, decoding edge cases, the
// exact output formats and parallel work.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>
#include <tuple>

#include "codepage.h"
#include "extract.h"
#include "options.h"
#include "progress.h"
#include "render.h"
#include "runner.h"
#include "text_output.h"
#include "versions.h"

namespace dwgtext {
namespace {

using namespace std::string_literals;

TEST(Options, CombinedFlagsAttachedValuesAndTheDoubleDash)
{
    const auto parsed = parseOptions({"a.dwg", "-rqH", "--json", "-j3", "-", "--codepage", "dos932", "--", "-r"});
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    const Options &o = parsed.options;
    EXPECT_EQ(o.format, Format::Json);
    EXPECT_TRUE(o.recursive);
    EXPECT_TRUE(o.quiet);
    EXPECT_EQ(o.withFilename, true);
    EXPECT_EQ(o.jobs, 3u);
    EXPECT_EQ(o.codePage, "CP932");
    EXPECT_EQ(o.files, (std::vector<std::string>{"a.dwg", "-", "-r"}));

    for (const auto &args : std::vector<std::vector<std::string_view>>{
             {"--jobs=5", "x"}, {"--jobs", "5", "x"}, {"-rj5", "x"}}) {
        const auto jobs = parseOptions(args);
        EXPECT_EQ(jobs.options.jobs, 5u) << args[0];
        EXPECT_EQ(jobs.options.files, std::vector<std::string>{"x"}) << args[0];
    }
    EXPECT_EQ(parseOptions({"-H", "--no-filename", "a"}).options.withFilename, false);  // the last choice wins
}

TEST(Options, UsageErrors)
{
    const std::vector<std::vector<std::string_view>> wrong = {
        {"--quiet"}, {"-x", "a"}, {"--json", "--events", "a"}, {"--json=yes", "a"},
        {"-j", "0", "a"}, {"-j", "1025", "a"}, {"-j", "4x", "a"}, {"a", "-j"},
    };
    for (const auto &args : wrong)
        EXPECT_FALSE(parseOptions(args).ok()) << args[0];
    EXPECT_TRUE(parseOptions({"--help"}).ok());
    EXPECT_TRUE(parseOptions({"-V"}).ok());
    EXPECT_TRUE(parseOptions({"--raw", "--raw", "a"}).ok());
}

TEST(CodePage, TheHeaderRecordsItOnlyForR13ToR2000)
{
    for (int32_t number = 1; !codePageName(number).empty(); ++number)
        EXPECT_FALSE(iconvNameFor(codePageName(number)).empty()) << number;

    auto header = [](std::string version, uint8_t low, uint8_t high) {
        std::vector<uint8_t> bytes(version.begin(), version.end());
        bytes.resize(0x40);
        bytes[0x13] = low;
        bytes[0x14] = high;
        return bytes;
    };
    EXPECT_EQ(recordedCodePage(header("AC1012", 0x1E, 0x01)), 0x11E);
    EXPECT_EQ(recordedCodePage(header("AC1009", 38, 0)), -1);
    EXPECT_EQ(recordedCodePage(std::vector<uint8_t>{'A', 'C', '1', '0', '1', '5'}), -1);
    for (int32_t page : {0, 300, -1})  // undefined, outside the table, not recorded
        EXPECT_EQ(drawingCodePage(page), "CP1252") << page;
}

TEST(CodePage, UndecodableBytesBecomeReplacementCharacters)
{
    const std::tuple<const char *, std::string, std::string> cases[] = {
        {"CP932", "\x90\x7d\x96", "\xe5\x9b\xb3\xef\xbf\xbd"},  // cut after a lead byte
        {"CP932", "\x85\x40" "A", "\xef\xbf\xbd@A"},            // unassigned pair
        {"UTF-16LE", "A\x00" "B"s, "A\xef\xbf\xbd"},
        {"CP1252", std::string(3000, 'x') + "\x81", std::string(3000, 'x') + "\xef\xbf\xbd"},  // past one chunk
    };
    for (const auto &[page, bytes, utf8] : cases)
        EXPECT_EQ(CodePageDecoder(page).decode(bytes), utf8) << page;
}

TEST(TextOutput, Utf16AndInvalidUtf8)
{
    EXPECT_EQ(utf16beToUtf8("\x4e\x2d"s), "\xe4\xb8\xad");
    EXPECT_EQ(utf16beToUtf8("\xd8\x3d\xde\x00"s), "\xf0\x9f\x98\x80");  // a surrogate pair
    EXPECT_EQ(utf16beToUtf8("\xd8\x3d\x00\x41"s), "\xef\xbf\xbd" "A");  // lone high surrogate
    EXPECT_EQ(utf16beToUtf8("\xde\x00"s), "\xef\xbf\xbd");               // lone low surrogate
    EXPECT_EQ(utf16beToUtf8("\x00\x41\x00"s), "A\xef\xbf\xbd");         // odd byte left over

    const std::pair<std::string, std::string> cases[] = {
        {"plain \xe5\x9b\xb3 \xf0\x9f\x98\x80", "plain \xe5\x9b\xb3 \xf0\x9f\x98\x80"},
        {"\xc0\x80", "\xef\xbf\xbd\xef\xbf\xbd"},                        // overlong
        {"\xed\xa0\x80", "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"},        // a surrogate
        {"\xf4\x90\x80\x80", "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"},  // past U+10FFFF
        {"\xe5\x9b" "A", "\xef\xbf\xbd\xef\xbf\xbd" "A"},                // cut short
    };
    for (const auto &[bytes, utf8] : cases)
        EXPECT_EQ(validUtf8(bytes), utf8) << bytes;
}

TEST(TextOutput, UnicodeEscapesBecomeCharactersOnlyInByteTexts)
{
    const std::pair<std::string, std::string> cases[] = {
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

    // A UTF-16 text is not searched for codes: "\U+" there was already decoded.
    EXPECT_EQ(TextDecoder("CP1252").decode(51, "\x00\\\x00U\x00+\x00" "1\x00" "2\x00" "3\x00" "4"s), "\\U+1234");
}

TEST(Versions, SortsFilesIntoDrawingsAndReleases)
{
    struct Case {
        std::string first;
        bool dwg;
        bool supported;
        std::string described;
    };
    const Case cases[] = {
        {"AC1013", true, true, "AC1013"},
        {"AC1099", true, false, "AC1099"},
        {"AC10", false, false, "AC10"},
        {"ac1015", false, false, "ac1015"},
        {"ACAD10", false, false, "ACAD10"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(looksLikeDwg(c.first), c.dwg) << c.first;
        EXPECT_EQ(isSupportedVersion(c.first), c.supported) << c.first;
        EXPECT_EQ(describeVersion(c.first), c.described) << c.first;
    }
}

DWGSessionHeader gSession{};
DWGSessionHeader *open(HostSource *, HostOpenParams *) { return &gSession; }
int32_t nothingMore(DWGSessionHeader *) { return 0; }
void shutDown(DWGSessionHeader *) {}

TEST(Extract, ASessionWithoutEndObjectIsIncomplete)
{
    const DrawingResult result = readDrawingBytes({'A', 'C', '1', '0', '1', '5'}, {&open, &nothingMore, &shutDown});
    EXPECT_EQ(result.status, Status::Incomplete);
    EXPECT_FALSE(failureMessage(result).empty());
}

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

TEST(Render, TextEventsAndJsonLines)
{
    const DrawingResult drawing = readDrawingWithTexts();
    const Rendered plain = render("a.dwg", drawing, {});
    EXPECT_TRUE(plain.read);
    EXPECT_EQ(plain.out, "\xe5\x9b\xb3\xe9\x9d\xa2\n\xc2\xb1\nsay \"hi\"\t\x01\n");
    EXPECT_EQ(plain.err, "a.dwg: *** WARNING *** OBJCT TYPE[0x1f3] dosen't exist\n");
    EXPECT_EQ(render("a.dwg", drawing, {Format::Events, true, false, ""}).out,
              "a.dwg:version AC1015\na.dwg:text 0 41\na.dwg:end\n");

    const Rendered json = render("dir/\"q\".dwg", drawing, {Format::Json, false, false, ""});
    EXPECT_EQ(json.out,
              R"({"file":"dir/\"q\".dwg","index":0,"text":"図面","charset":0,"bytes":"907d96ca"})" "\n"
              R"({"file":"dir/\"q\".dwg","index":1,"text":"±","charset":51,"bytes":"00b1"})" "\n"
              R"({"file":"dir/\"q\".dwg","index":2,"text":"say \"hi\"\u0009\u0001","charset":0,)"
              R"("bytes":"73617920226869220901"})" "\n"
              R"({"file":"dir/\"q\".dwg","version":"AC1015","status":"read","texts":3,)"
              R"("reports":["*** WARNING *** OBJCT TYPE[0x1f3] dosen't exist"]})" "\n");
}

TEST(Render, AFailureIsOneLineNamingTheFileInUtf8)
{
    DrawingResult refused;
    refused.status = Status::Unsupported;
    refused.firstBytes = "AC1018";
    const Rendered text = render("new\xff.dwg", refused, {Format::Text, false, false, ""});
    EXPECT_FALSE(text.read);
    EXPECT_EQ(text.out, "");
    EXPECT_EQ(text.err, "dwgtext: new\xef\xbf\xbd.dwg: DWG version AC1018 (R2004) is not supported "
                        "(supported: AC1006 (R10) to AC1015 (R2000))\n");
}

TEST(Runner, EmitsInInputOrderWhileWorkFinishesOutOfOrder)
{
    for (unsigned jobs : {1u, 3u}) {
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
        EXPECT_EQ(emitted, (std::vector<std::size_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11})) << jobs;
        std::sort(threads.begin(), threads.end());
        EXPECT_EQ(std::unique(threads.begin(), threads.end()) - threads.begin() > 1, jobs > 1) << jobs;
    }
}

TEST(Progress, LineShowsFilesAndRate)
{
    EXPECT_EQ(progressLine(12, 1000, 3'400'000, 1.0), "dwgtext: 12/1000 files, 3.4 MB/s");
    EXPECT_EQ(progressLine(1, 2, 512, 2.0), "dwgtext: 1/2 files, 256.0 B/s");
    EXPECT_EQ(progressLine(0, 2, 0, 0.0), "dwgtext: 0/2 files, 0.0 B/s");
}

}  // namespace
}  // namespace dwgtext
