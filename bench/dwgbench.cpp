// dwgbench: whole sessions over composed and real drawings.
//
//   dwgbench [benchmark flags]   timed: bytes and texts per second on the
//                                lean host, through output objects and (NAME/sink)
//                                through the text sink, with the counts beside them
//   dwgbench --counts            the counts alone, one plain line per drawing
//
// The real drawings are the *.dwg files of the corpus folders beside the
// checkout, when they are there. "lz77/page" times the R2004 page
// decompression alone, in bytes produced per second, on a page of
// 0x7400 bytes made of short copies with a literal each.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <exception>
#include <string_view>
#include <vector>

#include "bench_drawings.h"
#include "r2004/lz77.h"
#include "session_counts.h"

namespace {

using dwgbench::BenchDrawing;
using dwgbench::SessionCounts;

std::vector<BenchDrawing> allDrawings()
{
    std::vector<BenchDrawing> drawings = dwgbench::composedDrawings();
    for (const char *corpus : {TQDUDADE_CORPUS_DIR, TQDUDADE_CORPUS_R2004_DIR}) {
        for (BenchDrawing &drawing : dwgbench::corpusDrawings(corpus)) {
            drawings.push_back(std::move(drawing));
        }
    }
    return drawings;
}

// A first run of 32 literals, then commands 0xF1 0x02 (14 bytes from 9
// back, then one literal) up to a full page, then the end command.
std::vector<uint8_t> copyHeavyPage()
{
    constexpr uint32_t kPage = 0x7400;
    std::vector<uint8_t> stream = {32 + 17};
    for (uint8_t i = 0; i < 32; ++i) {
        stream.push_back(i);
    }
    for (uint32_t produced = 32; produced + 15 <= kPage; produced += 15) {
        stream.insert(stream.end(), {0xF1, 0x02, static_cast<uint8_t>(produced)});
    }
    stream.push_back(0x11);
    return stream;
}

void timeDecompression(benchmark::State &state)
{
    const std::vector<uint8_t> page = copyHeavyPage();
    std::vector<uint8_t> out(0x7400);
    Lz77Result result{};
    for (auto _ : state) {
        result = decompressLz77(page.data(), static_cast<uint32_t>(page.size()), out.data(),
                                static_cast<uint32_t>(out.size()));
        benchmark::DoNotOptimize(out.data());
    }
    if (result.status != Lz77Status::Ok) {
        state.SkipWithError("the page does not decompress");
        return;
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * result.produced));
}

int printCounts(const std::vector<BenchDrawing> &drawings)
{
    std::printf("%s\n", dwgbench::countsHeader().c_str());
    bool clean = true;
    for (const BenchDrawing &drawing : drawings) {
        const SessionCounts counts = dwgbench::countSession(drawing);
        std::printf("%s\n", dwgbench::countsLine(drawing, counts).c_str());
        clean = clean && counts.problem.empty();
    }
    return clean ? 0 : 1;
}

void addCounters(benchmark::State &state, const BenchDrawing &drawing, const SessionCounts &counts)
{
    using benchmark::Counter;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * drawing.bytes.size()));
    state.counters["texts/s"] = Counter(static_cast<double>(counts.texts), Counter::kIsIterationInvariantRate);
    if (drawing.objects != 0) {
        const auto perObject = [&](uint64_t count) { return Counter(double(count) / double(drawing.objects)); };
        state.counters["reads/o"] = perObject(counts.reads);
        state.counters["seeks/o"] = perObject(counts.seeks);
        state.counters["tells/o"] = perObject(counts.tells);
        state.counters["blocks/o"] = perObject(counts.blocks);
    }
    state.counters["peak-B"] = Counter(static_cast<double>(counts.peakBytes), Counter::kDefaults,
                                       Counter::kIs1024);
}

// The counts come from one session on the recording host, the time from
// sessions on the lean host, through output objects or the text sink.
void timeSessions(benchmark::State &state, const BenchDrawing &drawing, bool sink)
{
    const SessionCounts counts = dwgbench::countSession(drawing);
    if (!counts.problem.empty()) {
        state.SkipWithError(counts.problem.c_str());
        return;
    }
    dwgbench::LeanOutcome outcome;
    for (auto _ : state) {
        outcome = dwgbench::runLeanSession(drawing.bytes, sink);
    }
    if (!outcome.endSeen || outcome.texts != counts.texts) {
        state.SkipWithError("the lean host saw another session than the recording host");
        return;
    }
    addCounters(state, drawing, counts);
}

}  // namespace

int main(int argc, char **argv)
{
    try {
        const std::vector<BenchDrawing> drawings = allDrawings();
        if (argc == 2 && std::string_view(argv[1]) == "--counts") {
            return printCounts(drawings);
        }
        benchmark::Initialize(&argc, argv);
        if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
            return 2;
        }
        for (const BenchDrawing &drawing : drawings) {
            benchmark::RegisterBenchmark(drawing.name.c_str(), timeSessions, drawing, false)
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark((drawing.name + "/sink").c_str(), timeSessions, drawing, true)
                ->Unit(benchmark::kMillisecond);
        }
        benchmark::RegisterBenchmark("lz77/page", timeDecompression)->Unit(benchmark::kMicrosecond);
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
    } catch (const std::exception &error) {
        std::fprintf(stderr, "dwgbench: %s\n", error.what());
        return 1;
    }
    return 0;
}
