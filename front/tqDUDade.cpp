// The library's outward face: the three entry points of the host's
// protocol. The host's source and block operations become the session's
// source, reports and memory service, and the session chains output
// objects for the host to take.
#include <cstring>

#include "TQDUDADE.h"
#include "core/messages.h"
#include "front/hostinput.h"
#include "front/session.h"
#include "support/component.h"

[[gnu::used]] static const char kIdent[] = "@(#)tqDUDade: Version 1.00.00";

namespace {

constexpr uint32_t kParamsWord8 = 48;

// A host's session: the session record first, where the host finds its
// header, then the host's source as the readers see it.
struct HostSession {
    explicit HostSession(HostSource *source) : session{}, input(source) {}

    DWGglobal session;
    HostInput input;
};

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

void announceOpen(DWGglobal *session, HostSource *source, HostOpenParams *params)
{
    session->header.marker = DWG_SESSION_MARKER;
    session->header.source = source;
    session->header.params = params;
    session->header.hostValue = params->hostValue;
    session->header.services = params->services;
    params->word8 = kParamsWord8;
    params->word16 = 1;
    params->word96 = 1;
    params->word128 = 0;
    session->chainHead = nullptr;
    session->header.capability = answersCapability;
    session->header.getObject = getDWGobject;
    session->header.shutDown = shutDownDWGsrc;
}

}  // namespace

extern "C" DWGSessionHeader *startSrcDWG(HostSource *source, HostOpenParams *params)
{
    if (source == nullptr || params == nullptr) {
        return nullptr;
    }
    MemoryService *memory = newMemoryService(hostBlocks(params->services));
    if (memory == nullptr) {
        HostInput::reportTo(source, msg::kNoMemory);
        return nullptr;
    }
    HostSession *host = newIn<HostSession>(memory, source);
    if (host == nullptr) {
        HostInput::reportTo(source, msg::kNoSessionMemory);
        deleteMemoryService(memory);
        return nullptr;
    }
    DWGglobal *session = &host->session;
    session->header.services = params->services;
    if (!startReading(session, memory, &host->input, &host->input, nullptr)) {
        deleteMemoryService(memory);
        return nullptr;
    }
    announceOpen(session, source, params);
    return &session->header;
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

extern "C" void shutDownDWGsrc(DWGSessionHeader *header)
{
    if (header == nullptr) {
        return;
    }
    header->marker = 0;
    endSession(sessionOf(header));
}
