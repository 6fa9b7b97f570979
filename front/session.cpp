#include "front/session.h"

#include "front/switchDWGfuncs.h"

bool startReading(DWGglobal *session, MemoryService *memory, ReaderSource *source, ReportListener *reports,
                  TextSink *sink)
{
    session->memory = memory;
    session->source = source;
    session->reports = reports;
    session->sink = sink;
    session->everyKind = sink != nullptr;
    session->multileaderType = 0;
    for (uint16_t &type : session->blockTextTypes) {
        type = 0;
    }
    session->codePage = -1;
    session->reader = switchDWGfuncs(session, memory);
    return session->reader != nullptr;
}

bool runOnePhase(DWGglobal *session)
{
    DWGReader *reader = session->reader;
    if (reader == nullptr || reader->phase < 0 || reader->phase >= DWGReader::kPhases) {
        return false;
    }
    const PhaseResult result = reader->runPhase(reader->phase);
    if (result == PhaseResult::Done) {
        ++reader->phase;
    } else if (result == PhaseResult::Failed) {
        reader->finish();
        return session->sink != nullptr ? session->ended : session->chainHead != nullptr;
    }
    return true;
}

void endSession(DWGglobal *session)
{
    MemoryService *memory = session->memory;
    if (memory == nullptr) {
        return;
    }
    deleteReader(session);
    deleteMemoryService(memory);
}
