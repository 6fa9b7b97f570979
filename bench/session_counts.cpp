#include "session_counts.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>

#include "host_library.h"
#include "reading.h"

namespace dwgbench {

namespace {

std::string problemOf(const tqhost::SessionResult &result)
{
    if (result.outcome.refused) {
        return "refused";
    }
    if (!result.outcome.endSeen) {
        return "no end object";
    }
    if (!result.anomalies.empty()) {
        return "host misused: " + result.anomalies.front();
    }
    if (!result.outcome.allBlocksReturned()) {
        return std::to_string(result.outcome.blocksLeft) + " blocks left";
    }
    return {};
}

std::string perObject(uint64_t count, uint64_t objects)
{
    if (objects == 0) {
        return "-";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", static_cast<double>(count) / static_cast<double>(objects));
    return text;
}

// Left-aligned drawing name (negative width), then right-aligned numbers.
constexpr int kWidths[] = {-26, 9, 7, 6, 9, 9, 9, 9, 8, 8, 8, 8, 7, 8};
constexpr std::size_t kColumns = std::size(kWidths);

std::string row(const std::array<std::string, kColumns> &cells)
{
    std::string text;
    for (std::size_t i = 0; i < kColumns; ++i) {
        const auto width = static_cast<std::size_t>(std::abs(kWidths[i]));
        const std::string fill(cells[i].size() < width ? width - cells[i].size() : 0, ' ');
        // Appended piece by piece: GCC 12 sees a false overlap in
        // const char * + string when optimising (-Wrestrict).
        if (i != 0)
            text += ' ';
        text += kWidths[i] < 0 ? cells[i] + fill : fill + cells[i];
    }
    return text;
}

// Counts texts only: the time measured is the library's, not the host's.
class DroppingListener final : public tqhost::SessionListener {
public:
    void report(std::string_view) override {}
    bool text(int32_t, std::string_view) override { return true; }
};

}  // namespace

LeanOutcome runLeanSession(const std::vector<uint8_t> &bytes, bool sink)
{
    if (sink) {
        LeanOutcome outcome;
        dwgtext::TextReader reader(bytes);
        while (reader.next() != nullptr)
            ++outcome.texts;
        outcome.endSeen = reader.facts().status == dwgtext::Status::Read;
        return outcome;
    }
    dwgfiles::MemoryBytes source(bytes);
    DroppingListener listener;
    return tqhost::runLeanSession(source, listener, tqhost::libraryEntryPoints());
}

SessionCounts countSession(const BenchDrawing &drawing)
{
    const tqhost::SessionResult result = tqhost::runLibrarySession(drawing.bytes);
    SessionCounts counts;
    counts.texts = static_cast<uint64_t>(std::count_if(result.events.begin(), result.events.end(),
        [](const tqhost::Event &event) { return event.type == tqhost::Event::Type::Text; }));
    counts.reads = result.source.reads;
    counts.seeks = result.source.seeks;
    counts.tells = result.source.tells;
    counts.blocks = result.blocks.requests;
    counts.peakBlocks = result.blocks.peakInUse;
    counts.peakBytes = result.blocks.peakBytesInUse;
    counts.problem = problemOf(result);
    return counts;
}

std::string countsHeader()
{
    return row({"drawing", "bytes", "objects", "texts", "reads", "seeks", "tells", "blocks", "reads/o", "seeks/o",
                "tells/o", "blocks/o", "peak-bl", "peak-B"});
}

std::string countsLine(const BenchDrawing &drawing, const SessionCounts &counts)
{
    const uint64_t objects = drawing.objects;
    std::string text = row({drawing.name, std::to_string(drawing.bytes.size()),
                            objects == 0 ? "-" : std::to_string(objects), std::to_string(counts.texts),
                            std::to_string(counts.reads), std::to_string(counts.seeks), std::to_string(counts.tells),
                            std::to_string(counts.blocks), perObject(counts.reads, objects),
                            perObject(counts.seeks, objects), perObject(counts.tells, objects),
                            perObject(counts.blocks, objects), std::to_string(counts.peakBlocks),
                            std::to_string(counts.peakBytes)});
    if (!counts.problem.empty()) {
        text += "  ! " + counts.problem;
    }
    return text;
}

}  // namespace dwgbench
