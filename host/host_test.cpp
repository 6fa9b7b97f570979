// Tests of the recording host, driven through the C records exactly as the
// reader drives them.
#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <string>
#include <tuple>
#include <vector>

#include "tqhost.h"

namespace tqhost {
namespace {

TEST(FaultPlan, FailsTheKthCallOnceOrFromThereOnAndCountsEveryCall)
{
    FaultPlan plan;
    plan.failOnce(HostOp::Read, 3).failFrom(HostOp::Seek, 2);
    std::vector<bool> reads, seeks;
    for (int i = 0; i < 5; ++i) {
        reads.push_back(plan.next(HostOp::Read));
        seeks.push_back(plan.next(HostOp::Seek));
    }
    EXPECT_EQ(reads, (std::vector<bool>{false, false, true, false, false}));
    EXPECT_EQ(seeks, (std::vector<bool>{false, true, true, true, true}));
    EXPECT_EQ(plan.calls(HostOp::Read), 5u);  // failed calls are counted too
    EXPECT_EQ(plan.failures(HostOp::Seek), 4u);
    EXPECT_EQ(plan.calls(HostOp::Block), 0u);  // kinds are counted apart

    // Resetting the counts keeps the faults; clearing the faults keeps the counts.
    plan.failOnce(HostOp::Block, 2);
    EXPECT_FALSE(plan.next(HostOp::Block));
    plan.resetCounts();
    EXPECT_FALSE(plan.next(HostOp::Block));
    EXPECT_TRUE(plan.next(HostOp::Block));
    plan.clearFaults();
    EXPECT_FALSE(plan.hasFaults());
    EXPECT_EQ(plan.calls(HostOp::Block), 2u);
}

TEST(Blocks, AccountsForEveryBlockAndItsBytes)
{
    HostOptions options;
    options.faults.failOnce(HostOp::Block, 4);
    RecordingHost host({}, options);
    HostServices *svc = host.services();
    const BlockStats &stats = host.serviceSide().blocks().stats();

    auto *a = static_cast<unsigned char *>(svc->PubSnormalmalloc(svc, 1, 100));
    ASSERT_NE(a, nullptr);
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(a[i], 0) << "byte " << i << " is not zero";
    void *b = svc->PubSnormalmalloc(svc, 4, 10);
    EXPECT_EQ(stats.bytesInUse, 140u);

    std::memcpy(a, "keep", 4);
    auto *grown = static_cast<unsigned char *>(svc->PubSrealloc(svc, a, 300));
    ASSERT_NE(grown, nullptr);
    EXPECT_EQ(std::memcmp(grown, "keep", 4), 0);
    EXPECT_EQ(svc->PubSrealloc(svc, grown, 400), nullptr);  // the fourth request fails
    EXPECT_EQ(host.serviceSide().blocks().sizeOf(grown), 300);

    svc->PubSfree(svc, grown);
    svc->PubSfree(svc, b);
    svc->PubSfree(svc, nullptr);
    // In use, bytes in use, their peaks, requests, failed ones, bad frees.
    EXPECT_EQ(std::tuple(stats.inUse, stats.bytesInUse, stats.peakInUse, stats.peakBytesInUse, stats.requests,
                         stats.failedRequests, stats.badFrees),
              std::tuple(0u, 0u, 2u, 340u, 4u, 1u, 0u));
    EXPECT_TRUE(host.anomalies().empty());
}

TEST(Blocks, BadFreesAreCountedNotPerformed)
{
    RecordingHost host({});
    HostServices *svc = host.services();
    const BlockStats &stats = host.serviceSide().blocks().stats();
    auto *a = static_cast<char *>(svc->PubSnormalmalloc(svc, 1, 16));
    svc->PubSfree(svc, a + 1);  // inside a block, not its start
    EXPECT_EQ(stats.inUse, 1u);
    svc->PubSfree(svc, a);
    svc->PubSfree(svc, a);  // twice
    int onStack = 0;
    svc->PubSfree(svc, &onStack);
    EXPECT_EQ(stats.badFrees, 3u);
    EXPECT_EQ(stats.inUse, 0u);
    EXPECT_EQ(host.anomalies().size(), 3u);
}

TEST(Objects, InterfaceMisuseIsNotedWithoutHarm)
{
    RecordingHost host({});
    HostServices *svc = host.services();
    DWGOutputObject *head = nullptr;

    DWGOutputObject *open = svc->fpCreateObject(svc, DWG_OBJECT_TEXT_OPEN);
    svc->fpAppendObject(svc, &head, open, 0);  // wrong position and no open code
    svc->fpAppendObject(svc, &head, open, -1);  // appended twice: ignored
    EXPECT_EQ(open->hostOwn[0], nullptr);

    DWGOutputObject *text = svc->fpCreateObject(svc, DWG_OBJECT_TEXT);
    text->text = svc->PubSnormalmalloc(svc, 1, 3);
    text->length = 10;  // more than the buffer holds: not read
    svc->fpAppendObject(svc, &head, text, -1);

    DWGOutputObject stranger{};
    svc->fpAppendObject(svc, &head, &stranger, -1);  // not the host's
    EXPECT_EQ(text->hostOwn[0], nullptr);

    HostSource *src = host.source();
    src->fpReport(src, "odd", 1);  // a non-zero third argument

    EXPECT_EQ(formatEvents(host.events()), "text 0\nreport odd\n");
    EXPECT_EQ(host.anomalies().size(), 6u);
    EXPECT_EQ(svc->fpDeliverObjects(svc, &head, 0), 1);
    EXPECT_EQ(host.serviceSide().blocks().stats().inUse, 0u);
}

// A library that appends two texts per getDWGobject call, reporting the
// call first, and an end object on the third call.
struct ScriptedLibrary {
    static inline HostSource *source = nullptr;
    static inline HostServices *services = nullptr;
    static inline DWGSessionHeader header{};
    static inline int calls = 0;
    static inline int shutDowns = 0;

    static DWGSessionHeader *start(HostSource *src, HostOpenParams *params)
    {
        source = src;
        services = params->services;
        calls = shutDowns = 0;
        return &header;
    }

    static void append(DWGOutputObject **head, int32_t kind, const std::string &text = "")
    {
        DWGOutputObject *object = services->fpCreateObject(services, kind);
        if (kind == DWG_OBJECT_TEXT) {
            object->text = services->PubSnormalmalloc(services, 1, static_cast<uint32_t>(text.size()));
            std::memcpy(object->text, text.data(), text.size());
            object->length = static_cast<int32_t>(text.size());
        }
        services->fpAppendObject(services, head, object, -1);
    }

    static int32_t next(DWGSessionHeader *)
    {
        ++calls;
        source->fpReport(source, ("call " + std::to_string(calls) + "\n").c_str(), 0);
        DWGOutputObject *head = nullptr;
        if (calls == 3) {
            append(&head, DWG_OBJECT_END);
        } else {
            append(&head, DWG_OBJECT_TEXT, std::to_string(calls) + "a");
            append(&head, DWG_OBJECT_TEXT, std::to_string(calls) + "b");
        }
        return services->fpDeliverObjects(services, &head, 0);
    }

    static void shutDown(DWGSessionHeader *) { ++shutDowns; }

    static EntryPoints entryPoints() { return {&start, &next, &shutDown}; }
};

struct KeptReports final : ReportSink {
    void report(std::string_view text) override
    {
        if (full)
            throw std::bad_alloc();
        reports.emplace_back(text);
    }
    std::vector<std::string> reports;
    bool full = false;
};

TEST(LeanSession, HandsOutTheTextsOfACallOneAtATimeAndCallsOnlyWhenTheyAreGone)
{
    MemoryBytes bytes(std::span<const uint8_t>{});
    KeptReports sink;
    LeanSession session(bytes, sink, ScriptedLibrary::entryPoints());
    ASSERT_TRUE(session.start());
    std::vector<std::string> texts;
    std::vector<int> callsAtText;
    while (const LeanText *text = session.next()) {
        texts.push_back(text->bytes);
        callsAtText.push_back(ScriptedLibrary::calls);
    }
    EXPECT_EQ(texts, (std::vector<std::string>{"1a", "1b", "2a", "2b"}));
    EXPECT_EQ(callsAtText, (std::vector<int>{1, 1, 2, 2}));
    EXPECT_TRUE(session.endSeen());
    EXPECT_EQ(ScriptedLibrary::shutDowns, 1);  // as soon as the end came
    EXPECT_EQ(session.next(), nullptr);
    EXPECT_EQ(ScriptedLibrary::calls, 3);
    EXPECT_EQ(sink.reports, (std::vector<std::string>{"call 1\n", "call 2\n", "call 3\n"}));
}

// No exception may cross the library: one raised in a host operation comes
// out of next() once the library has returned, and the session can be
// dropped with its objects.
TEST(LeanSession, AReportThatCannotBeKeptComesOutAsBadAllocAfterTheCall)
{
    MemoryBytes bytes(std::span<const uint8_t>{});
    KeptReports sink;
    {
        LeanSession session(bytes, sink, ScriptedLibrary::entryPoints());
        ASSERT_TRUE(session.start());
        ASSERT_NE(session.next(), nullptr);
        ASSERT_NE(session.next(), nullptr);
        sink.full = true;
        EXPECT_THROW(session.next(), std::bad_alloc);
        EXPECT_EQ(ScriptedLibrary::calls, 2);
    }
    EXPECT_EQ(ScriptedLibrary::shutDowns, 1);
}

}  // namespace
}  // namespace tqhost
