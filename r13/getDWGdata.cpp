#include "r13/getDWGdata.h"

#include "front/dwgglobal.h"
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

// A byte range of the file; -1 while a bound is not known.
struct FileRange {
    int32_t start = -1;
    int32_t end = -1;

    bool known() const { return start != -1 && end != -1; }
};

class DWGDataReader final : public DWGReader {
public:
    DWGDataReader(DWGglobal *session, MemoryService *memory) : session_(session), memory_(memory) {}
    ~DWGDataReader();

    int32_t runPhase(int32_t index) override;

    // Makes the string utilities, the stream and the byte-order service;
    // false when any of them cannot be made.
    bool p_open();
    int32_t p_getVersion();
    int32_t p_getSectionsPosition();

    const char *version() const { return version_; }
    MemoryService *memory() const { return memory_; }

private:
    int32_t p_hasHeader();
    int32_t p_hasClasses();
    int32_t p_hasPadding();
    int32_t p_readObjectMap();
    int32_t p_readObjects();
    int32_t p_finishPhase();

    int32_t p_getHeaderPos();
    int32_t p_getClassesPos();
    int32_t p_getPaddingPos();
    int32_t p_getObjectsPos();
    int32_t p_getObjectMapPos();
    int32_t p_readLocator(uint8_t expected, int32_t *seeker, int32_t *size);
    int32_t p_readWord(int32_t *value);

    DWGglobal *session_;
    MemoryService *memory_;
    StrEtc *strings_ = nullptr;
    FileStream *stream_ = nullptr;
    ByteSwap *swap_ = nullptr;
    char version_[8] = {};
    FileRange header_;
    FileRange classes_;
    FileRange padding_;
    FileRange objectMap_;
    FileRange objects_;
    DWGObjects *walk_ = nullptr;
    ObjectMap *map_ = nullptr;
};

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
    if (walk_ != nullptr) {
        deleteDWGObjects(walk_);
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
    header_ = {0, offsetSum(offsetSum(seeker, size), kSentinelLength)};
    return 1;
}

int32_t DWGDataReader::p_getClassesPos()
{
    int32_t seeker = 0;
    int32_t size = 0;
    if (p_readLocator(kClassesLocator, &seeker, &size) == 0) {
        return 0;
    }
    classes_ = {offsetSum(seeker, kSentinelLength), offsetSum(seeker, size)};
    return 1;
}

int32_t DWGDataReader::p_getPaddingPos()
{
    if (classes_.end == -1 && p_getClassesPos() == 0) {
        return 0;
    }
    padding_ = {classes_.end, offsetSum(classes_.end, kPaddingLength)};
    return 1;
}

int32_t DWGDataReader::p_getObjectsPos()
{
    if (padding_.end == -1 && p_getPaddingPos() == 0) {
        return 0;
    }
    if (objectMap_.start == -1 && p_getObjectMapPos() == 0) {
        return 0;
    }
    objects_ = {padding_.end, objectMap_.start};
    return 1;
}

int32_t DWGDataReader::p_getObjectMapPos()
{
    if (objectMap_.start > 0 && objectMap_.end > 0) {
        return 1;
    }
    int32_t seeker = 0;
    int32_t size = 0;
    if (p_readLocator(kObjectMapLocator, &seeker, &size) == 0) {
        return 0;
    }
    objectMap_ = {seeker, offsetSum(seeker, size)};
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
    return header_.known() ? 1 : 0;
}

int32_t DWGDataReader::p_hasClasses()
{
    return classes_.known() ? 1 : 0;
}

int32_t DWGDataReader::p_hasPadding()
{
    return padding_.known() ? 1 : 0;
}

// The objects begin at the lowest offset the map lists; a map without
// entries leaves nothing to walk.
int32_t DWGDataReader::p_readObjectMap()
{
    if (!objectMap_.known()) {
        return 0;
    }
    if (map_ == nullptr) {
        map_ = newObjectMap(session_, memory_, strings_, stream_, objectMap_.start, objectMap_.end);
        if (map_ == nullptr) {
            return 0;
        }
    }
    objects_.start = map_->lowestOffset();
    return objects_.start > 0 ? 1 : 0;
}

// One object per call; the walk is made on the first call and goes when it
// reports its end.
int32_t DWGDataReader::p_readObjects()
{
    if (!objects_.known()) {
        return 0;
    }
    if (walk_ == nullptr) {
        walk_ = newDWGObjects(session_, memory_, strings_, stream_, map_, objects_.start, objects_.end);
        if (walk_ == nullptr) {
            return 0;
        }
    }
    int32_t result = walk_->getNextObject();
    if (result == 0 || result == 2) {
        return result;
    }
    deleteDWGObjects(walk_);
    walk_ = nullptr;
    return 1;
}

int32_t DWGDataReader::p_finishPhase()
{
    return p_finish(session_);
}
