// The host's records as the session takes them: its source as the readers
// read it, its reports, and its block operations as the memory service
// takes blocks.
#ifndef TQ_FRONT_HOSTINPUT_H
#define TQ_FRONT_HOSTINPUT_H

#include <cstdint>

#include "TQDUDADE.h"
#include "core/dwgglobal.h"
#include "support/publicstorage.h"
#include "support/readersource.h"

// The host's source: a positioned read is a seek and as many reads as it
// takes, and the reports go to its report operation.
class HostInput final : public ReaderSource, public ReportListener {
public:
    explicit HostInput(HostSource *source) : source_(source) {}

    bool open() override;
    // The end of the source is where the host stands after a seek to the
    // end; the host is put back where it was. Any failure measures 0.
    uint64_t measure() override;
    // The host's positions are 32-bit: a source read past them fails.
    int32_t readAt(uint64_t offset, void *buffer, int32_t count) override;
    void close() override;
    void report(const char *text) override { reportTo(source_, text); }

    // A fixed text to the report operation, when the host has one.
    static void reportTo(HostSource *source, const char *text);

private:
    bool p_seek(int32_t offset, int32_t origin);
    int32_t p_tell();

    HostSource *source_;
};

// The host's block operations: one zero-filled block of the size asked
// for; none when the host lacks them.
BlockOperations hostBlocks(HostServices *services);

#endif
