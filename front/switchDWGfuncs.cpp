#include "switchDWGfuncs.h"

#include <cstring>

#include "front/dwgglobal.h"
#include "r12/getR12DWGdata.h"
#include "r13/getDWGdata.h"
#include "support/filestrmio.h"
#include "support/strEtc.h"

[[gnu::used]] static const char kIdent[] = "@(#)switchDWGfuncs: Version 1.00.00";

namespace {

struct VersionEntry {
    char text[7];
    int32_t family;
};

const VersionEntry kVersionTable[kVersionCount] = {
    {"AC1002", kFamilyNone}, {"AC1004", kFamilyNone}, {"AC1006", kFamilyR12}, {"AC1009", kFamilyR12},
    {"AC1010", kFamilyR12},  {"AC1012", kFamilyR13},  {"AC1013", kFamilyR13}, {"AC1014", kFamilyR13},
    {"AC1015", kFamilyR13},  {"AC1500", kFamilyNone}, {"", kFamilyNone},
};

constexpr int32_t kFirstComparedVersion = 2;
constexpr int32_t kLastComparedVersion = 9;

bool validIndex(int32_t index)
{
    return index >= 0 && index < kVersionCount;
}

}  // namespace

int32_t versionFamily(int32_t index)
{
    return validIndex(index) ? kVersionTable[index].family : kFamilyNone;
}

const char *versionString(int32_t index)
{
    return validIndex(index) ? kVersionTable[index].text : "";
}

int32_t matchVersion(const char bytes[6], int32_t first, int32_t last)
{
    for (int32_t index = first; index <= last && validIndex(index); ++index) {
        const char *text = kVersionTable[index].text;
        if (bytes[5] == text[5] && memcmp(bytes, text, 6) == 0) {
            return index;
        }
    }
    return kNoVersion;
}

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

namespace {

DWGReader *buildReader(DWGglobal *session, MemoryService *memory)
{
    switch (versionFamily(session->versionIndex)) {
    case kFamilyR12:
        return newR12DWGReader(session, memory);
    case kFamilyR13:
        return newDWGReader(session, memory);
    default:
        return nullptr;
    }
}

}  // namespace

DWGReader *switchDWGfuncs(DWGglobal *session, MemoryService *memory)
{
    if (session == nullptr || memory == nullptr) {
        return nullptr;
    }
    StrEtc *strings = newStrEtc(memory);
    if (strings == nullptr) {
        return nullptr;
    }
    FileStream *stream = newFileStream(session->header.source, strings, memory);
    if (stream == nullptr) {
        deleteStrEtc(strings);
        return nullptr;
    }
    session->versionIndex = detectVersion(stream);
    deleteFileStream(stream);
    DWGReader *reader = buildReader(session, memory);
    deleteStrEtc(strings);
    return reader;
}

void deleteReaderOfFamily(DWGglobal *session, DWGReader *reader)
{
    if (reader == nullptr) {
        return;
    }
    switch (versionFamily(session->versionIndex)) {
    case kFamilyR12:
        deleteR12DWGReader(reader);
        break;
    case kFamilyR13:
        deleteDWGReader(reader);
        break;
    default:
        break;
    }
}
