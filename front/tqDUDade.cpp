// The library's outward face: the three entry points and the session that
// ties one opened drawing to the host's records, its memory service, the
// reader chosen for its version and the chain of objects waiting for the
// host.
#include <cstring>
#include <new>

#include "TQDUDADE.h"
#include "core/dwgglobal.h"
#include "core/dwgreader.h"
#include "core/messages.h"
#include "front/switchDWGfuncs.h"
#include "front/textsession.h"
#include "support/publicstorage.h"

[[gnu::used]] static const char kIdent[] = "@(#)tqDUDade: Version 1.00.00";

namespace {

constexpr uint32_t kParamsWord8 = 48;

int32_t answersCapability(int32_t, int32_t what)
{
    return what == 1 ? 1 : 0;
}

DWGglobal *sessionOf(DWGSessionHeader *header)
{
    return reinterpret_cast<DWGglobal *>(header);
}

int32_t deliver(DWGglobal *session)
{
    HostServices *services = session->header.services;
    if (services->fpDeliverObjects == nullptr) {
        return 0;
    }
    return services->fpDeliverObjects(services, &session->chainHead, 0);
}

void announceOpen(DWGglobal *session, HostOpenParams *params)
{
    session->header.marker = DWG_SESSION_MARKER;
    params->word8 = kParamsWord8;
    params->word16 = 1;
    params->word96 = 1;
    params->word128 = 0;
    session->chainHead = nullptr;
    session->header.capability = answersCapability;
    session->header.getObject = getDWGobject;
    session->header.shutDown = shutDownDWGsrc;
}

// One step of the phase loop. A failed phase runs the finish operation once
// and stays where it is; false when that left nothing to deliver (the end
// object could not be made, or the host did not chain it), so that the
// caller stops instead of running the failed phase again and again. For a
// sink the end is always there to deliver.
bool runOnePhase(DWGReader *reader, DWGglobal *session)
{
    PhaseResult result = reader->runPhase(reader->phase);
    if (result == PhaseResult::Done) {
        ++reader->phase;
    } else if (result == PhaseResult::Failed) {
        reader->finish();
        return session->sink != nullptr ? session->ended : session->chainHead != nullptr;
    }
    return true;
}

// Runs the reader's phases until there is something for the caller:
// objects chained for the host, a text given to the sink, or the end. False
// when the reader can go no further.
template <class Ready>
bool runPhasesUntil(DWGglobal *session, Ready ready)
{
    while (!ready()) {
        DWGReader *reader = session->reader;
        if (reader == nullptr || reader->phase < 0 || reader->phase >= DWGReader::kPhases) {
            return false;
        }
        if (!runOnePhase(reader, session)) {
            return false;
        }
    }
    return true;
}

DWGSessionHeader *openSession(HostSource *source, HostOpenParams *params, TextSink *sink,
                              SourceInMemory *sourceInPlace)
{
    if (source == nullptr || params == nullptr) {
        return nullptr;
    }
    MemoryService *memory = newMemoryService(params->services);
    if (memory == nullptr) {
        reportToHost(source, msg::kNoMemory);
        return nullptr;
    }
    void *block = memory->allocate(sizeof(DWGglobal));
    if (block == nullptr) {
        reportToHost(source, msg::kNoSessionMemory);
        deleteMemoryService(memory);
        return nullptr;
    }
    DWGglobal *session = ::new (block) DWGglobal{};
    session->memory = memory;
    session->header.source = source;
    session->header.params = params;
    session->header.hostValue = params->hostValue;
    session->header.services = params->services;
    session->sink = sink;
    session->codePage = -1;
    session->reader = switchDWGfuncs(session, memory, sourceInPlace);
    if (session->reader == nullptr) {
        deleteMemoryService(memory);
        return nullptr;
    }
    announceOpen(session, params);
    return &session->header;
}

}  // namespace

extern "C" DWGSessionHeader *startSrcDWG(HostSource *source, HostOpenParams *params)
{
    return openSession(source, params, nullptr, nullptr);
}

extern "C" int32_t getDWGobject(DWGSessionHeader *header)
{
    if (header == nullptr) {
        return 0;
    }
    DWGglobal *session = sessionOf(header);
    if (!runPhasesUntil(session, [session] { return session->chainHead != nullptr; })) {
        return 0;
    }
    return deliver(session);
}

DWGSessionHeader *startTextSession(HostSource *source, HostOpenParams *params, TextSink *sink,
                                   SourceInMemory *sourceInPlace)
{
    return sink != nullptr ? openSession(source, params, sink, sourceInPlace) : nullptr;
}

bool readNextTexts(DWGSessionHeader *header)
{
    DWGglobal *session = sessionOf(header);
    if (session->ended) {
        return false;
    }
    const uint64_t before = session->textsToSink;
    return runPhasesUntil(session, [session, before] { return session->textsToSink != before || session->ended; });
}

bool textSessionEnded(DWGSessionHeader *header)
{
    return sessionOf(header)->ended;
}

int32_t textSessionCodePage(DWGSessionHeader *header)
{
    return sessionOf(header)->codePage;
}

extern "C" void shutDownDWGsrc(DWGSessionHeader *header)
{
    if (header == nullptr) {
        return;
    }
    DWGglobal *session = sessionOf(header);
    header->marker = 0;
    MemoryService *memory = session->memory;
    if (memory == nullptr) {
        return;
    }
    deleteReader(session);
    deleteMemoryService(memory);
}
