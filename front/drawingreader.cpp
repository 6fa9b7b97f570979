#include "front/drawingreader.h"

#include <cstring>

#include "core/messages.h"
#include "support/filestrmio.h"
#include "front/session.h"
#include "support/component.h"

bool DrawingReader::open(const ReaderParts &parts)
{
    close();
    MemoryService *memory = newMemoryService(parts.blocks);
    if (memory == nullptr) {
        parts.reports->report(msg::kNoMemory);
        return false;
    }
    DWGglobal *session = newIn<DWGglobal>(memory);
    if (session == nullptr) {
        parts.reports->report(msg::kNoSessionMemory);
        deleteMemoryService(memory);
        return false;
    }
    session_ = session;
    const bool started = startReading(session, memory, parts.source, parts.reports, parts.texts);
    if (!started) {
        close();
    }
    return started;
}

bool DrawingReader::readOn()
{
    if (session_ == nullptr || session_->ended) {
        return false;
    }
    DWGglobal *session = session_;
    const uint64_t before = session->textsToSink;
    return runPhasesUntil(session, [session, before] { return session->textsToSink != before || session->ended; });
}

void DrawingReader::keepClassicKinds()
{
    if (session_ != nullptr) {
        session_->everyKind = false;
    }
}

void DrawingReader::close()
{
    if (session_ != nullptr) {
        facts_ = p_factsOf(session_);
        endSession(session_);
        session_ = nullptr;
    }
}

ReaderFacts DrawingReader::p_factsOf(const DWGglobal *session)
{
    ReaderFacts facts = {{}, session->versionIndex, session->codePage, session->cutShort, session->damaged,
                         session->ended, session->preview,
                         session->stream != nullptr ? session->stream->loadsNearEnd() : 0};
    memcpy(facts.versionText, session->versionText, sizeof facts.versionText);
    return facts;
}
