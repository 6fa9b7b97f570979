#include "r13/getDWGdata.h"

#include "core/dwgglobal.h"
#include "core/dwgreader.h"
#include "core/messages.h"
#include "core/versions.h"
#include "r13/getDWGobjectMap.h"
#include "r13/getDWGobjects.h"
#include "r2004/container.h"
#include "r2004/sectionstream.h"
#include "support/byteswap.h"
#include "support/component.h"
#include "support/filestrmio.h"

static const char kModule[] = "getDWGdata";
[[gnu::used]] static const char kIdent[] = "@(#)getDWGdata(R13, R14 and R2000): Version 2.05.00";

namespace {

// The lines our messages have always named.
constexpr int32_t kAllocationLine = 133;
constexpr int32_t kSectionsLine = 157;

// The file header: the address of the preview image at offset 13, the
// code page of the byte texts at offset 19 (a 16-bit number), the number
// of section locators at offset 21, then the locators, 9 bytes each
// (number, seeker, size). Records 0 (header variables), 1 (classes) and 2
// (object map) are all we read, but a file with fewer than 5 is not one we
// know, and none has more than 8.
constexpr int32_t kImageSeekerOffset = 13;
constexpr int32_t kCodePageOffset = 19;
constexpr int32_t kLocatorCountOffset = 21;
constexpr int32_t kLocatorsOffset = 25;
constexpr int32_t kLocatorSize = 9;
constexpr int32_t kMinLocatorCount = 5;
constexpr int32_t kMaxLocatorCount = 8;
constexpr uint8_t kHeaderLocator = 0;
constexpr uint8_t kClassesLocator = 1;
constexpr uint8_t kObjectMapLocator = 2;

// Each section is framed by 16-byte sentinels. The header area runs through
// the sentinel that ends the file header; the classes begin after theirs.
// After the classes come 512 bytes of padding before the objects.
constexpr int32_t kSentinelLength = 16;
constexpr int32_t kPaddingLength = 512;

// The preview image: a sentinel, the size of what follows it up to its
// closing sentinel, then that data and the closing sentinel.
constexpr uint64_t kImageFraming = 2 * kSentinelLength + 4;

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

// A byte range of the file; -1 while a bound is not known.
struct FileRange {
    int32_t start = -1;
    int32_t end = -1;

    bool known() const { return start != -1 && end != -1; }
};

class DWGDataReader final : public DWGReader {
public:
    DWGDataReader(DWGglobal *session, MemoryService *memory, FileStream *stream)
        : session_(session), memory_(memory), stream_(stream)
    {
    }

    PhaseResult runPhase(int32_t index) override;
    void destroy() override;
    int32_t readSectionLocators();
    bool openContainer();

private:
    PhaseResult p_hasHeader();
    PhaseResult p_hasClasses();
    PhaseResult p_hasPadding();
    PhaseResult p_readObjectMap();
    PhaseResult p_readObjects();
    PhaseResult p_finishPhase();

    int32_t p_getHeaderPos();
    int32_t p_getClassesPos();
    int32_t p_getPaddingPos();
    int32_t p_getObjectsPos();
    int32_t p_getObjectMapPos();
    int32_t p_readLocator(uint8_t expected, int32_t *seeker, int32_t *size);
    int32_t p_readWord(int32_t *value);
    void p_readRecordedEnd(int32_t locatorCount);
    void p_noteEnd(uint64_t end);
    void p_reportState();

    DWGglobal *session_;
    MemoryService *memory_;
    FileStream *stream_;
    FileRange header_;
    FileRange classes_;
    FileRange padding_;
    FileRange objectMap_;
    FileRange objects_;
    DWGObjects *walk_ = nullptr;
    ObjectMap *map_ = nullptr;
    DrawingContainer *container_ = nullptr;
    FileStream *fileStream_ = nullptr;        // the host's file under a container
    const bool *pageFailed_ = nullptr;        // of the container's sections
    uint64_t recordedEnd_ = 0;                // where the file ends by its header, before R2004
};

}  // namespace

// Reads on from the stream version detection opened: the section locators
// of the file header.
DWGReader *newDWGReader(DWGglobal *session, MemoryService *memory, FileStream *stream)
{
    if (session == nullptr || memory == nullptr || stream == nullptr || session->header.services == nullptr) {
        return nullptr;
    }
    DWGDataReader *reader = newIn<DWGDataReader>(memory, session, memory, stream);
    if (reader == nullptr) {
        reportf(session, msg::kAllocationFailed, kModule, kAllocationLine);
        return nullptr;
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
    const SectionStream sections = newSectionStream(container_, memory_);
    if (sections.stream == nullptr) {
        reportf(session_, msg::kSectionsPosition, HERE);
        return false;
    }
    stream_ = sections.stream;
    pageFailed_ = sections.pageFailed;
    header_ = {0, 0};
    classes_ = {0, 0};
    padding_ = {0, 0};
    objectMap_ = {sections.mapStart, static_cast<int32_t>(stream_->size())};
    objects_ = {0, sections.mapStart};
    return true;
}

PhaseResult DWGDataReader::runPhase(int32_t index)
{
    using Phase = PhaseResult (DWGDataReader::*)();
    static constexpr Phase kPhaseTable[kPhases] = {
        &DWGDataReader::p_hasHeader,     &DWGDataReader::p_hasClasses, &DWGDataReader::p_hasPadding,
        &DWGDataReader::p_readObjectMap, &DWGDataReader::p_readObjects, &DWGDataReader::p_finishPhase,
    };
    if (index < 0 || index >= kPhases) {
        return PhaseResult::Failed;
    }
    return (this->*kPhaseTable[index])();
}

// The locators are read one after another from offset 25 on; the order of
// the range operations makes records 0, 1 and 2 arrive in turn.
int32_t DWGDataReader::readSectionLocators()
{
    int32_t count = 0;
    uint8_t codePage[2] = {};
    if (stream_->SeekPos(kCodePageOffset) != 1 || stream_->read(codePage, 2) != 2) {
        return 0;
    }
    session_->codePage = littleEndian16(codePage);
    if (p_readWord(&count) == 0 || count < kMinLocatorCount) {
        return 0;
    }
    if (!(p_getHeaderPos() && p_getClassesPos() && p_getPaddingPos() && p_getObjectsPos() && p_getObjectMapPos())) {
        return 0;
    }
    p_readRecordedEnd(count < kMaxLocatorCount ? count : kMaxLocatorCount);
    return 1;
}

// Where the file ends by its own header: the furthest end of a section a
// locator records (records 0 to 2 were noted as they were read), and of
// the preview image, which from R13c3 on follows everything else. A file
// shorter than that was cut short; a full-length file whose reading still
// leads past its end is damaged.
void DWGDataReader::p_readRecordedEnd(int32_t locatorCount)
{
    for (int32_t i = kObjectMapLocator + 1; i < locatorCount; ++i) {
        uint8_t locator[kLocatorSize] = {};
        const int32_t at = kLocatorsOffset + i * kLocatorSize;
        if (stream_->SeekPos(at) != 1 || stream_->read(locator, kLocatorSize) != kLocatorSize) {
            p_noteEnd(static_cast<uint64_t>(at) + kLocatorSize);
            return;
        }
        p_noteEnd(uint64_t{littleEndian32(locator + 1)} + littleEndian32(locator + 5));
    }
    uint8_t word[4] = {};
    if (stream_->SeekPos(kImageSeekerOffset) != 1 || stream_->read(word, 4) != 4) {
        return;
    }
    const uint32_t image = littleEndian32(word);
    if (image == 0) {
        return;
    }
    const uint64_t sizeAt = uint64_t{image} + kSentinelLength;
    const bool sizeRead = sizeAt < stream_->size() && stream_->SeekPos(static_cast<int32_t>(sizeAt)) == 1 &&
                          stream_->read(word, 4) == 4;
    p_noteEnd(uint64_t{image} + kImageFraming + (sizeRead ? littleEndian32(word) : 0));
}

void DWGDataReader::p_noteEnd(uint64_t end)
{
    recordedEnd_ = end > recordedEnd_ ? end : recordedEnd_;
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
    if (stream_->read(&number, 1) <= 0 || number != expected || !p_readWord(seeker) || !p_readWord(size)) {
        return 0;
    }
    p_noteEnd(uint64_t{static_cast<uint32_t>(*seeker)} + static_cast<uint32_t>(*size));
    return 1;
}

// A 32-bit little-endian word of the file header; a short read keeps the
// bytes that came.
int32_t DWGDataReader::p_readWord(int32_t *value)
{
    uint8_t bytes[4] = {0, 0, 0, 0};
    if (stream_->read(bytes, sizeof bytes) <= 0) {
        return 0;
    }
    *value = static_cast<int32_t>(littleEndian32(bytes));
    return 1;
}

PhaseResult DWGDataReader::p_hasHeader()
{
    return doneWhen(header_.known());
}

PhaseResult DWGDataReader::p_hasClasses()
{
    return doneWhen(classes_.known());
}

PhaseResult DWGDataReader::p_hasPadding()
{
    return doneWhen(padding_.known());
}

// The objects begin at the lowest offset the map lists; a map without
// entries leaves nothing to walk.
PhaseResult DWGDataReader::p_readObjectMap()
{
    if (!objectMap_.known()) {
        return PhaseResult::Failed;
    }
    if (map_ == nullptr) {
        map_ = newObjectMap(session_, memory_, stream_, objectMap_.start, objectMap_.end);
        if (map_ == nullptr) {
            return PhaseResult::Failed;
        }
    }
    objects_.start = map_->lowestOffset();
    return doneWhen(objects_.start > 0);
}

// One object per call; the walk is made on the first call and goes when it
// reports its end.
PhaseResult DWGDataReader::p_readObjects()
{
    if (!objects_.known()) {
        return PhaseResult::Failed;
    }
    if (walk_ == nullptr) {
        walk_ = newDWGObjects(session_, memory_, stream_, map_, objects_.start, objects_.end);
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

PhaseResult DWGDataReader::p_finishPhase()
{
    p_reportState();
    return finishSession(session_);
}

// A container's maps and page headers are checked, so a part the file
// cannot hold was cut away rather than garbled, and a page that cannot be
// read is damage. Before R2004 the header says how long the file is.
void DWGDataReader::p_reportState()
{
    if (container_ != nullptr) {
        reportDrawingState(session_, fileStream_->wentPastEnd(), *pageFailed_, HERE);
    } else {
        reportDrawingState(session_, recordedEnd_ > stream_->size(), stream_->wentPastEnd(), HERE);
    }
}
