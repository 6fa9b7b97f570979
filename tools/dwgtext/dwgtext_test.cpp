// Unit checks of dwgtext's parts that its command-line tests (cli_test.py)
// cannot reach from the outside: option spellings, decoding edge cases, the
// exact output formats and parallel work.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>
#include <tuple>

#include "codepage.h"
#include "extract.h"
#include "formatting.h"
#include "hardening/composed_drawings.h"
#include "host_library.h"
#include "mappedfiles.h"
#include "options.h"
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
    EXPECT_EQ(std::tie(o.format, o.recursive, o.reports, o.withFilename, o.jobs, o.codePage, o.files),
              std::tuple(Format::Json, true, Reports::None, std::optional<bool>(true), 3u, "CP932"s,
                         std::vector<std::string>{"a.dwg", "-", "-r"}));

    for (const auto &args : std::vector<std::vector<std::string_view>>{
             {"--jobs=5", "x"}, {"--jobs", "5", "x"}, {"-rj5", "x"}}) {
        const auto jobs = parseOptions(args);
        EXPECT_EQ(jobs.options.jobs, 5u) << args[0];
        EXPECT_EQ(jobs.options.files, std::vector<std::string>{"x"}) << args[0];
    }
    EXPECT_EQ(parseOptions({"-H", "--no-filename", "a"}).options.withFilename, false);  // the last choice wins
}

TEST(CodePage, EveryRecordedNumberHasAConverterAndOthersTheDefault)
{
    for (int32_t number = 1; !codePageName(number).empty(); ++number)
        EXPECT_FALSE(iconvNameFor(codePageName(number)).empty()) << number;
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
    EXPECT_EQ(utf16beToUtf8("\0a\0b\0c\0d\0e\0f\0g\0h\x4e\x2d\0i\0j\0k\0l\0\x80\0m"s),
              "abcdefgh\xe4\xb8\xadijkl\xc2\x80m");  // four units at a time up to the first that is not ASCII

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

// Real-looking texts of R13 to R2000 drawings, as the library delivers them
// (a paragraph at a time, its leading codes already gone).
TEST(Formatting, MTextCodesRenderAsAReaderSeesThem)
{
    const std::pair<std::string, std::string> cases[] = {
        // Font, height, width, colour, tracking, oblique, alignment,
        // paragraph and line codes vanish with the braces around them.
        {"{\\H0.5x;Standard text}", "Standard text"},
        {"}", ""},
        {"{\\fArial|b1|i0|c0|p34;Title} {\\C1;red} {\\c16711680;blue}", "Title red blue"},
        {"\\W0.8;\\T1.1;\\Q15;\\A1;\\pxqc;narrow", "narrow"},
        {"\\LUnderlined\\l, \\Oover\\o, \\Kstruck\\k", "Underlined, over, struck"},
        // Stacked fractions, with either separator, one side possibly empty.
        // After a digit a space keeps the fraction apart from the number.
        {"4'-0{\\H1x;\\S1#4;}\"", "4'-0 1/4\""},
        {"\\S1/2; \\S3^8; m\\S2^; 7 \\S1/8;", "1/2 3/8 m2 7 1/8"},
        // Breaks, the no-break space and escaped characters.
        {"first\\Psecond\\Xthird", "first second third"},
        {"10\\~mm", "10\u00A0mm"},
        {"\\\\server\\{x\\}", "\\server{x}"},
        // Not codes: an unknown letter, a value without its ';'.
        {"C:\\Drawings\\plan", "C:\\Drawings\\plan"},
        {"\\H2.5 no end", "\\H2.5 no end"},
    };
    for (const auto &[text, line] : cases)
        EXPECT_EQ(singleLine(renderCodes(text, {})), line) << text;
}

TEST(Formatting, PercentCodesAndUnicodeEscapesInEveryRelease)
{
    const std::pair<std::string, std::string> cases[] = {
        {"%%c50 %%d %%p0.5 100%%%", "\u00D850 \u00B0 \u00B10.5 100%"},
        {"%%uTITLE%%u %%oover%%O %%kstruck", "TITLE over struck"},
        {"50%% %%x %", "50%% %%x %"},
        {"\\U+22052.3794", "\u22052.3794"},  // only four digits belong to the code
        {"\\U+D83D\\U+DE00", "\U0001F600"},   // a surrogate pair
        {"\\U+D83Dx \\U+DE00", "\uFFFDx \uFFFD"},
        {"\\U+12G4 \\u+0041 \\M+1907D", "\\U+12G4 \\u+0041 \\M+1907D"},
    };
    for (const auto &[text, line] : cases) {
        EXPECT_EQ(renderCodes(text, {true, true}), line) << text;
        EXPECT_EQ(renderCodes(text, {true, false}), line) << text;
    }
    // No MTEXT before R13: braces and backslashes are text there.
    EXPECT_EQ(renderCodes("{\\H2;x}\\P\\\\U+0041", {true, false}), "{\\H2;x}\\P\\A");
    // A UTF-16 text has had its "\U+" codes decoded by the library already.
    EXPECT_EQ(TextDecoder("CP1252", true).plainText(51, "\x00\\\x00U\x00+\x00" "1\x00" "2\x00" "3\x00" "4"s),
              "\\U+1234");
}

// A tolerance frame: symbols of the GD&T font, cells and rows, and the
// codes of any text; a letter without a symbol keeps its letter.
TEST(Formatting, ToleranceFramesReadAsSymbolsAndCells)
{
    EXPECT_EQ(renderTolerance("{\\Fgdt;j}%%v{\\Fgdt;n}0.05{\\Fgdt;m}%%vA%%v%%v^J{\\fgdt;u}%%v0.1%%d{\\Fgdt;q}", {}),
              "\u2316 | \u23000.05\u24C2 | A / \u23E4 | 0.1\u00B0q");
    // Empty cells and rows, as drawings keep them, and the NUL that ends it.
    EXPECT_EQ(renderTolerance("{\\Fgdt;r}%%v1%%v%%v\n%%v\n10\0x"s, {}), "\u25CE | 1 / 10");
}

// A text of printable ASCII without codes skips decoding, but only where
// its bytes decode to themselves: every byte value, doubled and before a
// 'P' ("%%P", "\\\\P"), anywhere in texts of up to 24 bytes, comes out as
// decoded.
TEST(TextOutput, OnlyTextsThatDecodeToThemselvesSkipDecoding)
{
    TextDecoder decoder("CP1252", true);
    CodePageDecoder codePage("CP1252");
    for (int byte = 0; byte < 256; ++byte) {
        const std::string code = std::string(2, static_cast<char>(byte)) + "P";
        for (std::size_t length = code.size(); length <= 24; ++length) {
            for (std::size_t at = 0; at + code.size() <= length; ++at) {
                std::string text(length, 'x');
                text.replace(at, code.size(), code);
                ASSERT_EQ(decoder.plainText(0, text), singleLine(renderCodes(codePage.decode(text), {})))
                    << byte << " at " << at << " of " << length;
            }
        }
    }
    EXPECT_EQ(decoder.plainText(51, "AB"s), "\u4142");
    EXPECT_EQ(TextDecoder("UTF-16LE", true).plainText(0, "AB"s), "\u4241");
}

// A drawing of every version cut at every length: the status and the
// message say it. The one cut that cannot show is an R11 or R12 drawing cut
// right before the address copy that ends it (its opening sentinel starts
// 2A 06 2C 44): a file without the copy looks the same.
TEST(Extract, EveryCutOfADrawingIsNamedIncomplete)
{
    const std::vector<uint8_t> copyOpening = {0x2A, 0x06, 0x2C, 0x44};
    for (const hardening::NamedDrawing &drawing : hardening::composedDrawings()) {
        SCOPED_TRACE(drawing.name);
        ASSERT_EQ(readDrawingBytes(drawing.bytes, tqhost::libraryEntryPoints()).status, Status::Read);
        for (std::size_t length = 6; length < drawing.bytes.size(); ++length) {
            if ((drawing.name == "r11" || drawing.name == "r12") && length + copyOpening.size() <= drawing.bytes.size() &&
                std::equal(copyOpening.begin(), copyOpening.end(), drawing.bytes.begin() + length)) {
                continue;
            }
            const std::vector<uint8_t> cut(drawing.bytes.begin(), drawing.bytes.begin() + length);
            const DrawingResult result = readDrawingBytes(cut, tqhost::libraryEntryPoints());
            ASSERT_EQ(result.status, Status::Incomplete) << length;
            ASSERT_EQ(failureMessage(result), "truncated: the drawing records parts past the end of the file, which has " +
                                                  std::to_string(length) + " bytes");
        }
    }
}

// Keeps what streamDrawing hands over; stops after `limit` texts.
class KeptTexts final : public TextReceiver {
public:
    explicit KeptTexts(std::size_t limit = SIZE_MAX) : limit_(limit) {}
    bool text(int32_t charset, std::string_view bytes, std::string_view plain, std::string_view) override
    {
        texts.push_back({charset, std::string(bytes), {}});
        lines.emplace_back(plain);
        return texts.size() < limit_;
    }

    std::vector<DrawingText> texts;
    std::vector<std::string> lines;

private:
    std::size_t limit_;
};

std::string writtenFile(const std::vector<uint8_t> &bytes)
{
    const std::string path = testing::TempDir() + "dwgtext_stream.dwg";
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char *>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
    return path;
}

// The host's protocol gives the classic kinds only.
const ReadOptions kClassicKinds{false, {}, DWGTEXT_STREAM_LIMIT, true, {}};

void expectSameDrawing(const DrawingResult &streamed, const KeptTexts &kept, const DrawingResult &recorded)
{
    EXPECT_EQ(streamed.status, recorded.status);
    EXPECT_EQ(streamed.firstBytes, recorded.firstBytes);
    EXPECT_EQ(failureMessage(streamed), failureMessage(recorded));  // the sizes, when cut
    EXPECT_EQ(streamed.size, recorded.size);
    std::vector<std::string> reports;  // libdwgtext hands them on as lines
    for (const std::string &report : recorded.reports)
        reports.push_back(withoutTrailingNewlines(report));
    std::vector<std::string> streamedReports;  // the host's protocol reads no properties
    for (const std::string &report : streamed.reports)
        if (!report.starts_with("*** WARNING *** The properties"))
            streamedReports.push_back(report);
    EXPECT_EQ(streamedReports, reports);
    ASSERT_EQ(kept.texts.size(), recorded.texts.size());
    TextDecoder decoder(drawingCodePage(recorded.codePage), mayHoldMText(recorded.firstBytes));
    for (std::size_t i = 0; i < kept.texts.size(); ++i) {
        EXPECT_EQ(kept.texts[i].charset, recorded.texts[i].charset) << i;
        EXPECT_EQ(kept.texts[i].bytes, recorded.texts[i].bytes) << i;
        EXPECT_EQ(kept.lines[i], decoder.plainText(recorded.texts[i].charset, recorded.texts[i].bytes)) << i;
    }
}

// libdwgtext reading a file where the library asks gives what the recording
// host gives over the whole file in memory: for drawings of every version,
// whole and cut anywhere.
TEST(Extract, StreamingAFileGivesWhatTheRecordingHostGives)
{
    for (const hardening::NamedDrawing &drawing : hardening::composedDrawings()) {
        for (std::size_t length = drawing.bytes.size(); length >= 6; length -= std::min<std::size_t>(length, 97)) {
            SCOPED_TRACE(drawing.name + " cut at " + std::to_string(length));
            const std::vector<uint8_t> bytes(drawing.bytes.begin(), drawing.bytes.begin() + length);
            KeptTexts kept;
            const DrawingResult streamed = streamDrawing(writtenFile(bytes), kClassicKinds, kept);
            expectSameDrawing(streamed, kept, readDrawingBytes(bytes, tqhost::libraryEntryPoints()));
        }
    }
}

// A receiver that can take no more stops the session at once; the objects
// the library made but did not deliver are freed (the sanitizer build
// checks).
TEST(Extract, AReceiverThatStopsEndsTheSessionEarly)
{
    const hardening::NamedDrawing drawing = hardening::composedDrawings().back();
    ASSERT_GT(readDrawingBytes(drawing.bytes, tqhost::libraryEntryPoints()).texts.size(), 1u);
    KeptTexts kept(1);
    const DrawingResult streamed = streamDrawing(writtenFile(drawing.bytes), {}, kept);
    EXPECT_EQ(kept.texts.size(), 1u);
    EXPECT_EQ(streamed.status, Status::Incomplete);
}

#ifndef _WIN32
// dwgtext reads files mapped into memory, under a guard for SIGBUS. What
// it reads so is what the recording host gives; a SIGBUS that is no read
// of a mapped file still ends the process.
TEST(Extract, AMappedFileGivesWhatTheRecordingHostGives)
{
    ASSERT_TRUE(dwgfiles::guardMappedFiles());
    EXPECT_EXIT(std::raise(SIGBUS), testing::KilledBySignal(SIGBUS), "");
    for (const hardening::NamedDrawing &drawing : hardening::composedDrawings()) {
        SCOPED_TRACE(drawing.name);
        KeptTexts kept;
        const DrawingResult streamed = streamDrawing(writtenFile(drawing.bytes), kClassicKinds, kept);
        expectSameDrawing(streamed, kept, readDrawingBytes(drawing.bytes, tqhost::libraryEntryPoints()));
    }
}

// A file that another program cuts short while it is mapped does not end
// the process: the reading ends as that of a cut drawing, and says why.
TEST(Extract, AFileCutWhileMappedIsNamedIncomplete)
{
#ifdef DWGTEXT_TEST_EMULATED
    GTEST_SKIP() << "a user-mode emulator does not let the guard replace a page";
#endif
    ASSERT_TRUE(dwgfiles::guardMappedFiles());
    const hardening::NamedDrawing drawing = hardening::composedDrawings()[6];  // R2000: read from the file to its end
    ASSERT_EQ(drawing.name, "r2000");
    const std::string path = writtenFile(drawing.bytes);
    struct CutAtFirstText final : TextReceiver {
        std::string path;
        bool text(int32_t, std::string_view, std::string_view, std::string_view) override
        {
            std::filesystem::resize_file(path, 0);
            return true;
        }
    } cutter;
    cutter.path = path;
    const DrawingResult cut = streamDrawing(path, {}, cutter);
    EXPECT_EQ(cut.status, Status::Incomplete);
    EXPECT_EQ(failureMessage(cut), "truncated while it was read: the file no longer has its " +
                                       std::to_string(drawing.bytes.size()) + " bytes");
}
#endif

RenderSettings settings(Format format, bool withFilename = false, Reports reports = Reports::Summary)
{
    return {format, withFilename, reports, ""};
}

DrawingResult readDrawingWithTexts()
{
    DrawingResult drawing;
    drawing.firstBytes = "AC1015";
    drawing.codePage = 38;
    drawing.texts = {
        {0, "\x90\x7d\x96\xca", "TEXT"}, {51, "\x00\xb1"s, "TOLERANCE"}, {0, "say \"hi\"\t\x01\0"s, "MTEXT"}};
    drawing.reports = {"*** WARNING *** OBJCT TYPE[0x1f3] dosen't exist\n", "*** ERROR *** cut\r\nshort\n",
                       "*** WARNING *** OBJCT TYPE[0x1f3] dosen't exist\n"};
    drawing.eventText = "version AC1015\ntext 0 41\nend\n";
    return drawing;
}

TEST(Render, TextEventsAndJsonLines)
{
    DrawingResult drawing = readDrawingWithTexts();
    drawing.properties = {{"title", "Plan \"A\"", false}, {"editingTime", "90", false}, {"Sheet", "2", true}};
    const Rendered plain = render("a.dwg", drawing, {});
    EXPECT_TRUE(plain.read);
    EXPECT_EQ(plain.out, "\xe5\x9b\xb3\xe9\x9d\xa2\n\xc2\xb1\nsay \"hi\"\t \n");
    EXPECT_EQ(render("a.dwg", drawing, settings(Format::Raw)).out, "\x90\x7d\x96\xca\n\x00\xb1\nsay \"hi\"\t\x01\0\n"s);
    EXPECT_EQ(render("a.dwg", drawing, settings(Format::Events, true)).out,
              "a.dwg:version AC1015\na.dwg:text 0 41\na.dwg:end\n");

    const Rendered json = render("dir/\"q\".dwg", drawing, settings(Format::Json));
    EXPECT_EQ(json.out,
              R"({"file":"dir/\"q\".dwg","index":0,"text":"図面","charset":0,"bytes":"907d96ca","kind":"TEXT"})" "\n"
              R"({"file":"dir/\"q\".dwg","index":1,"text":"±","charset":51,"bytes":"00b1","kind":"TOLERANCE"})" "\n"
              R"({"file":"dir/\"q\".dwg","index":2,"text":"say \"hi\"\u0009 ","charset":0,)"
              R"("bytes":"7361792022686922090100","kind":"MTEXT"})" "\n"
              R"({"file":"dir/\"q\".dwg","version":"AC1015","status":"read","texts":3,)"
              R"("reports":[{"report":"*** WARNING *** OBJCT TYPE[0x1f3] dosen't exist","count":2,"object_type":499},)"
              R"({"report":"*** ERROR *** cut\u000d\nshort","count":1}],)"
              R"("properties":{"title":"Plan \"A\"","editingTime":90,"custom":{"Sheet":"2"}}})" "\n");
}

// JSON keeps a file name's bytes as Python's surrogateescape would, the rule
// of the batch's rows: UTF-8 as it is, every other byte \udcXX. Plain
// output and messages show U+FFFD instead.
TEST(Render, JsonFileNamesKeepTheirBytes)
{
    DrawingResult drawing = readDrawingWithTexts();
    drawing.reports.clear();
    // Not UTF-8: 0xff 0xfe, Latin-1 0xe9, an encoded surrogate, a sequence
    // cut short before a valid one; UTF-8: é, 図, and a tab.
    const std::string name = "\xff\xfe/caf\xe9-caf\xc3\xa9-\xed\xa0\x80-\xe2\x82\xe2\x82\xac-\xe5\x9b\xb3\t.dwg";
    const std::string escaped =
        R"(\udcff\udcfe/caf\udce9-café-\udced\udca0\udc80-\udce2\udc82€-図\u0009.dwg)";
    const Rendered json = render(name, drawing, settings(Format::Json));
    EXPECT_TRUE(json.out.starts_with(R"({"file":")" + escaped + R"(","index":0,)")) << json.out;
    EXPECT_NE(json.out.find(R"({"file":")" + escaped + R"(","version":"AC1015")"), std::string::npos) << json.out;

    const std::string shown = "\xef\xbf\xbd\xef\xbf\xbd/caf\xef\xbf\xbd-caf\xc3\xa9-\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd-"
                              "\xef\xbf\xbd\xef\xbf\xbd\xe2\x82\xac-\xe5\x9b\xb3\t.dwg";  // a TAB stays
    EXPECT_TRUE(render(name, drawing, settings(Format::Text, true)).out.starts_with(shown + ":")) << shown;
    drawing.status = Status::Incomplete;
    drawing.failure = "truncated: cut";
    EXPECT_EQ(render(name, drawing, settings(Format::Json)).err, "dwgtext: " + shown + ": truncated: cut\n");
}

// Only the library's report of an unknown object type gives a number, read
// from the text the library wrote, which stays as it is.
TEST(Render, JsonReportsGiveTheUnknownObjectTypeAsANumber)
{
    DrawingResult drawing;
    drawing.firstBytes = "AC1015";
    drawing.reports = {"*** WARNING *** OBJCT TYPE[0x1f4] dosen't exist\n",
                       "*** WARNING *** OBJCT TYPE[0x4A] dosen't exist\n",
                       "*** WARNING *** OBJCT TYPE[0x] dosen't exist\n",
                       "*** WARNING *** OBJCT TYPE[0x-1] dosen't exist\n",
                       "*** WARNING *** The entity type[0x10] dosen't exist\n",
                       "*** WARNING *** Illigal OBJCT size[0x20]\n"};
    const std::string out = render("a.dwg", drawing, settings(Format::Json)).out;
    EXPECT_NE(out.find(R"({"report":"*** WARNING *** OBJCT TYPE[0x1f4] dosen't exist","count":1,"object_type":500},)"
                       R"({"report":"*** WARNING *** OBJCT TYPE[0x4A] dosen't exist","count":1,"object_type":74},)"
                       R"({"report":"*** WARNING *** OBJCT TYPE[0x] dosen't exist","count":1},)"
                       R"({"report":"*** WARNING *** OBJCT TYPE[0x-1] dosen't exist","count":1},)"
                       R"({"report":"*** WARNING *** The entity type[0x10] dosen't exist","count":1},)"
                       R"({"report":"*** WARNING *** Illigal OBJCT size[0x20]","count":1}])"),
              std::string::npos)
        << out;
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
                return true;
            });
        EXPECT_EQ(emitted, (std::vector<std::size_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11})) << jobs;
        std::sort(threads.begin(), threads.end());
        EXPECT_EQ(std::unique(threads.begin(), threads.end()) - threads.begin() > 1, jobs > 1) << jobs;
    }
}

}  // namespace
}  // namespace dwgtext
