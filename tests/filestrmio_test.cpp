#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/filestrmio.h"
#include "support/publicstorage.h"
#include "tqhost.h"

namespace {

std::vector<uint8_t> bytesOf(const std::string &text) { return {text.begin(), text.end()}; }

class FileStreamTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        memory = newMemoryService(services.record());
        ASSERT_NE(memory, nullptr);
    }

    void TearDown() override
    {
        deleteFileStream(stream);
        if (source != nullptr) {
            EXPECT_EQ(source->stats().closes, source->stats().opens);
        }
        deleteMemoryService(memory);
        EXPECT_EQ(services.blocks().stats().inUse, 0u);
        EXPECT_TRUE(context.anomalies.empty());
    }

    tqhost::MemorySource &makeSource(const std::string &text)
    {
        source = std::make_unique<tqhost::MemorySource>(bytesOf(text), context);
        return *source;
    }

    FileStream *open(const std::string &text)
    {
        stream = newFileStream(makeSource(text).record(), memory);
        return stream;
    }

    const tqhost::SourceStats &hostCalls() const { return source->stats(); }
    void failNext(tqhost::HostOp op) { context.faults().failOnce(op, context.faults().calls(op) + 1); }

    tqhost::HostContext context;
    tqhost::Services services{context};
    MemoryService *memory = nullptr;
    std::unique_ptr<tqhost::MemorySource> source;
    FileStream *stream = nullptr;
};

TEST_F(FileStreamTest, UnusableSourcesAreRefusedAndClosed)
{
    struct Case {
        const char *what;
        std::string bytes;
        std::function<void(tqhost::HostContext &, HostSource *)> spoil;
    } cases[] = {
        {"empty source", "", [](tqhost::HostContext &, HostSource *) {}},
        {"no fpTell", "abc", [](tqhost::HostContext &, HostSource *src) { src->fpTell = nullptr; }},
        {"no fpSeek", "abc", [](tqhost::HostContext &, HostSource *src) { src->fpSeek = nullptr; }},
        {"no fpOpen", "abc", [](tqhost::HostContext &, HostSource *src) { src->fpOpen = nullptr; }},
        {"open refused", "abc",
         [](tqhost::HostContext &host, HostSource *) { host.faults().failOnce(tqhost::HostOp::Open, 1); }},
        {"end not told", "abc",
         [](tqhost::HostContext &host, HostSource *) { host.faults().failOnce(tqhost::HostOp::Tell, 2); }},
        {"cannot seek back", "abc",
         [](tqhost::HostContext &host, HostSource *) { host.faults().failOnce(tqhost::HostOp::Seek, 2); }},
    };
    for (const Case &c : cases) {
        context.faults().clearFaults();
        context.faults().resetCounts();
        tqhost::MemorySource &host = makeSource(c.bytes);
        c.spoil(context, host.record());
        EXPECT_EQ(newFileStream(host.record(), memory), nullptr) << c.what;
        EXPECT_EQ(host.stats().closes, 1u) << c.what;
    }
    source.reset();
}

TEST_F(FileStreamTest, SizeIsMeasuredOnceAndTheHostPutBack)
{
    tqhost::MemorySource &host = makeSource("0123456789");
    host.record()->fpSeek(host.record(), 3, 0);
    stream = newFileStream(host.record(), memory);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(stream->size(), 10u);
    EXPECT_EQ(host.position(), 3);
    EXPECT_EQ(stream->CurPosition(), 0) << "a cursor starts at 0 wherever the host stands";

    uint64_t tells = hostCalls().tells;
    char buffer[4];
    stream->read(buffer, 4);
    stream->SeekPos(7);
    EXPECT_EQ(stream->size(), 10u);
    EXPECT_EQ(hostCalls().tells, tells);
}

TEST_F(FileStreamTest, SeekAcceptsPositionsUpToTheSize)
{
    ASSERT_NE(open("0123456789"), nullptr);
    ASSERT_EQ(stream->SeekPos(4), 1);
    EXPECT_EQ(stream->SeekPos(10), 1);
    EXPECT_EQ(stream->CurPosition(), 10);

    for (int32_t bad : {11, -1, INT32_MIN}) {
        EXPECT_EQ(stream->SeekPos(bad), 0) << bad;
        EXPECT_EQ(stream->CurPosition(), 10) << bad;
    }
}

TEST_F(FileStreamTest, CursorsInterleaveOnOneSource)
{
    ASSERT_NE(open("abcdefghij"), nullptr);
    int32_t other = stream->newCursor();
    ASSERT_GE(other, 0);
    ASSERT_EQ(stream->seekWithCursor(6, other), 1);

    std::string seen;
    char buffer[2];
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(stream->read(buffer, 2), 2);
        seen.append(buffer, 2);
        ASSERT_EQ(stream->readWithCursor(buffer, 2, other), 2);
        seen.append(buffer, 2);
    }
    EXPECT_EQ(seen, "abghcdij");
    EXPECT_EQ(stream->CurPosition(), 4);
    EXPECT_EQ(stream->positionOfCursor(other), 10);
}

// A read that gets nothing leaves the position; a seek the host cannot
// follow still moves the cursor, and the next read
// seeks again.
TEST_F(FileStreamTest, ReadsAndSeeksTheHostFails)
{
    ASSERT_NE(open("abc"), nullptr);
    char buffer[8];
    EXPECT_EQ(stream->read(buffer, 8), 3) << "a short read counts what came";
    EXPECT_EQ(stream->read(buffer, 8), -1) << "nothing left";
    EXPECT_EQ(stream->CurPosition(), 3);

    failNext(tqhost::HostOp::Seek);
    EXPECT_EQ(stream->SeekPos(1), 0);
    EXPECT_EQ(stream->CurPosition(), 1);
    failNext(tqhost::HostOp::Seek);
    EXPECT_EQ(stream->read(buffer, 1), 0);
    failNext(tqhost::HostOp::Read);
    EXPECT_EQ(stream->read(buffer, 1), -1);
    EXPECT_EQ(stream->CurPosition(), 1);
    ASSERT_EQ(stream->read(buffer, 1), 1);
    EXPECT_EQ(buffer[0], 'b');
}

}  // namespace
