// The session seen from a host: start-up, shutdown, and the blocks it holds
// from text to text. The shape of a text's delivery is checked by
// getR12DWGdata_test through the group code both readers share; a host
// that cannot give a block or take the end object, by the fault sweep,
// which fails every block and object request of whole sessions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "front/drawingreader.h"
#include "front/hostinput.h"
#include "host_library.h"
#include "writer/dwgwriter.h"
#include "writer/dxfwriter.h"
#include "writer/r12writer.h"

namespace {

using tqhost::HostOptions;
using tqhost::RecordingHost;

std::vector<uint8_t> r2000WithTexts(std::initializer_list<const char *> texts)
{
    dwgw::R2000Drawing drawing;
    for (const char *text : texts) {
        drawing.addText(text);
    }
    return drawing.build();
}

int32_t kindsOf(const tqhost::DeliveryBatch &batch, int32_t kind)
{
    return static_cast<int32_t>(
        std::count_if(batch.begin(), batch.end(), [kind](const auto &object) { return object.kind == kind; }));
}

// Refused or read whole, a session opens the host's source once and closes
// it again, and gives back every block. A host whose reads give a few bytes
// at a time (a pipe, a socket) is asked again until the bytes are there.
TEST(Session, OpensAndClosesTheSourceOnce)
{
    dwgw::R12Drawing r12;
    r12.addText("A");
    const std::vector<std::vector<uint8_t>> drawings = {
        {},
        {'A', 'C', '1'},
        {'A', 'C', '1', '0', '1', '8', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
        {'A', 'C', '1', '5', '0', '0', 0, 0},
        {'a', 'c', '1', '0', '1', '5', 0, 0},
        r12.build(),
        r2000WithTexts({"A", "B"}),
    };
    for (const std::vector<uint8_t> &bytes : drawings) {
        tqhost::SessionResult result = tqhost::runLibrarySession(bytes);
        EXPECT_EQ(result.outcome.refused, bytes.size() < 100);
        EXPECT_EQ(result.outcome.endSeen, bytes.size() >= 100);
        EXPECT_EQ(result.blocks.inUse, 0u);
        EXPECT_EQ(result.source.opens, 1u);
        EXPECT_EQ(result.source.closes, 1u);
        HostOptions fewBytesARead;
        fewBytesARead.readChunk = 5;
        EXPECT_EQ(tqhost::runLibrarySession(bytes, fewBytesARead).eventText, result.eventText);
    }
}

// Our own reader reads DXF files; the host's protocol refuses them, as any
// file that is no DWG drawing.
TEST(Session, TheHostsProtocolRefusesADxfFile)
{
    dwgw::R2000Drawing drawing;
    drawing.addText("A");
    const tqhost::SessionResult result = tqhost::runLibrarySession(dwgw::composeDxf(drawing));
    EXPECT_TRUE(result.outcome.refused);
    EXPECT_EQ(result.blocks.inUse, 0u);
    EXPECT_EQ(result.source.closes, 1u);
}

// A session holds a fixed set of blocks however many texts it has given,
// through output objects or through our own reader: the blocks in use after each
// text's delivery from the tenth on are those after the tenth, give or take
// the reused blocks a reader may first need later. A block kept per text
// would leak a thousand by the end of a large drawing and only come back
// at shutdown.
struct IgnoringSink final : TextSink {
    void text(const void *, int32_t, int32_t, TextKind) override {}
};

struct IgnoringReports final : ReportListener {
    void report(const char *) override {}
};

// The blocks in use after each call that delivered texts.
std::vector<uint64_t> blocksInUseByText(const std::vector<uint8_t> &bytes)
{
    RecordingHost host(bytes);
    DWGSessionHeader *session = startSrcDWG(host.source(), host.params());
    std::vector<uint64_t> inUse;
    while (session != nullptr && inUse.size() < 3000 && getDWGobject(session) == 1 &&
           kindsOf(host.serviceSide().deliveries().back(), DWG_OBJECT_TEXT) > 0) {
        inUse.push_back(host.serviceSide().blocks().stats().inUse);
    }
    shutDownDWGsrc(session);
    return inUse;
}

// The same for our own reader, its blocks taken from the recording host.
std::vector<uint64_t> blocksInUseByTextOfTheReader(const std::vector<uint8_t> &bytes)
{
    RecordingHost host(bytes);
    HostInput input(host.source());
    IgnoringReports reports;
    IgnoringSink sink;
    DrawingReader reader;
    std::vector<uint64_t> inUse;
    if (reader.open({&input, hostBlocks(host.services()), &reports, &sink})) {
        while (inUse.size() < 3000 && reader.readOn() && !reader.facts().ended) {
            inUse.push_back(host.serviceSide().blocks().stats().inUse);
        }
    }
    return inUse;
}

TEST(Session, BlocksInUseStayTheSameFromTextToText)
{
    dwgw::R12Drawing r12;
    dwgw::R2000Drawing r2000;
    dwgw::R2004Drawing r2004;
    dwgw::R2018Drawing r2018;
    for (int i = 0; i < 1000; ++i) {
        const std::string text = "text " + std::to_string(i);
        r12.addText(text);
        r2000.addText(text);
        r2004.addMText(text + "\\Pline");
        r2018.addText(text);
    }
    for (const std::vector<uint8_t> &bytes : {r12.build(), r2000.build(), r2004.build(), r2018.build()}) {
        for (const bool reader : {false, true}) {
            SCOPED_TRACE(std::string(bytes.begin(), bytes.begin() + 6) + (reader ? " by our reader" : ""));
            const std::vector<uint64_t> inUse =
                reader ? blocksInUseByTextOfTheReader(bytes) : blocksInUseByText(bytes);
            ASSERT_GE(inUse.size(), 1000u);
            EXPECT_LE(*std::max_element(inUse.begin() + 9, inUse.end()), inUse[9] + 2);
        }
    }
}

}  // namespace
