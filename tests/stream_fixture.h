// A drawing's bytes behind the recording host, with what the R13-R2000
// readers are built on: the session record, its memory service and a file
// stream over the source. Shared by the tests of the lower reader layer.
#ifndef TQ_TESTS_STREAM_FIXTURE_H
#define TQ_TESTS_STREAM_FIXTURE_H

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "core/dwgglobal.h"
#include "front/hostinput.h"
#include "r2004/container.h"
#include "support/filestrmio.h"
#include "support/publicstorage.h"
#include "tqhost.h"

// The parts one after another.
inline std::vector<uint8_t> concat(std::initializer_list<std::vector<uint8_t>> parts)
{
    std::vector<uint8_t> all;
    for (const std::vector<uint8_t> &part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

class StreamFixture {
public:
    explicit StreamFixture(std::vector<uint8_t> bytes, tqhost::HostOptions options = {})
        : host(std::move(bytes), std::move(options)), input(host.source())
    {
        session.header.services = host.services();
        session.source = &input;
        session.reports = &input;
        memory = newMemoryService(hostBlocks(host.services()));
        session.memory = memory;
        stream = newFileStream(&input, memory);
    }

    ~StreamFixture()
    {
        deleteFileStream(stream);
        deleteMemoryService(memory);
    }

    // Every text passed to fpReport so far, as the host received it.
    std::vector<std::string> reports() const
    {
        std::vector<std::string> texts;
        for (const tqhost::Event &event : host.events()) {
            if (event.type == tqhost::Event::Type::Report) {
                texts.push_back(event.bytes);
            }
        }
        return texts;
    }

    tqhost::RecordingHost host;
    HostInput input;
    DWGglobal session{};
    MemoryService *memory = nullptr;
    FileStream *stream = nullptr;
};

// A paged container (R2004-R2018) opened over composed bytes by make, one of
// newR2004Container and newR2007Container, and given back at the end.
struct OpenedContainer {
    using Make = DrawingContainer *(*)(DWGglobal *, MemoryService *, FileStream *);
    OpenedContainer(std::vector<uint8_t> bytes, Make make) : fixture(std::move(bytes))
    {
        container = make(&fixture.session, fixture.memory, fixture.stream);
    }
    ~OpenedContainer()
    {
        if (container != nullptr) {
            container->destroy();
        }
    }
    OpenedContainer(const OpenedContainer &) = delete;
    OpenedContainer &operator=(const OpenedContainer &) = delete;

    // Reads from `from` in pieces of `chunk` bytes until a read comes back
    // short; by default the whole section in one piece.
    std::vector<uint8_t> readAll(SectionName name, int32_t chunk = 0, uint32_t from = 0)
    {
        chunk = chunk > 0 ? chunk : static_cast<int32_t>(container->sectionSize(name)) + 1;
        std::vector<uint8_t> all;
        for (uint32_t offset = from;;) {
            std::vector<uint8_t> piece(static_cast<std::size_t>(chunk));
            const int32_t got = container->readSection(name, offset, piece.data(), chunk);
            all.insert(all.end(), piece.begin(), piece.begin() + got);
            offset += static_cast<uint32_t>(got);
            if (got < chunk) {
                return all;
            }
        }
    }

    StreamFixture fixture;
    DrawingContainer *container = nullptr;
};

#endif
