#include "r13/getDWGdata.h"

#include <algorithm>
#include <iterator>

#include "core/dwgglobal.h"
#include "core/dwgreader.h"
#include "core/messages.h"
#include "core/versions.h"
#include "core/properties.h"
#include "r13/classes.h"
#include "r13/dwgcommon.h"
#include "r13/getDWGobjectMap.h"
#include "r13/getDWGobjects.h"
#include "r13/headertimes.h"
#include "r13/previewplace.h"
#include "r13/propertiesrecord.h"
#include "r2004/container.h"
#include "r2004/documentinfo.h"
#include "r2004/sectionstream.h"
#include "support/bitcursor.h"
#include "support/byteswap.h"
#include "support/component.h"
#include "support/filestrmio.h"

static const char kModule[] = "getDWGdata";
[[gnu::used]] static const char kIdent[] = "@(#)getDWGdata(R13 to R2018): Version 2.05.00";

namespace {

// The lines our messages have always named.
constexpr int32_t kAllocationLine = 133;
constexpr int32_t kSectionsLine = 157;

// The file header: the code page of the byte texts at offset 19 (a 16-bit number), the number
// of section locators at offset 21, then the locators, 9 bytes each
// (number, seeker, size). Records 0 (header variables), 1 (classes) and 2
// (object map) are all we read, but a file with fewer than 5 is not one we
// know, and none has more than 8.
constexpr int32_t kCodePageOffset = 19;
constexpr int32_t kLocatorsOffset = 25;
constexpr int32_t kLocatorSize = 9;
constexpr int32_t kMinLocatorCount = 5;
constexpr int32_t kMaxLocatorCount = 8;
constexpr uint8_t kHeaderLocator = 0;
constexpr uint8_t kClassesLocator = 1;
constexpr uint8_t kObjectMapLocator = 2;

// Each section is framed by 16-byte sentinels.
constexpr int32_t kSentinelLength = 16;

// Offsets from the drawing are untrusted: their sums wrap instead of
// overflowing, and a wrapped bound is refused later by the stream.
int32_t offsetSum(int32_t a, int32_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

PhaseResult doneWhen(bool condition)
{
    return condition ? PhaseResult::Done : PhaseResult::Failed;
}

// The reader has three phases, the object map, the objects and the finish,
// and starts at the first of them: they are the session's last three, so
// that its finish is the session's last phase. A drawing's earlier parts,
// header variables and classes, hold no text.
constexpr int32_t kMapPhase = DWGReader::kFinishPhase - 2;
constexpr int32_t kObjectsPhase = DWGReader::kFinishPhase - 1;

class DWGDataReader final : public DWGReader {
public:
    DWGDataReader(DWGglobal *session, MemoryService *memory, FileStream *stream)
        : session_(session), memory_(memory), stream_(stream)
    {
        phase = kMapPhase;
    }

    PhaseResult runPhase(int32_t index) override;
    void destroy() override;
    int32_t readSectionLocators();
    void readHeaderTimes();
    bool openContainer();

private:
    PhaseResult p_readObjectMap();
    PhaseResult p_walkWithoutMap();
    PhaseResult p_walkForUnreadableMap(int64_t stop);
    bool p_hostFailed() const;
    PhaseResult p_readObjects();
    PhaseResult p_finishPhase();

    int32_t p_readLocators(BitCursor &in);
    int32_t p_readLocator(BitCursor &in, uint8_t expected, int32_t *seeker, int32_t *size);
    int32_t p_readWord(BitCursor &in, int32_t *value);
    void p_readRecordedEnd(BitCursor &in, int32_t locatorCount);
    void p_noteEnd(uint64_t end);
    ClassNumbers p_classNumbers();
    ClassNumbers p_classNumbersInFile();
    bool p_addressBroken() const;
    void p_reportState();
    struct ObjectBytes {
        FileStream::Span span;
        bool capped;  // the object is longer than the span
    };
    void p_readPropertiesRecord(uint64_t namedObjects);
    ObjectBytes p_objectBytes(uint64_t handle);

    static constexpr int32_t kMostObjectBytes = 0x10000;

    DWGglobal *session_;
    MemoryService *memory_;
    FileStream *stream_;
    int32_t variablesStart_ = 0;              // the header variables' section
    int32_t variablesSize_ = 0;
    int32_t classesStart_ = 0;                // the classes' section, before R2004
    int32_t classesSize_ = 0;
    int64_t classesEnd_ = 0;                  // where objects without a map are looked for from
    int64_t mapStart_ = 0;
    int64_t mapEnd_ = 0;
    int64_t objectsStart_ = 0;                // set by the map phase
    int64_t objectsEnd_ = 0;
    DWGObjects *walk_ = nullptr;
    ObjectMap *map_ = nullptr;
    DrawingContainer *container_ = nullptr;
    FileStream *fileStream_ = nullptr;        // the host's file under a container
    const bool *pageFailed_ = nullptr;        // of the container's sections
    uint64_t recordedEnd_ = 0;                // where the file ends by its header, before R2004
    uint64_t frontEnd_ = 0;                   // of the header variables and the classes, before R2004
    bool mapUnreadable_ = false;              // a map the file holds could not be read
};

}  // namespace

// Reads on from the stream version detection opened: the section locators
// of the file header.
DWGReader *newDWGReader(DWGglobal *session, MemoryService *memory, FileStream *stream)
{
    if (session == nullptr || memory == nullptr || stream == nullptr) {
        return nullptr;
    }
    DWGDataReader *reader = newIn<DWGDataReader>(memory, session, memory, stream);
    if (reader == nullptr) {
        reportf(session, msg::kAllocationFailed, kModule, kAllocationLine);
        return nullptr;
    }
    if (session->sink != nullptr) {
        session->preview = findPreview(stream);
    }
    if (versionAtLeast(session->versionIndex, kAC1018)) {
        if (!reader->openContainer()) {
            reader->destroy();
            return nullptr;
        }
        return reader;
    }
    if (reader->readSectionLocators() == 0) {
        reportf(session, msg::kSectionsPosition, kModule, kSectionsLine);
        reportDrawingState(session, stream->wentPastEnd(), false, HERE);
        reader->destroy();
        return nullptr;
    }
    if (session->sink != nullptr) {
        reader->readHeaderTimes();
    }
    return reader;
}

void DWGDataReader::destroy()
{
    deleteObjectMap(map_);
    deleteDWGObjects(walk_);
    if (stream_ != fileStream_ && fileStream_ != nullptr) {
        deleteFileStream(stream_);
    }
    if (container_ != nullptr) {
        container_->destroy();
    }
    deleteIn(memory_, this);
}

// From R2004 on the objects and their map are sections of the container,
// read as one stream: the objects from its start, the map after them. The
// sections before the objects need no range of their own there.
bool DWGDataReader::openContainer()
{
    fileStream_ = stream_;
    container_ = session_->versionIndex == kAC1021 ? newR2007Container(session_, memory_, fileStream_)
                                                   : newR2004Container(session_, memory_, fileStream_);
    if (container_ == nullptr) {
        reportDrawingState(session_, fileStream_->wentPastEnd(), true, HERE);
        return false;
    }
    session_->codePage = container_->codePage();
    if (session_->sink != nullptr) {
        readDocumentInfo(session_, memory_, container_);
    }
    const SectionStream sections = newSectionStream(container_, memory_);
    if (sections.stream == nullptr) {
        reportf(session_, msg::kSectionsPosition, HERE);
        return false;
    }
    stream_ = sections.stream;
    stream_->countLoadsWith(*fileStream_);
    pageFailed_ = sections.pageFailed;
    mapStart_ = sections.mapStart;
    mapEnd_ = static_cast<int64_t>(stream_->size());
    return true;
}

PhaseResult DWGDataReader::runPhase(int32_t index)
{
    switch (index) {
    case kMapPhase:
        return p_readObjectMap();
    case kObjectsPhase:
        return p_readObjects();
    case kFinishPhase:
        return p_finishPhase();
    default:
        return PhaseResult::Failed;
    }
}

// The file header is read from its bytes in memory. Its numbers are
// little-endian; one the file ends inside keeps the bytes there are, and
// one the file holds no byte of fails.
int32_t DWGDataReader::readSectionLocators()
{
    const FileStream::Span span = stream_->span(0, kLocatorsOffset + kMaxLocatorCount * kLocatorSize);
    BitCursor in(span.bytes, span.length, span.readable);
    const int32_t read = p_readLocators(in);
    stream_->noteRanOut(span, in.overran());
    return read;
}

// The code page, the number of locators just after it, then records 0, 1
// and 2 in turn: the end of the classes and the range of the object map
// are kept.
int32_t DWGDataReader::p_readLocators(BitCursor &in)
{
    in.seekBit(kCodePageOffset * 8);
    const uint16_t codePage = in.RS();
    if (in.overran()) {
        return 0;
    }
    session_->codePage = codePage;
    int32_t count = 0;
    if (!p_readWord(in, &count) || count < kMinLocatorCount) {
        return 0;
    }
    int32_t seekers[kObjectMapLocator + 1] = {};
    int32_t sizes[kObjectMapLocator + 1] = {};
    for (uint8_t number = kHeaderLocator; number <= kObjectMapLocator; ++number) {
        if (!p_readLocator(in, number, &seekers[number], &sizes[number])) {
            return 0;
        }
    }
    variablesStart_ = seekers[kHeaderLocator];
    variablesSize_ = sizes[kHeaderLocator];
    classesStart_ = seekers[kClassesLocator];
    classesSize_ = sizes[kClassesLocator];
    classesEnd_ = offsetSum(classesStart_, classesSize_);
    for (uint8_t number : {kHeaderLocator, kClassesLocator}) {
        const uint64_t end = uint64_t{static_cast<uint32_t>(seekers[number])} + static_cast<uint32_t>(sizes[number]);
        frontEnd_ = end > frontEnd_ ? end : frontEnd_;
    }
    mapStart_ = seekers[kObjectMapLocator];
    mapEnd_ = offsetSum(seekers[kObjectMapLocator], sizes[kObjectMapLocator]);
    p_readRecordedEnd(in, count < kMaxLocatorCount ? count : kMaxLocatorCount);
    return 1;
}

// Our own reader takes the drawing's times from its header variables, which
// follow the section's sentinel and size. They lie within the first few
// hundred bytes unless the menu's name before them is long. Times that
// cannot be read are left out without a report: a header cut short makes
// the drawing cut short, which is said, and one that merely holds fewer
// variables (as drawings made by other programs may) is no fault of the
// texts.
void DWGDataReader::readHeaderTimes()
{
    constexpr int32_t kVariablesAt = kSentinelLength + 4;
    constexpr int32_t kTimesReach = 4096;
    const int64_t at = int64_t{variablesStart_} + kVariablesAt;
    if (variablesStart_ < 0 || variablesSize_ <= kVariablesAt || static_cast<uint64_t>(at) >= stream_->size()) {
        return;
    }
    const int32_t length = variablesSize_ - kVariablesAt < kTimesReach ? variablesSize_ - kVariablesAt : kTimesReach;
    DrawingProperties *properties = newIn<DrawingProperties>(memory_);
    if (properties == nullptr) {
        reportf(session_, msg::kAllocationFailed, HERE);
        return;
    }
    const FileStream::Span span = stream_->span(static_cast<int32_t>(at), length);
    BitCursor in(span.bytes, span.length, span.readable);
    uint64_t namedObjects = 0;
    if (!decodeHeaderTimes(in, !versionAtLeast(session_->versionIndex, kAC1015), properties, &namedObjects)) {
        deleteIn(memory_, properties);
        return;
    }
    session_->properties = properties;
    p_readPropertiesRecord(namedObjects);
}

// The properties record is found through the named-object dictionary the
// header names, both by the object map: a drawing cut before the map's
// sections that list them, or without the dictionary or the record, has
// none. The map made here serves the map phase after. Each object is read
// up to kMostObjectBytes, far more than any properties dialog fills: a
// longer dictionary or record is said to be capped, one that cannot be
// read whole to end early.
void DWGDataReader::p_readPropertiesRecord(uint64_t namedObjects)
{
    static constexpr char kRecordName[] = "DWGPROPS";
    if (namedObjects == 0) {
        return;
    }
    map_ = newObjectMap(session_, memory_, stream_, mapStart_, mapEnd_);
    if (map_ == nullptr) {
        return;
    }
    DrawingProperties *properties = session_->properties;
    const ObjectBytes dictionary = p_objectBytes(namedObjects);
    BitCursor dictionaryIn(dictionary.span.bytes, dictionary.span.length, dictionary.span.readable);
    const uint64_t record = findDictionaryEntry(dictionaryIn, session_->versionIndex, kRecordName);
    const ObjectBytes recordBytes = record == 0 ? ObjectBytes{} : p_objectBytes(record);
    properties->capped = (record == 0 && dictionary.capped) || recordBytes.capped;
    if (recordBytes.span.length > 0) {
        auto *scratch = static_cast<uint8_t *>(memory_->allocate(kMostObjectBytes));
        if (scratch == nullptr) {
            reportf(session_, msg::kAllocationFailed, HERE);
            return;
        }
        BitCursor in(recordBytes.span.bytes, recordBytes.span.length, recordBytes.span.readable);
        const bool read = decodePropertiesRecord(in, session_->versionIndex, scratch, kMostObjectBytes, properties);
        memory_->free(scratch);
        if (!read && !properties->capped) {
            reportf(session_, msg::kPropertiesCut, kRecordName, recordBytes.span.length, HERE);
        }
    }
    if (properties->capped) {
        reportf(session_, msg::kPropertiesCapped, static_cast<int32_t>(DrawingProperties::kPoolSize),
                DrawingProperties::kMaxCustom, HERE);
    }
}

// The bytes of the object of handle, by the map, up to kMostObjectBytes;
// none when the map does not list it or its head cannot be read.
DWGDataReader::ObjectBytes DWGDataReader::p_objectBytes(uint64_t handle)
{
    int64_t at = 0;
    if (!map_->findOffset(handle, &at) || at < 0 || static_cast<uint64_t>(at) >= stream_->size()) {
        return ObjectBytes{};
    }
    const FileStream::Span headBytes = stream_->span(at, kLongestObjectHead);
    ObjectHead head{};
    if (!readObjectHead(headBytes.bytes, headBytes.length, session_->versionIndex, &head)) {
        return ObjectBytes{};
    }
    const bool capped = head.length > kMostObjectBytes;
    return ObjectBytes{stream_->span(at, capped ? kMostObjectBytes : head.length), capped};
}

// Where the file ends by its own header: the furthest end of a section a
// locator records (records 0 to 2 were noted as they were read), and of
// the preview image, which from R13c3 on follows everything else. A file
// shorter than that was cut short; a full-length file whose reading still
// leads past its end is damaged.
void DWGDataReader::p_readRecordedEnd(BitCursor &in, int32_t locatorCount)
{
    for (int32_t i = kObjectMapLocator + 1; i < locatorCount; ++i) {
        const int32_t at = kLocatorsOffset + i * kLocatorSize;
        in.seekBit(static_cast<uint64_t>(at) * 8 + 8);  // past the record number
        const uint32_t seeker = in.RL();
        const uint32_t size = in.RL();
        if (in.overran()) {
            p_noteEnd(static_cast<uint64_t>(at) + kLocatorSize);
            return;
        }
        p_noteEnd(uint64_t{seeker} + size);
    }
    p_noteEnd(previewAreaEnd(stream_));
}

void DWGDataReader::p_noteEnd(uint64_t end)
{
    recordedEnd_ = end > recordedEnd_ ? end : recordedEnd_;
}

// The header variables and the classes come before the object map in
// every drawing, so a file cut short that still holds its map whole holds
// them too: where it does not, an address is broken, and the drawing is
// damaged rather than cut short.
bool DWGDataReader::p_addressBroken() const
{
    const uint64_t size = stream_->size();
    return static_cast<uint32_t>(mapStart_) <= static_cast<uint32_t>(mapEnd_) && static_cast<uint32_t>(mapEnd_) <= size &&
           frontEnd_ > size;
}

// A locator: its number, which must be the one expected, its seeker and
// its size.
int32_t DWGDataReader::p_readLocator(BitCursor &in, uint8_t expected, int32_t *seeker, int32_t *size)
{
    const bool numberRead = in.bitOffset() < in.spanLength() * 8;
    const uint8_t number = in.RC();
    if (!numberRead || number != expected || !p_readWord(in, seeker) || !p_readWord(in, size)) {
        return 0;
    }
    p_noteEnd(uint64_t{static_cast<uint32_t>(*seeker)} + static_cast<uint32_t>(*size));
    return 1;
}

int32_t DWGDataReader::p_readWord(BitCursor &in, int32_t *value)
{
    const bool any = in.bitOffset() < in.spanLength() * 8;
    *value = static_cast<int32_t>(in.RL());
    return any ? 1 : 0;
}

// The objects begin at the lowest offset the map lists; a map without
// entries leaves nothing to walk. A map that cannot be read costs only its
// order: the objects are walked in file order, which finds every object
// the map would have listed. One within the file leaves the drawing
// damaged, with where it failed; one that runs past its end, cut short.
PhaseResult DWGDataReader::p_readObjectMap()
{
    if (container_ != nullptr && container_->pagesFound()) {
        return p_walkWithoutMap();
    }
    if (container_ != nullptr && container_->sectionSize(SectionName::Handles) == 0) {
        return p_walkForUnreadableMap(mapStart_);
    }
    const bool mapInFile = mapEnd_ >= 0 && static_cast<uint64_t>(mapEnd_) <= stream_->size();
    if (map_ == nullptr) {
        map_ = newObjectMap(session_, memory_, stream_, mapStart_, mapEnd_);
        if (map_ == nullptr && mapInFile) {
            return PhaseResult::Failed;
        }
    }
    int64_t lowest = 0;
    if (map_ != nullptr && map_->scanLowestOffset(&lowest)) {
        objectsStart_ = lowest;
        objectsEnd_ = mapStart_;
        return doneWhen(lowest > 0);
    }
    if (container_ != nullptr || mapInFile) {
        if (p_hostFailed()) {
            mapUnreadable_ = true;
            return PhaseResult::Failed;
        }
        return p_walkForUnreadableMap(map_ != nullptr ? map_->scanStop() : mapStart_);
    }
    return p_walkWithoutMap();
}

// A map the host failed to deliver (a read or a block refused) is not
// lost: the drawing ends short, as its texts in map order may still come
// on another try.
bool DWGDataReader::p_hostFailed() const
{
    return memory_->refused() || (container_ != nullptr ? fileStream_ : stream_)->sourceFailed();
}

// A map the drawing holds, or should, that fails from stop on (in the
// stream's offsets) leaves the drawing damaged; where is said.
PhaseResult DWGDataReader::p_walkForUnreadableMap(int64_t stop)
{
    mapUnreadable_ = true;
    const bool inSection = container_ != nullptr;
    reportf(session_, msg::kObjectMapUnreadable, static_cast<uint32_t>(inSection ? stop - mapStart_ : stop),
            inSection ? sectionNameText(SectionName::Handles) : "the file", HERE);
    return p_walkWithoutMap();
}

// The objects of a drawing before R2004 lie one after another between the
// classes and the map, so where the file ends inside the map or before it,
// those the file still holds are walked in file order from the end of the
// classes up to the map or the end of the file. The walk can also meet
// objects a later save left behind, which the map no longer lists. From
// R2004 on, a container whose maps were lost serves the objects section
// alone, pieced together from the pages found: it is walked the same way,
// from its start to its end.
PhaseResult DWGDataReader::p_walkWithoutMap()
{
    deleteObjectMap(map_);
    map_ = nullptr;
    const uint64_t fileSize = stream_->size();
    const uint64_t mapStart = static_cast<uint32_t>(mapStart_);  // the header's 32-bit seeker
    objectsStart_ = classesEnd_;
    objectsEnd_ = static_cast<int64_t>(mapStart < fileSize ? mapStart : fileSize);
    return PhaseResult::Done;
}

// One object per call; the walk is made on the first call and goes when it
// reports its end.
PhaseResult DWGDataReader::p_readObjects()
{
    if (walk_ == nullptr) {
        const ClassNumbers numbers = p_classNumbers();
        session_->multileaderType = numbers.multileader;
        std::copy(std::begin(numbers.blockText), std::end(numbers.blockText), session_->blockTextTypes);
        walk_ = newDWGObjects(session_, memory_, stream_, map_, objectsStart_, objectsEnd_);
        if (walk_ == nullptr) {
            return PhaseResult::Failed;
        }
    }
    const PhaseResult result = phaseAfter(walk_->getNextObject());
    if (result == PhaseResult::Done) {
        deleteDWGObjects(walk_);
        walk_ = nullptr;
    }
    return result;
}

// Only when every kind is wanted are the classes read for their numbers.
// From R2004 on their section states a second size word from
// R2013 on, and in R2010 from maintenance release 4 on (the file header's
// byte 11). Classes pieced together from pages found without the maps may
// lack the page that names MULTILEADER: not finding it there leaves the
// number unknown.
ClassNumbers DWGDataReader::p_classNumbers()
{
    constexpr int64_t kMaintenanceAt = 11;
    constexpr uint8_t kLastWithoutSecondWord = 3;
    if (!session_->everyKind) {
        return ClassNumbers{};
    }
    if (container_ == nullptr) {
        return p_classNumbersInFile();
    }
    const int32_t version = session_->versionIndex;
    const FileStream::Span maintenance = fileStream_->span(kMaintenanceAt, 1);
    const bool laterR2010 =
        version == kAC1024 && maintenance.length == 1 && maintenance.bytes[0] > kLastWithoutSecondWord;
    ClassNumbers numbers =
        findClassNumbers(memory_, container_, version, versionAtLeast(version, kAC1027) || laterR2010);
    if (numbers.multileader == 0 && container_->pagesFound()) {
        numbers.multileader = kMultileaderUnknown;
    }
    return numbers;
}

// Up to R2000 the classes lie where locator 1 says, in the file itself;
// a file cut before their end leaves the multileader number unknown.
ClassNumbers DWGDataReader::p_classNumbersInFile()
{
    if (classesStart_ < 0 || classesSize_ <= 0) {
        return ClassNumbers{};
    }
    const uint32_t size = static_cast<uint32_t>(classesSize_);
    const uint32_t wanted = size < kMostClassBytes ? size : kMostClassBytes;
    if (static_cast<uint64_t>(classesStart_) + wanted > stream_->size()) {
        return kClassesUnknown;
    }
    const FileStream::Span span = stream_->span(classesStart_, static_cast<int32_t>(wanted));
    return findClassNumbersIn(span.bytes, span.length, session_->versionIndex, false);
}

PhaseResult DWGDataReader::p_finishPhase()
{
    p_reportState();
    return finishSession(session_);
}

// A container's maps and page headers are checked, so a part the file
// cannot hold was cut away rather than garbled, and a page that cannot be
// read is damage, as are maps lost and a header read from its copy in a
// file of full length. Before R2004 the header says how long the file is.
// An object map the file holds but that cannot be read is damage in both.
void DWGDataReader::p_reportState()
{
    if (container_ != nullptr) {
        const bool damaged = *pageFailed_ || mapUnreadable_ || container_->repaired();
        reportDrawingState(session_, fileStream_->wentPastEnd(), damaged, HERE);
    } else {
        const bool broken = p_addressBroken();
        const bool damaged = stream_->wentPastEnd() || mapUnreadable_ || broken;
        reportDrawingState(session_, recordedEnd_ > stream_->size() && !broken, damaged, HERE);
    }
}
