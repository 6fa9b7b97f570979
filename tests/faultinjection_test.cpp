// Fault injection: every drawing runs once on a counting host, then again
// for each sampled call number k of each failing host operation, failing
// call k only and every call from k on. Every run must end within the
// session bound, give back every block, use the host correctly, and keep
// every text the undisturbed run had given before call k unchanged, with
// only texts of that run, in its order, after them. The sample and the
// TQDUDADE_FAULT_SAMPLE settings are described in docs/testing.md.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "drawing_folders.h"
#include "hardening/composed_drawings.h"
#include "hardening/session_checks.h"
#include "drawingfiles.h"
#include "host_library.h"

namespace {

namespace fs = std::filesystem;
using tqhost::HostOp;

constexpr std::array<HostOp, tqhost::kHostOpCount> kOps = {HostOp::Open, HostOp::Read,  HostOp::Seek,
                                                           HostOp::Tell, HostOp::Block, HostOp::Create};

struct Sample {
    uint64_t dense;
    uint64_t spread;
    uint64_t tail;
    bool every;
};

Sample sampleFromEnvironment()
{
    const char *setting = std::getenv("TQDUDADE_FAULT_SAMPLE");
    const std::string_view name = setting == nullptr ? "" : setting;
    return name == "all"     ? Sample{0, 0, 0, true}
           : name == "light" ? Sample{200, 100, 5, false}
                             : Sample{2000, 1000, 5, false};
}

// The call numbers to fail, in increasing order, for a session that makes
// `calls` calls.
std::vector<uint64_t> callsToFail(uint64_t calls, const Sample &sample)
{
    std::vector<uint64_t> ks;
    const uint64_t dense = sample.every ? calls : std::min(calls, sample.dense);
    for (uint64_t k = 1; k <= dense; ++k)
        ks.push_back(k);
    if (calls > dense) {
        const uint64_t stride = (calls - dense + sample.spread - 1) / sample.spread;
        for (uint64_t k = dense + stride; k <= calls; k += stride)
            ks.push_back(k);
        for (uint64_t k = calls > sample.tail ? calls - sample.tail + 1 : 1; k <= calls; ++k)
            ks.push_back(k);
    }
    std::sort(ks.begin(), ks.end());
    ks.erase(std::unique(ks.begin(), ks.end()), ks.end());
    return ks;
}

struct Text {
    int32_t charset;
    std::string bytes;

    bool operator==(const Text &) const = default;
};

std::vector<Text> deliveredTexts(const std::vector<tqhost::DeliveryBatch> &deliveries)
{
    std::vector<Text> texts;
    for (const tqhost::DeliveryBatch &batch : deliveries) {
        for (const tqhost::DeliveredObject &object : batch) {
            if (object.kind == DWG_OBJECT_TEXT) {
                texts.push_back({object.charset, object.text});
            }
        }
    }
    return texts;
}

// Stands between the library and a recording host and notes, at every call
// of a failing operation, how many texts have been appended so far. The
// host's own records keep their callbacks; the probe's copies call them.
class CallProbe {
public:
    explicit CallProbe(tqhost::RecordingHost &host) : host_(host), source_(*host.source()), services_(*host.services())
    {
        active_ = this;
        HostSource &source = *host.source();
        source.fpOpen = [](HostSource *s) { return active_->note(HostOp::Open).source_.fpOpen(s); };
        source.fpRead = [](HostSource *s, void *b, int32_t n) { return active_->note(HostOp::Read).source_.fpRead(s, b, n); };
        source.fpSeek = [](HostSource *s, int32_t o, int32_t w) { return active_->note(HostOp::Seek).source_.fpSeek(s, o, w); };
        source.fpTell = [](HostSource *s) { return active_->note(HostOp::Tell).source_.fpTell(s); };
        HostServices &services = *host.services();
        services.PubSnormalmalloc = [](HostServices *s, uint32_t c, uint32_t n) {
            return active_->note(HostOp::Block).services_.PubSnormalmalloc(s, c, n);
        };
        services.PubSrealloc = [](HostServices *s, void *b, uint32_t n) {
            return active_->note(HostOp::Block).services_.PubSrealloc(s, b, n);
        };
        services.fpCreateObject = [](HostServices *s, int32_t kind) {
            return active_->note(HostOp::Create).services_.fpCreateObject(s, kind);
        };
    }
    ~CallProbe() { active_ = nullptr; }
    CallProbe(const CallProbe &) = delete;
    CallProbe &operator=(const CallProbe &) = delete;

    // Texts appended before call k (from 1) of op.
    uint32_t textsBefore(HostOp op, uint64_t k) const { return textsAtCall_.at(static_cast<size_t>(op)).at(k - 1); }

private:
    CallProbe &note(HostOp op)
    {
        const std::vector<tqhost::Event> &events = host_.events();
        for (; seen_ < events.size(); ++seen_) {
            texts_ += events[seen_].type == tqhost::Event::Type::Text ? 1 : 0;
        }
        textsAtCall_[static_cast<size_t>(op)].push_back(texts_);
        return *this;
    }

    static inline CallProbe *active_ = nullptr;

    tqhost::RecordingHost &host_;
    const HostSource source_;
    const HostServices services_;
    std::size_t seen_ = 0;
    uint32_t texts_ = 0;
    std::array<std::vector<uint32_t>, tqhost::kHostOpCount> textsAtCall_;
};

struct Drawing {
    std::string name;
    std::vector<uint8_t> bytes;
};

const fs::path kCorpora[] = {TQDUDADE_CORPUS_DIR, TQDUDADE_CORPUS_R2004_DIR};

std::vector<Drawing> drawingsToSweep()
{
    std::vector<Drawing> drawings;
    for (hardening::NamedDrawing &drawing : hardening::composedDrawings()) {
        drawings.push_back({drawing.name, std::move(drawing.bytes)});
    }
    for (hardening::NamedDrawing &drawing : hardening::mapsLostDrawings()) {
        drawings.push_back({drawing.name, std::move(drawing.bytes)});
    }
    for (const fs::path &path : dwgFilesIn({kCorpora[0], kCorpora[1]})) {
        Drawing drawing{"corpus_" + path.stem().string(), {}};
        std::string message;
        if (dwgfiles::readWholeFile(path.string(), drawing.bytes, message)) {
            drawings.push_back(std::move(drawing));
        }
    }
    return drawings;
}

// Where a faulted run's texts break the rule; empty when they keep it.
std::string textProblems(const std::vector<Text> &undisturbed, const std::vector<Text> &faulted, uint32_t before)
{
    if (faulted.size() < before || !std::equal(undisturbed.begin(), undisturbed.begin() + before, faulted.begin())) {
        return "lost or changed one of the first " + std::to_string(before) + " texts\n";
    }
    auto next = undisturbed.begin() + before;
    for (auto text = faulted.begin() + before; text != faulted.end(); ++text) {
        next = std::find(next, undisturbed.end(), *text);
        if (next == undisturbed.end()) {
            return "text " + std::to_string(text - faulted.begin() + 1) + " is not the undisturbed run's next\n";
        }
        ++next;
    }
    return {};
}

class FaultSweep : public testing::TestWithParam<std::string> {
protected:
    static const std::vector<Drawing> &drawings()
    {
        static const std::vector<Drawing> all = drawingsToSweep();
        return all;
    }

    static const Drawing &drawing(const std::string &name)
    {
        return *std::find_if(drawings().begin(), drawings().end(), [&](const Drawing &d) { return d.name == name; });
    }
};

TEST_P(FaultSweep, EveryFailedHostCallLeavesAWholeShortSession)
{
    const Drawing &subject = drawing(GetParam());
    const uint64_t bound = hardening::sessionCallBound(subject.bytes.size());
    const tqhost::EntryPoints entry = tqhost::libraryEntryPoints();

    tqhost::RecordingHost counting(subject.bytes);
    CallProbe probe(counting);
    tqhost::driveSession(counting, entry, bound);
    const std::vector<Text> undisturbed = deliveredTexts(counting.serviceSide().deliveries());
    ASSERT_EQ(counting.anomalies(), std::vector<std::string>{});

    const Sample sample = sampleFromEnvironment();
    uint64_t runs = 0;
    uint64_t failedRuns = 0;
    for (HostOp op : kOps) {
        for (uint64_t k : callsToFail(counting.faults().calls(op), sample)) {
            for (bool onward : {false, true}) {
                tqhost::HostOptions options;
                onward ? options.faults.failFrom(op, k) : options.faults.failOnce(op, k);
                const tqhost::SessionResult result = tqhost::runLibrarySession(subject.bytes, options, bound);
                const std::string problems =
                    hardening::sessionProblems(result) +
                    textProblems(undisturbed, deliveredTexts(result.deliveries), probe.textsBefore(op, k));
                ++runs;
                if (!problems.empty() && ++failedRuns <= 10) {
                    ADD_FAILURE() << tqhost::hostOpName(op) << " call " << k << (onward ? " on" : " only") << ":\n"
                                  << problems;
                }
            }
        }
    }
    RecordProperty("runs", std::to_string(runs));
    EXPECT_EQ(failedRuns, 0u) << "of " << runs << " runs";
}

std::vector<std::string> drawingNames()
{
    std::vector<std::string> names;
    for (const Drawing &drawing : drawingsToSweep())
        names.push_back(drawing.name);
    return names;
}

std::string testName(const testing::TestParamInfo<std::string> &info)
{
    std::string name = info.param;
    std::replace_if(name.begin(), name.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)) == 0; },
                    '_');
    return name;
}

INSTANTIATE_TEST_SUITE_P(Drawings, FaultSweep, testing::ValuesIn(drawingNames()), testName);

}  // namespace
