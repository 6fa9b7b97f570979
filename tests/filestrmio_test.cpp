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
