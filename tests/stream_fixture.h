// A drawing's bytes behind the recording host, with what the R13-R2000
// readers are built on: the session record, its memory service and a file
// stream over the source. Shared by the tests of the lower reader layer.
#ifndef TQ_TESTS_STREAM_FIXTURE_H
#define TQ_TESTS_STREAM_FIXTURE_H

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "core/dwgglobal.h"
#include "support/filestrmio.h"
#include "support/publicstorage.h"
#include "tqhost.h"

class StreamFixture {
public:
    explicit StreamFixture(std::vector<uint8_t> bytes, tqhost::HostOptions options = {})
        : host(std::move(bytes), std::move(options))
    {
        session.header.source = host.source();
        session.header.services = host.services();
        memory = newMemoryService(host.services());
        session.memory = memory;
        stream = newFileStream(host.source(), memory);
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

    // Makes the host's calls of op fail from the next one on.
    void failFromNext(tqhost::HostOp op)
    {
        tqhost::FaultPlan &faults = host.context().faults();
        faults.failFrom(op, faults.calls(op) + 1);
    }

    tqhost::RecordingHost host;
    DWGglobal session{};
    MemoryService *memory = nullptr;
    FileStream *stream = nullptr;
};

#endif
