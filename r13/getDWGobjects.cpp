#include "r13/getDWGobjects.h"

#include "core/dwgglobal.h"
#include "core/messages.h"
#include "core/versions.h"
#include "r13/getDWGobjectMap.h"
#include "r13/textdata.h"
#include "support/component.h"
#include "support/dataread.h"
#include "support/filestrmio.h"

static const char kModule[] = "getDWGobjects";
[[gnu::used]] static const char kIdent[] = "@(#)getDWGobjects(R13, R14 and R2000): Version 2.05.00";

namespace {

constexpr uint16_t kText = 1;
constexpr uint16_t kAttrib = 2;
constexpr uint16_t kAttdef = 3;
constexpr uint16_t kMText = 44;

}  // namespace

DWGObjects *newDWGObjects(DWGglobal *session, MemoryService *memory, FileStream *stream,
                          ObjectMap *map, int32_t start, int32_t end)
{
    if (memory == nullptr || stream == nullptr) {
        return nullptr;
    }
    DWGObjects *objects = newIn<DWGObjects>(memory, session, memory, stream, map, start, end);
    if (objects != nullptr && !objects->open()) {
        deleteDWGObjects(objects);
        return nullptr;
    }
    return objects;
}

void deleteDWGObjects(DWGObjects *objects)
{
    if (objects != nullptr) {
        deleteIn(objects->memory(), objects);
    }
}

DWGObjects::DWGObjects(DWGglobal *session, MemoryService *memory, FileStream *stream,
                       ObjectMap *map, int32_t start, int32_t end)
    : session_(session),
      memory_(memory),
      stream_(stream),
      map_(map),
      start_(start),
      end_(end)
{
}

DWGObjects::~DWGObjects()
{
    if (dataRead_ != nullptr) {
        deleteDataRead(dataRead_);
    }
    if (text_ != nullptr) {
        deleteTextData(text_);
    }
}

bool DWGObjects::open()
{
    text_ = newTextData(session_, memory_, stream_);
    if (text_ == nullptr) {
        reportf(session_, msg::kTextDataAllocation, HERE);
        return false;
    }
    dataRead_ = newDataRead(memory_, stream_);
    if (dataRead_ == nullptr) {
        reportf(session_, msg::kDataReadAllocation, HERE);
        return false;
    }
    budget_ = ReadBudget(*stream_, stream_->bytesRead());
    return stream_->SeekPos(start_) == 1;
}

// Objects that are refused are stepped over within the same call. Each pass
// takes one entry of the object map or moves the stream forward by at least
// the 4 bytes of an object's framing, so a drawing cannot hold more objects
// than it has bytes; the bound only guards against a map that never ends.
// A head that cannot be read ends the walk, where the drawing was cut; in
// a container's section, where a page that cannot be read leaves a gap,
// the walk goes on with the map's next object.
StepResult DWGObjects::getNextObject()
{
    if (!p_toNextObject()) {
        return StepResult::End;
    }
    for (uint32_t pass = 0; pass <= stream_->size(); ++pass) {
        uint16_t type = 0;
        const bool head = p_getSizeAndType(&size_, &type) != 0;
        if (head && type != 0 && type < kTypeCount) {
            return p_handle(type) == 1 ? StepResult::Item : StepResult::Failed;
        }
        const bool passed = head && p_skipUnknown(type);
        if ((!passed && (map_ == nullptr || !stream_->readsAroundGaps())) || !p_toNextObject()) {
            return StepResult::End;
        }
    }
    return StepResult::End;
}

// Moves the stream to the next object: with a map to where its next entry
// says, in the map's order; without one every handler leaves the stream
// there. False at the end of the walk, or once the read budget is spent.
bool DWGObjects::p_toNextObject()
{
    if (budget_.spent(*stream_)) {
        return false;
    }
    if (map_ == nullptr) {
        return stream_->CurPosition() < end_;
    }
    int32_t offset = 0;
    return map_->nextOffset(&offset) == StepResult::Item && stream_->SeekPos(offset) == 1;
}

// Type 0 and the types a drawing's classes define (74 on) are reported and
// stepped over by their size; false when the size leads nowhere.
bool DWGObjects::p_skipUnknown(uint16_t type)
{
    reportf(session_, msg::kUnknownObjectType, type);
    if (p_skipBySize(size_) == 0) {
        reportf(session_, msg::kBadObjectSize, size_);
        return false;
    }
    return true;
}

// TEXT, ATTRIB and ATTDEF go to the text decoder, MTEXT to its own; every
// other fixed type is stepped over by the size peeked at.
int32_t DWGObjects::p_handle(uint16_t type)
{
    switch (type) {
    case kText:
    case kAttrib:
    case kAttdef:
        return p_handled(text_->getDWGText(), msg::kGetDWGText, __LINE__);
    case kMText:
        return p_handled(text_->getDWGMText(), msg::kGetDWGMText, __LINE__);
    default:
        return p_handled(p_skipBySize(size_), nullptr, 0);
    }
}

// Peeks at the head of the object at the stream's position and leaves the
// stream there.
int32_t DWGObjects::p_getSizeAndType(uint16_t *size, uint16_t *type)
{
    return versionAtLeast(session_->versionIndex, kAC1024) ? dataRead_->peekMSMCAndOT(size, type)
                                                           : dataRead_->peekMSAndBS(size, type);
}

int32_t DWGObjects::p_skipBySize(uint16_t size)
{
    int32_t start = stream_->CurPosition();
    if (start < 0) {
        return 0;
    }
    int32_t end = objectEndOffset(start, size);
    return end >= 0 && stream_->SeekPos(end) == 1 ? 1 : 0;
}

// A handled object lets the walk go on to the next one; a failed one is
// reported, when its handler names a message, and fails the step.
int32_t DWGObjects::p_handled(int32_t result, const char *failure, int32_t line)
{
    if (result == 0) {
        if (failure != nullptr) {
            reportf(session_, failure, kModule, line);
        }
        return 0;
    }
    return 1;
}
