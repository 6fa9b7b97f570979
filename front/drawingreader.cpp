#include "front/drawingreader.h"

#include <cstring>

#include "core/messages.h"
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
    p_takeFacts();
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
    const bool more =
        runPhasesUntil(session, [session, before] { return session->textsToSink != before || session->ended; });
    p_takeFacts();
    return more;
}

void DrawingReader::close()
{
    if (session_ != nullptr) {
        endSession(session_);
        session_ = nullptr;
    }
}

void DrawingReader::p_takeFacts()
{
    memcpy(facts_.versionText, session_->versionText, sizeof facts_.versionText);
    facts_.versionIndex = session_->versionIndex;
    facts_.codePage = session_->codePage;
    facts_.cutShort = session_->cutShort;
    facts_.damaged = session_->damaged;
    facts_.ended = session_->ended;
}
