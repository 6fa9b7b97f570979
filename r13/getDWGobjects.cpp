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

// Type 0 has no entry: it is refused before the table is looked at, as is
// every type from 74 on (the types a drawing's classes define).
constexpr DWGObjects::DispatchTable DWGObjects::p_makeDispatchTable()
{
    DispatchTable table{};
    for (int32_t type = 1; type < kTypeCount; ++type) {
        table[type] = &DWGObjects::p_skipHandler;
    }
    table[kText] = &DWGObjects::p_textHandler;
    table[kAttrib] = &DWGObjects::p_textHandler;
    table[kAttdef] = &DWGObjects::p_textHandler;
    table[kMText] = &DWGObjects::p_mtextHandler;
    return table;
}

const DWGObjects::DispatchTable DWGObjects::kDispatch = DWGObjects::p_makeDispatchTable();

DWGObjects *newDWGObjects(DWGglobal *session, MemoryService *memory, FileStream *stream,
                          ObjectMap *map, int32_t start, int32_t end)
{
    if (memory == nullptr || stream == nullptr) {
        return nullptr;
    }
    DWGObjects *objects = newIn<DWGObjects>(memory, session, memory, stream, map, start, end);
    if (objects != nullptr && !objects->p_open()) {
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
      end_(end),
      isEnd_(map != nullptr ? &DWGObjects::p_isEndMapped : &DWGObjects::p_isEndSequential)
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

bool DWGObjects::p_open()
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
    if (p_isEnd()) {
        return StepResult::End;
    }
    for (uint32_t pass = 0; pass <= stream_->size(); ++pass) {
        if (p_getHandler() == 0) {
            if (map_ == nullptr || !stream_->readsAroundGaps() || p_isEnd()) {
                return StepResult::End;
            }
            continue;
        }
        if (current_ != nullptr) {
            return (this->*current_)() == 1 ? StepResult::Item : StepResult::Failed;
        }
        if (p_isEnd()) {
            return StepResult::End;
        }
    }
    return StepResult::End;
}

bool DWGObjects::p_isEnd()
{
    return p_isOverReadBudget() || (this->*isEnd_)();
}

bool DWGObjects::p_isOverReadBudget() const
{
    return budget_.spent(*stream_);
}

// Without a map every handler leaves the stream at the next object.
bool DWGObjects::p_isEndSequential()
{
    return stream_->CurPosition() >= end_;
}

// With a map the objects are where the map says, in its order.
bool DWGObjects::p_isEndMapped()
{
    int32_t offset = 0;
    if (map_->nextOffset(&offset) != StepResult::Item) {
        return true;
    }
    return stream_->SeekPos(offset) != 1;
}

// The size peeked at stays for the skip handler, which steps over the
// object by it.
int32_t DWGObjects::p_getHandler()
{
    current_ = nullptr;
    uint16_t type = 0;
    if (p_getSizeAndType(&size_, &type) == 0) {
        return 0;
    }
    if (type == 0 || type >= kTypeCount) {
        reportf(session_, msg::kUnknownObjectType, type);
        if (p_skipBySize(size_) == 0) {
            reportf(session_, msg::kBadObjectSize, size_);
            return 0;
        }
        return 1;
    }
    current_ = kDispatch[type];
    return 1;
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

int32_t DWGObjects::p_textHandler()
{
    return p_handled(text_->getDWGText(), msg::kGetDWGText, __LINE__);
}

int32_t DWGObjects::p_mtextHandler()
{
    return p_handled(text_->getDWGMText(), msg::kGetDWGMText, __LINE__);
}

int32_t DWGObjects::p_skipHandler()
{
    return p_handled(p_skipBySize(size_), nullptr, 0);
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
    current_ = nullptr;
    return 1;
}
