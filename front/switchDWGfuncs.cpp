#include "front/switchDWGfuncs.h"

#include "core/dwgglobal.h"
#include "core/dwgreader.h"
#include "core/versions.h"
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

int32_t detectVersion(FileStream *stream)
{
    if (stream->SeekPos(0) != 1) {
        return 0;
    }
    char bytes[6];
    if (stream->read(bytes, sizeof bytes) != static_cast<int32_t>(sizeof bytes)) {
        return kNoVersion;
    }
    return matchVersion(bytes, kFirstComparedVersion, kLastComparedVersion);
}

DWGReader *switchDWGfuncs(DWGglobal *session, MemoryService *memory, SourceInMemory *sourceInPlace)
{
    if (session == nullptr || memory == nullptr) {
        return nullptr;
    }
    session->stream = newFileStream(session->header.source, memory, sourceInPlace);
    if (session->stream == nullptr) {
        return nullptr;
    }
    session->versionIndex = detectVersion(session->stream);
    ReaderMaker make = readerOf(versionFamily(session->versionIndex));
    DWGReader *reader = make == nullptr ? nullptr : make(session, memory, session->stream);
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
