#include "r13/getDWGdata.h"

#include "front/switchDWGfuncs.h"
#include "r13/getDWGobjectMap.h"
#include "r13/getDWGobjects.h"
#include "support/byteswap.h"
#include "support/component.h"
#include "support/filestrmio.h"
#include "support/strEtc.h"

static const char kModule[] = "getDWGdata";
[[gnu::used]] static const char kIdent[] = "@(#)getDWGdata(R13, R14 and R2000): Version 2.05.00";

namespace {

// The lines our messages have always named.
constexpr int32_t kAllocationLine = 133;
constexpr int32_t kVersionLine = 150;
constexpr int32_t kSectionsLine = 157;

constexpr int32_t kFirstVersion = 5;  // "AC1012"
constexpr int32_t kLastVersion = 8;   // "AC1015"
constexpr int32_t kVersionLength = 6;

// The file header: the number of section locators at offset 21, then the
// locators, 9 bytes each (number, seeker, size). Records 0 (header
// variables), 1 (classes) and 2 (object map) are all we read, but a file
// with fewer than 5 is not one we know.
constexpr int32_t kLocatorCountOffset = 21;
constexpr int32_t kMinLocatorCount = 5;
constexpr uint8_t kHeaderLocator = 0;
constexpr uint8_t kClassesLocator = 1;
constexpr uint8_t kObjectMapLocator = 2;

// Each section is framed by 16-byte sentinels. The header area runs through
// the sentinel that ends the file header; the classes begin after theirs.
// After the classes come 512 bytes of padding before the objects.
constexpr int32_t kSentinelLength = 16;
constexpr int32_t kPaddingLength = 512;

// Offsets from the drawing are untrusted: their sums wrap instead of
// overflowing, and a wrapped bound is refused later by the stream.
int32_t offsetSum(int32_t a, int32_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

}  // namespace

DWGReader *newDWGReader(DWGglobal *session, MemoryService *memory)
{
    if (session == nullptr || memory == nullptr || session->header.source == nullptr ||
        session->header.services == nullptr) {
        return nullptr;
    }
    DWGDataReader *reader = newIn<DWGDataReader>(memory, session, memory);
    if (reader == nullptr) {
        reportf(session, "*** ERROR *** Memory allocation failed[%s/%d].", kModule, kAllocationLine);
        return nullptr;
    }
    if (!reader->p_open()) {
        deleteDWGReader(reader);
        return nullptr;
    }
    session->versionIndex = reader->p_getVersion();
    if (versionFamily(session->versionIndex) != kFamilyR13) {
        reportf(session, "*** ERROR *** This version[%s] has not been supported[%s/%d].", reader->version(),
                kModule, kVersionLine);
        deleteDWGReader(reader);
        return nullptr;
    }
    if (reader->p_getSectionsPosition() == 0) {
        reportf(session, "*** ERROR *** p_getSectionsPosition failed[%s/%d].", kModule, kSectionsLine);
        deleteDWGReader(reader);
        return nullptr;
    }
    return reader;
}

void deleteDWGReader(DWGReader *reader)
{
    if (reader != nullptr) {
        auto *own = static_cast<DWGDataReader *>(reader);
        deleteIn(own->memory(), own);
    }
}

int32_t p_finish(DWGglobal *session)
{
    DWGOutputObject *end = createObject(session, DWG_OBJECT_END);
    if (end == nullptr) {
        return 0;
    }
    appendObject(session, end);
    return 1;
}

DWGDataReader::~DWGDataReader()
{
    if (swap_ != nullptr) {
        deleteByteSwap(swap_);
    }
    if (map_ != nullptr) {
        deleteObjectMap(map_);
    }
    if (objects_ != nullptr) {
        deleteDWGObjects(objects_);
    }
    if (stream_ != nullptr) {
        deleteFileStream(stream_);
    }
    if (strings_ != nullptr) {
        deleteStrEtc(strings_);
    }
}

bool DWGDataReader::p_open()
{
    strings_ = newStrEtc(memory_);
    if (strings_ == nullptr) {
        return false;
    }
    stream_ = newFileStream(session_->header.source, strings_, memory_);
    if (stream_ == nullptr) {
        return false;
    }
    swap_ = newByteSwap(memory_);
    return swap_ != nullptr;
}

int32_t DWGDataReader::runPhase(int32_t index)
{
    using Phase = int32_t (DWGDataReader::*)();
    static constexpr Phase kPhaseTable[kPhases] = {
        &DWGDataReader::p_hasHeader,     &DWGDataReader::p_hasClasses, &DWGDataReader::p_hasPadding,
        &DWGDataReader::p_readObjectMap, &DWGDataReader::p_readObjects, &DWGDataReader::p_finishPhase,
    };
    if (index < 0 || index >= kPhases) {
        return 0;
    }
    return (this->*kPhaseTable[index])();
}

// The version index of the first six bytes among "AC1012" to "AC1015"; 10
// (no version) when they differ or cannot be read, 0 when the stream cannot
// be positioned.
int32_t DWGDataReader::p_getVersion()
{
    if (stream_->SeekPos(0) != 1) {
        return 0;
    }
    if (stream_->read(version_, kVersionLength) != kVersionLength) {
        return kNoVersion;
    }
    return matchVersion(version_, kFirstVersion, kLastVersion);
}

// The locators are read one after another from offset 25 on; the order of
// the range operations makes records 0, 1 and 2 arrive in turn.
int32_t DWGDataReader::p_getSectionsPosition()
{
    int32_t count = 0;
    if (stream_->SeekPos(kLocatorCountOffset) != 1 || p_readWord(&count) == 0 || count < kMinLocatorCount) {
        return 0;
    }
    return p_getHeaderPos() && p_getClassesPos() && p_getPaddingPos() && p_getObjectsPos() && p_getObjectMapPos();
}

int32_t DWGDataReader::p_getHeaderPos()
{
    int32_t seeker = 0;
    int32_t size = 0;
    if (p_readLocator(kHeaderLocator, &seeker, &size) == 0) {
        return 0;
    }
    ranges_.header = {0, offsetSum(offsetSum(seeker, size), kSentinelLength)};
    return 1;
}

int32_t DWGDataReader::p_getClassesPos()
{
    int32_t seeker = 0;
    int32_t size = 0;
    if (p_readLocator(kClassesLocator, &seeker, &size) == 0) {
        return 0;
    }
    ranges_.classes = {offsetSum(seeker, kSentinelLength), offsetSum(seeker, size)};
    return 1;
}

int32_t DWGDataReader::p_getPaddingPos()
{
    if (ranges_.classes.end == -1 && p_getClassesPos() == 0) {
        return 0;
    }
    ranges_.padding = {ranges_.classes.end, offsetSum(ranges_.classes.end, kPaddingLength)};
    return 1;
}

int32_t DWGDataReader::p_getObjectsPos()
{
    if (ranges_.padding.end == -1 && p_getPaddingPos() == 0) {
        return 0;
    }
    if (ranges_.objectMap.start == -1 && p_getObjectMapPos() == 0) {
        return 0;
    }
    ranges_.objects = {ranges_.padding.end, ranges_.objectMap.start};
    return 1;
}

int32_t DWGDataReader::p_getObjectMapPos()
{
    if (ranges_.objectMap.start > 0 && ranges_.objectMap.end > 0) {
        return 1;
    }
    int32_t seeker = 0;
    int32_t size = 0;
    if (p_readLocator(kObjectMapLocator, &seeker, &size) == 0) {
        return 0;
    }
    ranges_.objectMap = {seeker, offsetSum(seeker, size)};
    return 1;
}

int32_t DWGDataReader::p_readLocator(uint8_t expected, int32_t *seeker, int32_t *size)
{
    *seeker = -1;
    *size = -1;
    uint8_t number = 0;
    if (stream_->read(&number, 1) <= 0 || number != expected) {
        return 0;
    }
    return p_readWord(seeker) && p_readWord(size);
}

// A 32-bit little-endian word of the file header; a short read keeps the
// bytes that came.
int32_t DWGDataReader::p_readWord(int32_t *value)
{
    uint32_t word = 0;
    if (stream_->read(&word, sizeof word) <= 0) {
        return 0;
    }
    *value = static_cast<int32_t>(swap_->leSwap32(word));
    return 1;
}

int32_t DWGDataReader::p_hasHeader()
{
    return ranges_.header.known() ? 1 : 0;
}

int32_t DWGDataReader::p_hasClasses()
{
    return ranges_.classes.known() ? 1 : 0;
}

int32_t DWGDataReader::p_hasPadding()
{
    return ranges_.padding.known() ? 1 : 0;
}

// The objects begin at the lowest offset the map lists; a map without
// entries leaves nothing to walk.
int32_t DWGDataReader::p_readObjectMap()
{
    if (!ranges_.objectMap.known()) {
        return 0;
    }
    if (map_ == nullptr) {
        map_ = newObjectMap(session_, memory_, strings_, stream_, ranges_.objectMap.start, ranges_.objectMap.end);
        if (map_ == nullptr) {
            return 0;
        }
    }
    ranges_.objects.start = map_->lowestOffset();
    return ranges_.objects.start > 0 ? 1 : 0;
}

// One object per call; the walk is made on the first call and goes when it
// reports its end.
int32_t DWGDataReader::p_readObjects()
{
    if (!ranges_.objects.known()) {
        return 0;
    }
    if (objects_ == nullptr) {
        objects_ = newDWGObjects(session_, memory_, strings_, stream_, map_, ranges_.objects.start,
                                 ranges_.objects.end);
        if (objects_ == nullptr) {
            return 0;
        }
    }
    int32_t result = objects_->getNextObject();
    if (result == 0 || result == 2) {
        return result;
    }
    deleteDWGObjects(objects_);
    objects_ = nullptr;
    return 1;
}

int32_t DWGDataReader::p_finishPhase()
{
    return p_finish(session_);
}
