#include "front/switchDWGfuncs.h"

#include "core/dwgglobal.h"
#include "core/dwgreader.h"
#include "core/versions.h"
#include "dxf/dxfreader.h"
#include "r12/getR12DWGdata.h"
#include "r13/getDWGdata.h"
#include "support/filestrmio.h"

[[gnu::used]] static const char kIdent[] = "@(#)switchDWGfuncs: Version 1.00.00";

namespace {

// Detection compares "AC1006" to "AC1500"; the first two entries name
// releases no reader was ever made for.
constexpr int32_t kFirstComparedVersion = kAC1006;
constexpr int32_t kLastComparedVersion = kAC1500;

using ReaderMaker = DWGReader *(*)(DWGglobal *, MemoryService *, FileStream *);

ReaderMaker readerOf(ReaderFamily family)
{
    switch (family) {
    case ReaderFamily::R12:
        return newR12DWGReader;
    case ReaderFamily::R13:
        return newDWGReader;
    case ReaderFamily::None:
        break;
    }
    return nullptr;
}

void closeStream(DWGglobal *session)
{
    if (session->stream != nullptr) {
        deleteFileStream(session->stream);
        session->stream = nullptr;
    }
}

}  // namespace

int32_t detectVersion(FileStream *stream, char *text)
{
    if (stream->SeekPos(0) != 1) {
        return 0;
    }
    const int32_t got = stream->read(text, kVersionTextSize);
    text[got > 0 ? got : 0] = '\0';
    if (got != kVersionTextSize) {
        return kNoVersion;
    }
    return matchVersion(text, kFirstComparedVersion, kLastComparedVersion);
}

DWGReader *switchDWGfuncs(DWGglobal *session, MemoryService *memory)
{
    if (session == nullptr || memory == nullptr) {
        return nullptr;
    }
    session->versionIndex = kNoVersion;
    session->stream = newFileStream(session->source, memory);
    if (session->stream == nullptr) {
        return nullptr;
    }
    session->versionIndex = detectVersion(session->stream, session->versionText);
    ReaderMaker make = readerOf(versionFamily(session->versionIndex));
    DWGReader *reader = make == nullptr ? nullptr : make(session, memory, session->stream);
    if (reader == nullptr && session->versionIndex == kNoVersion && session->sink != nullptr) {
        reader = newDxfReader(session, memory, session->stream);
    }
    if (reader == nullptr) {
        closeStream(session);
    }
    return reader;
}

void deleteReader(DWGglobal *session)
{
    if (session->reader != nullptr) {
        session->reader->destroy();
        session->reader = nullptr;
    }
    closeStream(session);
}
