#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "front/hostinput.h"
#include "support/filestrmio.h"
#include "support/publicstorage.h"
#include "tqhost.h"

namespace {

std::vector<uint8_t> bytesOf(const std::string &text) { return {text.begin(), text.end()}; }

class FileStreamTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        memory = newMemoryService(hostBlocks(services.record()));
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
        stream = newFileStream(inputOf(makeSource(text)), memory);
        return stream;
    }

    // The host's source as the stream reads it; it stays until the test ends.
    HostInput *inputOf(tqhost::MemorySource &host)
    {
        return inputs.emplace_back(std::make_unique<HostInput>(host.record())).get();
    }

    const tqhost::SourceStats &hostCalls() const { return source->stats(); }

    tqhost::HostContext context;
    tqhost::Services services{context};
    MemoryService *memory = nullptr;
    std::unique_ptr<tqhost::MemorySource> source;
    std::vector<std::unique_ptr<HostInput>> inputs;
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
        EXPECT_EQ(newFileStream(inputOf(host), memory), nullptr) << c.what;
        EXPECT_EQ(host.stats().closes, 1u) << c.what;
    }
    source.reset();
}

TEST_F(FileStreamTest, SizeIsMeasuredOnceAndSeeksStayWithinIt)
{
    tqhost::MemorySource &host = makeSource("0123456789");
    host.record()->fpSeek(host.record(), 3, 0);
    stream = newFileStream(inputOf(host), memory);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(stream->size(), 10u);
    EXPECT_EQ(host.position(), 3);
    EXPECT_EQ(stream->CurPosition(), 0) << "a cursor starts at 0 wherever the host stands";

    uint64_t tells = hostCalls().tells;
    char buffer[4];
    stream->read(buffer, 4);
    EXPECT_EQ(stream->SeekPos(10), 1) << "a seek up to the size is allowed";
    EXPECT_EQ(stream->size(), 10u);
    EXPECT_EQ(hostCalls().tells, tells);
    for (int32_t bad : {11, -1, INT32_MIN}) {
        EXPECT_EQ(stream->SeekPos(bad), 0) << bad;
        EXPECT_EQ(stream->CurPosition(), 10) << bad;
    }
}

// The host is asked for whole aligned windows, and only when a read leaves
// the cursor's window; moves never reach it. Interleaved readers do not
// evict each other's windows.
TEST_F(FileStreamTest, ReadsWithinAWindowAskNothingOfTheHost)
{
    const int32_t window = FileStream::kWindowSize;
    std::string text;  // three windows and a bit, each byte telling its place
    for (int32_t i = 0; i < 3 * window + 100; ++i)
        text += static_cast<char>(i % 251);
    ASSERT_NE(open(text), nullptr);
    int32_t other = stream->newCursor();
    ASSERT_EQ(stream->seekWithCursor(2 * window + 10, other), 1);
    char buffer[16];
    ASSERT_EQ(stream->read(buffer, 4), 4);
    ASSERT_EQ(stream->readWithCursor(buffer, 4, other), 4);
    const uint64_t reads = hostCalls().reads;
    const uint64_t seeks = hostCalls().seeks;

    for (int round = 0; round < 50; ++round) {
        ASSERT_EQ(stream->SeekPos(round * 7), 1);
        ASSERT_EQ(stream->read(buffer, 16), 16);
        EXPECT_EQ(std::string(buffer, 16), text.substr(static_cast<size_t>(round * 7), 16));
        ASSERT_EQ(stream->readWithCursor(buffer, 2, other), 2);
    }
    EXPECT_EQ(hostCalls().reads, reads);
    EXPECT_EQ(hostCalls().seeks, seeks);

    ASSERT_EQ(stream->SeekPos(window - 4), 1);
    ASSERT_EQ(stream->read(buffer, 8), 8) << "a read across a window's end";
    EXPECT_EQ(std::string(buffer, 8), text.substr(static_cast<size_t>(window - 4), 8));
    EXPECT_EQ(hostCalls().reads, reads + 1);

    ASSERT_EQ(stream->SeekPos(static_cast<int32_t>(text.size()) - 5), 1);
    EXPECT_EQ(stream->read(buffer, 16), 5) << "a short read at the end counts what came";
    EXPECT_EQ(stream->read(buffer, 16), -1) << "nothing left";
    EXPECT_EQ(stream->CurPosition(), static_cast<int32_t>(text.size()));
    EXPECT_EQ(stream->bytesRead(), 4u + 4 + 50 * 18 + 8 + 5) << "bytes handed to readers, not to windows";
}

// The stream keeps a few windows for all cursors: a cursor that comes back
// to bytes a window still holds, its own or another cursor's, asks nothing
// of the host; a new window replaces the one used least recently, but never
// one that another cursor is reading in.
TEST_F(FileStreamTest, CursorsShareTheWindowsTheStreamKeeps)
{
    const int32_t window = FileStream::kWindowSize;
    const int32_t count = FileStream::kWindowCount;
    std::string text;
    for (int32_t i = 0; i < (count + 2) * window; ++i) {
        text += static_cast<char>(i / window);
    }
    ASSERT_NE(open(text), nullptr);
    const int32_t other = stream->newCursor();
    char byte = 0;
    auto readAt = [&](int32_t cursor, int32_t position) {
        EXPECT_EQ(stream->seekWithCursor(position, cursor), 1);
        EXPECT_EQ(stream->readWithCursor(&byte, 1, cursor), 1);
        return static_cast<int32_t>(byte);
    };
    auto hostReadsFor = [&](int32_t cursor, int32_t windowIndex) {
        const uint64_t before = hostCalls().reads;
        EXPECT_EQ(readAt(cursor, windowIndex * window + 7), windowIndex);
        return hostCalls().reads - before;
    };

    EXPECT_EQ(hostReadsFor(other, 0), 1u);
    for (int32_t index = 1; index < count + 2; ++index) {
        EXPECT_EQ(hostReadsFor(0, index), 1u) << "window " << index;
    }
    EXPECT_EQ(hostReadsFor(other, 0), 0u) << "the window another cursor holds stays";
    EXPECT_EQ(hostReadsFor(0, count), 0u) << "a recent window is still there";
    EXPECT_EQ(hostReadsFor(other, count - 1), 0u) << "one cursor reads in a window another filled";
    EXPECT_EQ(hostReadsFor(0, 1), 1u) << "the oldest windows went first";
    EXPECT_EQ(hostReadsFor(0, 2), 1u);
}

// Bytes the host holds in memory are read where they lie, a large window at
// a time: the host is asked for none, a span within a window points into
// its bytes, one across two windows is a copy, and the host hears of every
// window the stream lets go.
TEST_F(FileStreamTest, BytesHeldInMemoryAreReadWhereTheyLie)
{
    const int32_t window = FileStream::kInPlaceWindowSize;
    const int32_t count = FileStream::kWindowCount + 1;
    std::string text;
    for (int32_t i = 0; i < count * window + 100; ++i) {
        text += static_cast<char>(i % 251);
    }
    struct Held final : ReaderSource {
        explicit Held(HostInput *host) : host(host) {}
        HostInput *host;
        const uint8_t *start = nullptr;
        std::vector<std::pair<uint64_t, uint32_t>> letGone;
        bool open() override { return host->open(); }
        uint64_t measure() override { return host->measure(); }
        int32_t readAt(uint64_t offset, void *buffer, int32_t count) override
        {
            return host->readAt(offset, buffer, count);
        }
        void close() override { host->close(); }
        const uint8_t *inMemory() const override { return start; }
        void letGo(uint64_t from, uint32_t length) override { letGone.emplace_back(from, length); }
    } held(inputOf(makeSource(text)));
    held.start = reinterpret_cast<const uint8_t *>(text.data());
    stream = newFileStream(&held, memory);
    ASSERT_NE(stream, nullptr);
    const uint64_t reads = hostCalls().reads;
    for (int32_t index = 0; index < count; ++index) {
        const int32_t at = index * window + 10;
        EXPECT_EQ(stream->span(at, 8).bytes, held.start + at) << "window " << index;
    }
    EXPECT_EQ(held.letGone, (std::vector<std::pair<uint64_t, uint32_t>>{{0, window}}))
        << "the last window took the place of the first";

    const FileStream::Span across = stream->span(window - 4, 8);
    ASSERT_EQ(across.length, 8);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(across.bytes), 8), text.substr(window - 4, 8));
    EXPECT_TRUE(across.bytes < held.start || across.bytes >= held.start + text.size());
    EXPECT_EQ(hostCalls().reads, reads);
    deleteFileStream(stream);  // while its source is there to be closed
    stream = nullptr;
}

}  // namespace
