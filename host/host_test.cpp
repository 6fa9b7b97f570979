// Tests of the recording host, driven through the C records exactly as the
// reader drives them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tqhost.h"

namespace tqhost {
namespace {

std::vector<uint8_t> bytesOf(std::string_view s) { return {s.begin(), s.end()}; }

// ---------------------------------------------------------------- event text

TEST(EventText, EscapesEveryByteOutsidePrintableAscii)
{
    EXPECT_EQ(escapeBytes("AC1015"), "AC1015");
    EXPECT_EQ(escapeBytes(" ~"), " ~");  // both ends of the printable range stay
    EXPECT_EQ(escapeBytes("a\nb"), "a\\nb");
    EXPECT_EQ(escapeBytes("a\\b"), "a\\\\b");
    EXPECT_EQ(escapeBytes(std::string("\0\r\x1f\x7f\x80\xff", 6)), "\\x00\\x0d\\x1f\\x7f\\x80\\xff");
    EXPECT_EQ(escapeBytes("\xAB"), "\\xab");  // lower-case digits
}

TEST(EventText, MasksOnlyTheLineOfTheLastModuleGroup)
{
    EXPECT_EQ(maskSourceLine("*** ERROR *** getBD()[textdata/123]"), "*** ERROR *** getBD()[textdata/LINE]");
    // The group need not end the text.
    EXPECT_EQ(maskSourceLine("*** ERROR *** Memory allocation failed(newByteSwap[dataread/160])."),
              "*** ERROR *** Memory allocation failed(newByteSwap[dataread/LINE]).");
    // A bracket from the drawing before it is left alone, even if it looks alike.
    EXPECT_EQ(maskSourceLine("*** ERROR *** This version[AC/10] has not been supported[getDWGdata/150]."),
              "*** ERROR *** This version[AC/10] has not been supported[getDWGdata/LINE].");
    // Not a module group: nothing changes.
    EXPECT_EQ(maskSourceLine("*** WARNING *** OBJCT TYPE[0x1f4] dosen't exist\n"),
              "*** WARNING *** OBJCT TYPE[0x1f4] dosen't exist\n");
    EXPECT_EQ(maskSourceLine("x[mod/]"), "x[mod/]");
    EXPECT_EQ(maskSourceLine("x[/12]"), "x[/12]");
    EXPECT_EQ(maskSourceLine("x[mod/1a]"), "x[mod/1a]");
    EXPECT_EQ(maskSourceLine("mod/12]"), "mod/12]");
    EXPECT_EQ(maskSourceLine(""), "");
}

TEST(EventText, FormatsEachEventKind)
{
    EventLog log;
    log.version("AC1\n\\5");
    log.report("*** ERROR *** getT()[textdata/77]");
    log.report("*** WARNING *** The entity type[0x81] dosen't exist\n");
    log.text(0, "FOO");
    log.text(51, std::string("\x00\x31\x00\xb0", 4));
    log.text(0, "");
    log.end();
    EXPECT_EQ(log.format(),
              "version AC1\\n\\\\5\n"
              "report *** ERROR *** getT()[textdata/LINE]\n"
              "report *** WARNING *** The entity type[0x81] dosen't exist\\n\n"
              "text 0 464f4f\n"
              "text 51 003100b0\n"
              "text 0\n"
              "end\n");
    EXPECT_TRUE(log.endSeen());
}

TEST(EventText, RefusalStandsRightAfterTheVersion)
{
    EventLog log;
    log.version("AC1099XYZ");  // only six bytes count
    log.report("*** ERROR *** This version[AC1099] has not been supported[getDWGdata/150].");
    log.refused();
    EXPECT_EQ(log.format(),
              "version AC1099\n"
              "refused\n"
              "report *** ERROR *** This version[AC1099] has not been supported[getDWGdata/LINE].\n");
    EXPECT_FALSE(log.endSeen());
}

TEST(EventText, EmptySourceHasABareVersionLine)
{
    EventLog log;
    log.version("");
    log.refused();
    EXPECT_EQ(log.format(), "version\nrefused\n");
}

// ---------------------------------------------------------------- fault plan

TEST(FaultPlan, FailsTheKthCallOnceOrFromThereOn)
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
    EXPECT_EQ(plan.failures(HostOp::Read), 1u);
    EXPECT_EQ(plan.failures(HostOp::Seek), 4u);
    EXPECT_EQ(plan.calls(HostOp::Block), 0u);  // kinds are counted apart
}

TEST(FaultPlan, ClearingFaultsKeepsCountsAndResettingCountsKeepsFaults)
{
    FaultPlan plan;
    plan.failOnce(HostOp::Block, 2);
    EXPECT_FALSE(plan.next(HostOp::Block));
    plan.resetCounts();
    EXPECT_FALSE(plan.next(HostOp::Block));
    EXPECT_TRUE(plan.next(HostOp::Block));  // the second call since the reset
    plan.clearFaults();
    EXPECT_FALSE(plan.hasFaults());
    EXPECT_EQ(plan.calls(HostOp::Block), 2u);
}

// ---------------------------------------------------------------- source

TEST(Source, SeeksWithinZeroToSizeAndNowhereElse)
{
    RecordingHost host(bytesOf("0123456789"));
    HostSource *src = host.source();
    ASSERT_NE(src->fpOpen(src), 0);
    EXPECT_EQ(src->fpSeek(src, 0, 2), 1);
    EXPECT_EQ(src->fpTell(src), 10);  // the size, as the library measures it
    EXPECT_EQ(src->fpSeek(src, 4, 0), 1);
    EXPECT_EQ(src->fpSeek(src, 11, 0), 0);
    EXPECT_EQ(src->fpSeek(src, -1, 0), 0);
    EXPECT_EQ(src->fpSeek(src, 1, 2), 0);
    EXPECT_EQ(src->fpSeek(src, 0, 7), 0);
    EXPECT_EQ(src->fpTell(src), 4);  // failed seeks did not move
    EXPECT_EQ(src->fpSeek(src, -3, 2), 1);
    EXPECT_EQ(src->fpTell(src), 7);
    EXPECT_EQ(src->fpSeek(src, 10, 0), 1);
    char buf[4];
    EXPECT_EQ(src->fpRead(src, buf, 4), 0);  // nothing at the end
    src->fpClose(src);
    EXPECT_EQ(host.sourceSide().stats().failedSeeks, 4u);
}

TEST(Source, ReadsAdvanceAndCanBeMadeShort)
{
    HostOptions options;
    options.readChunk = 3;
    RecordingHost host(bytesOf("ABCDEFGH"), options);
    HostSource *src = host.source();
    char buf[8] = {};
    EXPECT_EQ(src->fpRead(src, buf, 8), 3);
    EXPECT_EQ(std::string(buf, 3), "ABC");
    EXPECT_EQ(src->fpRead(src, buf, 2), 2);
    EXPECT_EQ(std::string(buf, 2), "DE");
    EXPECT_EQ(src->fpRead(src, buf, 8), 3);
    EXPECT_EQ(std::string(buf, 3), "FGH");
    EXPECT_EQ(src->fpRead(src, buf, 8), 0);
    EXPECT_EQ(src->fpRead(src, buf, 0), 0);
    EXPECT_EQ(host.sourceSide().stats().bytesRead, 8u);
}

TEST(Source, OpeningAgainDoesNotDisturbTheOtherStream)
{
    RecordingHost host(bytesOf("ABCDEF"));
    HostSource *src = host.source();
    ASSERT_EQ(src->fpOpen(src), 1);
    ASSERT_EQ(src->fpSeek(src, 2, 0), 1);
    ASSERT_EQ(src->fpOpen(src), 1);
    EXPECT_EQ(src->fpTell(src), 2);
    src->fpClose(src);
    src->fpClose(src);
    EXPECT_EQ(host.sourceSide().stats().opens, 2u);
    EXPECT_EQ(host.sourceSide().stats().closes, 2u);
}

TEST(Source, FaultPlanAndMissingOperations)
{
    HostOptions options;
    options.hasTell = false;
    options.hasReport = false;
    options.faults.failOnce(HostOp::Open, 2).failOnce(HostOp::Read, 1).failFrom(HostOp::Seek, 2);
    RecordingHost host(bytesOf("ABCDEF"), options);
    HostSource *src = host.source();
    EXPECT_EQ(src->fpTell, nullptr);
    EXPECT_EQ(src->fpReport, nullptr);

    EXPECT_EQ(src->fpOpen(src), 1);
    EXPECT_EQ(src->fpOpen(src), 0);
    src->fpClose(src);  // allowed after a refused open
    EXPECT_EQ(src->fpOpen(src), 1);

    char buf[6];
    EXPECT_EQ(src->fpRead(src, buf, 6), -1);
    EXPECT_EQ(src->fpRead(src, buf, 6), 6);  // only the first read failed
    EXPECT_EQ(src->fpSeek(src, 0, 0), 1);
    EXPECT_EQ(src->fpSeek(src, 0, 0), 0);
    EXPECT_EQ(src->fpSeek(src, 0, 0), 0);
    EXPECT_EQ(host.sourceSide().stats().refusedOpens, 1u);
    EXPECT_EQ(host.faults().calls(HostOp::Open), 3u);
    EXPECT_EQ(host.faults().calls(HostOp::Seek), 3u);
}

TEST(Source, TellFaultAnswersMinusOne)
{
    HostOptions options;
    options.faults.failOnce(HostOp::Tell, 1);
    RecordingHost host(bytesOf("AB"), options);
    HostSource *src = host.source();
    EXPECT_EQ(src->fpTell(src), -1);
    EXPECT_EQ(src->fpTell(src), 0);
}

TEST(Source, ReportsBecomeEventsAndMisuseIsNoted)
{
    RecordingHost host(bytesOf("AC1015"));
    HostSource *src = host.source();
    src->fpReport(src, "*** WARNING *** OBJCT TYPE[0x1f4] dosen't exist\n", 0);
    src->fpReport(src, "odd", 1);
    ASSERT_EQ(host.events().size(), 2u);
    EXPECT_EQ(formatEvent(host.events()[0]), "report *** WARNING *** OBJCT TYPE[0x1f4] dosen't exist\\n");
    EXPECT_EQ(host.anomalies().size(), 1u);
}

// ---------------------------------------------------------------- blocks

TEST(Blocks, AccountsForEveryBlockAndItsBytes)
{
    RecordingHost host({});
    HostServices *svc = host.services();
    const BlockStats &stats = host.serviceSide().blocks().stats();

    auto *a = static_cast<unsigned char *>(svc->PubSnormalmalloc(svc, 1, 100));
    ASSERT_NE(a, nullptr);
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(a[i], 0) << "byte " << i << " is not zero";
    void *b = svc->PubSnormalmalloc(svc, 4, 10);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(stats.inUse, 2u);
    EXPECT_EQ(stats.bytesInUse, 140u);

    std::memcpy(a, "keep", 4);
    auto *grown = static_cast<unsigned char *>(svc->PubSrealloc(svc, a, 300));
    ASSERT_NE(grown, nullptr);
    EXPECT_EQ(std::memcmp(grown, "keep", 4), 0);
    EXPECT_EQ(stats.bytesInUse, 340u);
    EXPECT_EQ(host.serviceSide().blocks().sizeOf(grown), 300);

    svc->PubSfree(svc, grown);
    svc->PubSfree(svc, b);
    svc->PubSfree(svc, nullptr);
    EXPECT_EQ(stats.inUse, 0u);
    EXPECT_EQ(stats.bytesInUse, 0u);
    EXPECT_EQ(stats.peakInUse, 2u);
    EXPECT_EQ(stats.peakBytesInUse, 340u);
    EXPECT_EQ(stats.requests, 3u);
    EXPECT_EQ(stats.freeCalls, 3u);
    EXPECT_EQ(stats.badFrees, 0u);
    EXPECT_TRUE(host.anomalies().empty());
}

TEST(Blocks, NthRequestFailsAndLeavesTheOldBlock)
{
    HostOptions options;
    options.faults.failOnce(HostOp::Block, 2).failOnce(HostOp::Block, 3);
    RecordingHost host({}, options);
    HostServices *svc = host.services();
    const BlockStats &stats = host.serviceSide().blocks().stats();

    void *a = svc->PubSnormalmalloc(svc, 1, 8);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(svc->PubSnormalmalloc(svc, 1, 8), nullptr);
    EXPECT_EQ(svc->PubSrealloc(svc, a, 64), nullptr);  // reallocation is a block request too
    EXPECT_EQ(host.serviceSide().blocks().sizeOf(a), 8);
    void *c = svc->PubSnormalmalloc(svc, 1, 8);
    EXPECT_NE(c, nullptr);
    EXPECT_EQ(stats.failedRequests, 2u);
    EXPECT_EQ(stats.inUse, 2u);
    EXPECT_EQ(host.faults().calls(HostOp::Block), 4u);
    svc->PubSfree(svc, a);
    svc->PubSfree(svc, c);
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

// ---------------------------------------------------------------- objects

// One text group made the way the reader makes it.
void appendTextGroup(HostServices *svc, DWGOutputObject **head, std::string_view text, int32_t charset)
{
    DWGOutputObject *open = svc->fpCreateObject(svc, DWG_OBJECT_TEXT_OPEN);
    ASSERT_NE(open, nullptr);
    open->openCode = DWG_TEXT_OPEN_CODE;
    svc->fpAppendObject(svc, head, open, -1);
    DWGOutputObject *body = svc->fpCreateObject(svc, DWG_OBJECT_TEXT);
    ASSERT_NE(body, nullptr);
    void *buffer = svc->PubSnormalmalloc(svc, 1, static_cast<uint32_t>(text.size() + 1));
    ASSERT_NE(buffer, nullptr);
    std::memcpy(buffer, text.data(), text.size());
    body->text = buffer;
    body->length = static_cast<int32_t>(text.size());
    body->charset = charset;
    svc->fpAppendObject(svc, head, body, -1);
    DWGOutputObject *close = svc->fpCreateObject(svc, DWG_OBJECT_TEXT_CLOSE);
    ASSERT_NE(close, nullptr);
    svc->fpAppendObject(svc, head, close, -1);
}

TEST(Objects, AppendRecordsEventsAndDeliveryFreesTheChain)
{
    RecordingHost host(bytesOf("AC1015"));
    HostServices *svc = host.services();
    DWGOutputObject *head = nullptr;

    appendTextGroup(svc, &head, "AB", DWG_CHARSET_BYTES);
    appendTextGroup(svc, &head, std::string("\x00\x41", 2), DWG_CHARSET_UTF16BE);
    ASSERT_NE(head, nullptr);
    EXPECT_EQ(svc->fpDeliverObjects(svc, &head, 0), 1);
    EXPECT_EQ(head, nullptr);

    DWGOutputObject *end = svc->fpCreateObject(svc, DWG_OBJECT_END);
    svc->fpAppendObject(svc, &head, end, -1);
    EXPECT_EQ(svc->fpDeliverObjects(svc, &head, 0), 1);

    EXPECT_EQ(formatEvents(host.events()), "text 0 4142\ntext 51 0041\nend\n");
    const auto &deliveries = host.serviceSide().deliveries();
    ASSERT_EQ(deliveries.size(), 2u);
    ASSERT_EQ(deliveries[0].size(), 6u);  // both groups, in append order
    EXPECT_EQ(deliveries[0][0].kind, DWG_OBJECT_TEXT_OPEN);
    EXPECT_EQ(deliveries[0][1].text, "AB");
    EXPECT_EQ(deliveries[0][4].charset, DWG_CHARSET_UTF16BE);
    EXPECT_EQ(deliveries[0][5].kind, DWG_OBJECT_TEXT_CLOSE);
    EXPECT_EQ(deliveries[1][0].kind, DWG_OBJECT_END);

    const auto &objects = host.serviceSide().objectStats();
    EXPECT_EQ(objects.live, 0u);
    EXPECT_EQ(objects.freed, 7u);
    // The two text buffers went back with their objects.
    EXPECT_EQ(host.serviceSide().blocks().stats().inUse, 0u);
    EXPECT_EQ(host.serviceSide().blocks().stats().hostFrees, 2u);
    EXPECT_TRUE(host.anomalies().empty());
}

TEST(Objects, DeliveryThatKeepsTheChainAnswersTheChosenValue)
{
    HostOptions options;
    options.deliveryEmptiesChain = false;
    options.deliveryResult = 7;
    RecordingHost host({}, options);
    HostServices *svc = host.services();
    DWGOutputObject *head = nullptr;
    appendTextGroup(svc, &head, "X", DWG_CHARSET_BYTES);
    DWGOutputObject *first = head;
    EXPECT_EQ(svc->fpDeliverObjects(svc, &head, 0), 7);
    EXPECT_EQ(svc->fpDeliverObjects(svc, &head, 0), 7);
    EXPECT_EQ(head, first);
    EXPECT_EQ(host.serviceSide().deliveries().size(), 2u);
    EXPECT_EQ(host.serviceSide().objectStats().delivered, 6u);

    host.serviceSide().releaseObjects();
    EXPECT_EQ(host.serviceSide().objectStats().live, 0u);
    EXPECT_EQ(host.serviceSide().blocks().stats().inUse, 0u);
}

TEST(Objects, CreationRefusedByKindOrByCount)
{
    HostOptions options;
    options.refusedKinds = {DWG_OBJECT_TEXT_CLOSE};
    options.faults.failOnce(HostOp::Create, 2);
    RecordingHost host({}, options);
    HostServices *svc = host.services();
    EXPECT_NE(svc->fpCreateObject(svc, DWG_OBJECT_TEXT_OPEN), nullptr);
    EXPECT_EQ(svc->fpCreateObject(svc, DWG_OBJECT_TEXT_OPEN), nullptr);
    EXPECT_NE(svc->fpCreateObject(svc, DWG_OBJECT_TEXT), nullptr);
    EXPECT_EQ(svc->fpCreateObject(svc, DWG_OBJECT_TEXT_CLOSE), nullptr);
    EXPECT_EQ(svc->fpCreateObject(svc, DWG_OBJECT_TEXT_CLOSE), nullptr);
    EXPECT_EQ(host.serviceSide().objectStats().refused, 3u);
    EXPECT_EQ(host.faults().calls(HostOp::Create), 5u);

    // Objects never appended are still freed by the host.
    host.serviceSide().releaseObjects();
    EXPECT_EQ(host.serviceSide().objectStats().neverAppended, 2u);
}

TEST(Objects, ObjectsStartZeroed)
{
    RecordingHost host({});
    HostServices *svc = host.services();
    DWGOutputObject *object = svc->fpCreateObject(svc, DWG_OBJECT_TEXT);
    ASSERT_NE(object, nullptr);
    const auto *bytes = reinterpret_cast<const unsigned char *>(object);
    for (std::size_t i = 0; i < sizeof(DWGOutputObject); ++i)
        ASSERT_EQ(bytes[i], 0) << "byte " << i;
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
    void *buffer = svc->PubSnormalmalloc(svc, 1, 3);
    text->text = buffer;
    text->length = 10;  // more than the buffer holds: not read
    svc->fpAppendObject(svc, &head, text, -1);

    DWGOutputObject stranger{};
    svc->fpAppendObject(svc, &head, &stranger, -1);  // not the host's
    EXPECT_EQ(text->hostOwn[0], nullptr);

    EXPECT_EQ(formatEvents(host.events()), "text 0\n");
    EXPECT_EQ(host.anomalies().size(), 5u);
    EXPECT_EQ(svc->fpDeliverObjects(svc, &head, 0), 1);
    EXPECT_EQ(host.serviceSide().blocks().stats().inUse, 0u);
}

}  // namespace
}  // namespace tqhost
