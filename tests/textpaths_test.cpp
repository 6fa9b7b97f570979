// The library's two adapters give the same reading: the host's protocol of
// output objects, and the reader that libdwgtext reads with. For every
// composed drawing and every real one, whole and cut at many lengths, both
// must give the same texts, reports and end; and the reader with every kind
// the same texts of the classic kinds.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "hardening/composed_drawings.h"
#include "drawingfiles.h"
#include "host_lean.h"
#include "host_library.h"
#include "core/messages.h"
#include "reading.h"
#include "text_output.h"

namespace {

namespace fs = std::filesystem;

struct Reading {
    std::vector<std::string> events;  // texts (charset, bytes) and reports, in order
    bool started = false;
    bool endSeen = false;

    bool operator==(const Reading &) const = default;
};

class Recorder final : public tqhost::ReportSink {
public:
    explicit Recorder(Reading &reading) : reading_(reading) {}
    void report(std::string_view text) override { reading_.events.push_back(reportEvent(text)); }
    static std::string reportEvent(std::string_view text)
    {
        return "report " + dwgtext::withoutTrailingNewlines(text);
    }

private:
    Reading &reading_;
};

std::string textEvent(int32_t charset, const std::string &bytes)
{
    return "text " + std::to_string(charset) + " " + bytes;
}

Reading readOnTheHostsProtocol(const std::vector<uint8_t> &bytes)
{
    Reading reading;
    Recorder recorder(reading);
    dwgfiles::MemoryBytes source(bytes);
    tqhost::LeanSession session(source, recorder, tqhost::libraryEntryPoints());
    reading.started = session.start();
    if (reading.started) {
        while (const tqhost::LeanText *text = session.next()) {
            reading.events.push_back(textEvent(text->charset, text->bytes));
        }
        reading.endSeen = session.endSeen();
    }
    return reading;
}

// Only our own reader reads the document properties, and says when it
// cannot: the host's protocol has no such reports.
bool aboutProperties(std::string_view report)
{
    for (std::string_view message : {msg::kPropertiesCut, msg::kPropertiesCapped}) {
        if (report.starts_with(message.substr(0, message.find_first_of("[%")))) {
            return true;
        }
    }
    return false;
}

// The reports made while a text was looked for come before it. The host's
// protocol gives the classic kinds only; so does the reader here.
Reading readWithTheReader(const std::vector<uint8_t> &bytes)
{
    Reading reading;
    dwgtext::TextReader reader(bytes);
    reader.keepClassicKinds();
    std::size_t reported = 0;
    const auto takeReports = [&] {
        for (; reported < reader.reports().size(); ++reported) {
            if (!aboutProperties(reader.reports()[reported])) {
                reading.events.push_back(Recorder::reportEvent(reader.reports()[reported]));
            }
        }
    };
    reading.started = reader.facts().status == dwgtext::Status::Reading;
    while (const dwgtext::FoundText *text = reader.next()) {
        takeReports();
        reading.events.push_back(textEvent(text->charset, text->bytes));
    }
    takeReports();
    reading.endSeen = reading.started && reader.facts().ended;
    return reading;
}

// The texts of the classic kinds, read with every kind: the others come in
// between, and change nothing of these, whole or cut.
std::vector<std::string> classicTextsOfEveryKind(const std::vector<uint8_t> &bytes)
{
    std::vector<std::string> texts;
    dwgtext::TextReader reader(bytes);
    while (const dwgtext::FoundText *text = reader.next()) {
        if (isClassicKind(text->kind)) {
            texts.push_back(textEvent(text->charset, text->bytes));
        }
    }
    return texts;
}

std::vector<std::string> textsOf(const Reading &reading)
{
    std::vector<std::string> texts;
    std::copy_if(reading.events.begin(), reading.events.end(), std::back_inserter(texts),
                 [](const std::string &event) { return event.starts_with("text "); });
    return texts;
}

// The whole drawing and the drawing cut at `cuts` lengths spread over it.
void expectSameReadings(const std::string &name, const std::vector<uint8_t> &whole, size_t cuts)
{
    for (size_t step = 0; step <= cuts; ++step) {
        const size_t length = whole.size() - whole.size() * step / (cuts + 1);
        const std::vector<uint8_t> bytes(whole.begin(), whole.begin() + length);
        const Reading objects = readOnTheHostsProtocol(bytes);
        const Reading reader = readWithTheReader(bytes);
        ASSERT_EQ(objects, reader) << name << " at " << length << " of " << whole.size() << " bytes";
        ASSERT_EQ(classicTextsOfEveryKind(bytes), textsOf(objects)) << name << " at " << length << " with every kind";
        if (step == 0) {
            EXPECT_TRUE(objects.endSeen) << name;
        }
    }
}

TEST(TextPaths, ComposedDrawingsReadTheSameEitherWay)
{
    for (const hardening::NamedDrawing &drawing : hardening::composedDrawings()) {
        expectSameReadings(drawing.name, drawing.bytes, 200);
    }
}

TEST(TextPaths, RealDrawingsReadTheSameEitherWay)
{
    size_t drawings = 0;
    for (const char *corpus : {TQDUDADE_CORPUS_DIR, TQDUDADE_CORPUS_R2004_DIR}) {
        std::error_code error;
        for (const fs::directory_entry &entry : fs::directory_iterator(corpus, error)) {
            if (entry.path().extension() != ".dwg") {
                continue;
            }
            std::vector<uint8_t> bytes;
            std::string failure;
            ASSERT_TRUE(dwgfiles::readWholeFile(entry.path().string(), bytes, failure)) << failure;
            expectSameReadings(entry.path().filename().string(), bytes, 50);
            ++drawings;
        }
    }
    if (drawings == 0) {
        GTEST_SKIP() << "no drawings in " << TQDUDADE_CORPUS_DIR << " or " << TQDUDADE_CORPUS_R2004_DIR;
    }
}

}  // namespace
