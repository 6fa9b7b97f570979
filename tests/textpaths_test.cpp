// The two ways out of the library give the same reading: the host's
// protocol of output objects, and the text sink that libdwgtext reads
// through. For every composed drawing and every real one, whole and cut at
// many lengths, both must give the same texts, reports and end.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "hardening/composed_drawings.h"
#include "host_files.h"
#include "host_lean.h"
#include "host_library.h"

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
    void report(std::string_view text) override { reading_.events.push_back("report " + std::string(text)); }

private:
    Reading &reading_;
};

Reading readThrough(const std::vector<uint8_t> &bytes, const tqhost::LibraryPath &path)
{
    Reading reading;
    Recorder recorder(reading);
    tqhost::MemoryBytes source(bytes);
    tqhost::LeanSession session(source, recorder, path);
    reading.started = session.start();
    if (reading.started) {
        while (const tqhost::LeanText *text = session.next()) {
            reading.events.push_back("text " + std::to_string(text->charset) + " " + text->bytes);
        }
        reading.endSeen = session.endSeen();
    }
    return reading;
}

// The whole drawing and the drawing cut at `cuts` lengths spread over it.
void expectSameReadings(const std::string &name, const std::vector<uint8_t> &whole, size_t cuts)
{
    for (size_t step = 0; step <= cuts; ++step) {
        const size_t length = whole.size() - whole.size() * step / (cuts + 1);
        const std::vector<uint8_t> bytes(whole.begin(), whole.begin() + length);
        const Reading objects = readThrough(bytes, tqhost::libraryEntryPoints());
        const Reading sink = readThrough(bytes, tqhost::librarySinkEntryPoints());
        ASSERT_EQ(objects, sink) << name << " at " << length << " of " << whole.size() << " bytes";
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
            ASSERT_TRUE(tqhost::readWholeFile(entry.path().string(), bytes, failure)) << failure;
            expectSameReadings(entry.path().filename().string(), bytes, 50);
            ++drawings;
        }
    }
    if (drawings == 0) {
        GTEST_SKIP() << "no drawings in " << TQDUDADE_CORPUS_DIR << " or " << TQDUDADE_CORPUS_R2004_DIR;
    }
}

}  // namespace
