#include "r13/getDWGobjects.h"

#include <algorithm>
#include <iterator>

#include "core/dwgglobal.h"
#include "core/messages.h"
#include "core/versions.h"
#include "r13/classes.h"
#include "r13/getDWGobjectMap.h"
#include "r13/textdata.h"
#include "support/byteswap.h"
#include "support/component.h"
#include "support/filestrmio.h"

static const char kModule[] = "getDWGobjects";
[[gnu::used]] static const char kIdent[] = "@(#)getDWGobjects(R13 to R2018): Version 2.05.00";

namespace {

constexpr uint16_t kText = 1;
constexpr uint16_t kAttrib = 2;
constexpr uint16_t kAttdef = 3;
constexpr uint16_t kFirstDimension = 20;  // ordinate, linear, aligned, angular of 3 points and of 2
constexpr uint16_t kLastDimension = 26;   // lines, radius, diameter
constexpr uint16_t kMText = 44;
constexpr uint16_t kTolerance = 46;
constexpr uint16_t kProxyEntity = 498;

// The types that hold texts, a bit each: every one is below 64.
constexpr uint64_t typeBit(uint16_t type)
{
    return uint64_t{1} << type;
}

constexpr uint64_t kClassicTextTypes = typeBit(kText) | typeBit(kAttrib) | typeBit(kAttdef) | typeBit(kMText);

constexpr uint64_t everyTextType()
{
    uint64_t types = kClassicTextTypes | typeBit(kTolerance);
    for (uint16_t type = kFirstDimension; type <= kLastDimension; ++type) {
        types |= typeBit(type);
    }
    return types;
}

bool isDimension(uint16_t type)
{
    return type >= kFirstDimension && type <= kLastDimension;
}

// Types 1 to 73 are the fixed list; 0 and the types a drawing's classes
// define are not on it.
bool isListed(uint16_t type)
{
    return type != 0 && type < DWGObjects::kTypeCount;
}

}  // namespace

DWGObjects *newDWGObjects(DWGglobal *session, MemoryService *memory, FileStream *stream,
                          ObjectMap *map, int64_t start, int64_t end)
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
                       ObjectMap *map, int64_t start, int64_t end)
    : session_(session),
      memory_(memory),
      stream_(stream),
      map_(map),
      start_(start),
      end_(end),
      versionIndex_(session->versionIndex),
      textTypes_(session->everyKind ? everyTextType() : kClassicTextTypes),
      multileaderType_(session->everyKind ? session->multileaderType : 0),
      proxyTexts_(session->everyKind),
      lastCopies_(memory)
{
}

DWGObjects::~DWGObjects()
{
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
    if (p_keepsLastCopies()) {
        budget_ = ReadBudget(*stream_, stream_->bytesRead());
        p_noteLastCopies();
    }
    budget_ = ReadBudget(*stream_, stream_->bytesRead());
    nextInFile_ = start_;
    chained_ = false;
    return stream_->SeekPos(start_) == 1;
}

// Without a map, a container's objects may hold copies of one handle of
// several saves, and only the last gives texts. An R13-R2000 drawing walked
// in file order was cut before its map: the copy the last save wrote may
// have been cut away, so whatever copy the cut kept gives its texts.
bool DWGObjects::p_keepsLastCopies() const
{
    return map_ == nullptr && stream_->readsAroundGaps();
}

// A first walk notes each handle's copies (see lastcopies.h). It steps as
// the text walk does, within a read budget of its own, and notes the
// objects that walk can take a text from: those of the types that hold
// texts, and of the class types where multileaders are wanted. Where a
// block cannot be had, the objects not noted give their texts, as the
// walk gave them before.
void DWGObjects::p_noteLastCopies()
{
    nextInFile_ = start_;
    while (p_toCheckedObject()) {
        const int64_t start = stream_->CurPosition();
        const FileStream::Span span = stream_->span(start, kHandleHeadBytes);
        ObjectHead head;
        uint64_t handle = 0;
        if (!readObjectHead(span.bytes, span.length, versionIndex_, &head) || !p_mayGiveText(head.type) ||
            !readObjectHandle(span.bytes, span.length, versionIndex_, &handle)) {
            continue;
        }
        if (!lastCopies_.note(handle, start)) {
            reportf(session_, msg::kAllocationFailed, HERE);
            break;
        }
    }
    lastCopies_.settle();
}

// An object whose handle has a copy later in the file was left behind by
// a save that wrote it anew there.
bool DWGObjects::p_isOlderCopy(int64_t start)
{
    return p_keepsLastCopies() && lastCopies_.isOlderCopy(start);
}

// Moves the stream to the next object: with a map to where its next entry
// says, in the map's order; without one to the next object in the file.
// False at the end of the walk, or once the read budget is spent.
inline bool DWGObjects::p_toNextObject()
{
    if (map_ == nullptr) {
        return p_toCheckedObject();
    }
    p_skipPlainObjects();
    if (budget_.spent(*stream_)) {
        return false;
    }
    int64_t offset = 0;
    return map_->nextOffset(&offset) == StepResult::Item && stream_->SeekPos(offset) == 1;
}

// Nearly every object holds no text. Those the map lists next are stepped
// over here in one loop, without moving the stream, for as long as their
// heads lie whole in the stream's window and each is on the fixed list and
// ends within the file; the first that is not is left for the walk below,
// which reads it as it reads every object. Each head counts against the
// read budget as a span of it would; the budget is looked at when the loop
// ends, which is at the latest the end of the section held: nothing comes
// out of the loop, so no text is given that the budget would have kept
// back. The stream is left where the last object ends, as the walk leaves
// it. The head's layout is chosen once, outside the loop.
void DWGObjects::p_skipPlainObjects()
{
    if (versionAtLeast(versionIndex_, kAC1024)) {
        p_skipPlainObjectsWith([](const uint8_t *bytes, ObjectHead *head) {
            return readHandleSizedHead(bytes, kLongestObjectHead, head);
        });
    } else {
        p_skipPlainObjectsWith([](const uint8_t *bytes, ObjectHead *head) {
            return readPlainHead(bytes, kLongestObjectHead, head);
        });
    }
}

// The heads come in file order mostly, a few dozen bytes apart. A window
// over bytes held in memory need not be in the caches, and each head's load
// would wait on memory: the bytes some objects ahead are asked for early.
// A prefetch never faults, so the address asked for may lie past the
// window; it is made as a number, not as a pointer past the window.
template <class ReadHead>
void DWGObjects::p_skipPlainObjectsWith(ReadHead readHead)
{
    constexpr uintptr_t kPrefetchDistance = 1024;
    const FileStream::Held window = stream_->held();
    const int32_t lastHeadAt = window.length - kLongestObjectHead;
    const int64_t fileSize = stream_->size();
    uint64_t stepped = 0;
    int64_t lastEnd = 0;
    map_->takeHeldOffsets([&](int64_t offset) {
        const int64_t at = offset - window.start;
        if (at < 0 || at > lastHeadAt) {
            return false;
        }
        __builtin_prefetch(reinterpret_cast<const void *>(reinterpret_cast<uintptr_t>(window.bytes + at) +
                                                          kPrefetchDistance));
        ObjectHead head;
        if (!readHead(window.bytes + at, &head) || !p_isPlain(head.type)) {
            return false;
        }
        const int64_t end = objectEnd(offset, head);
        if (end > fileSize) {  // the walk below finds where the stream ends
            return false;
        }
        ++stepped;
        lastEnd = end;
        return true;
    });
    if (stepped > 0) {
        stream_->noteBytesRead(stepped * kLongestObjectHead);
        stream_->SeekPos(lastEnd);
    }
}

// In file order the objects follow one another. But the first need not
// start where the walk does, and a save that writes an object anew can
// leave its old bytes behind, in a gap between two objects. So the next
// object is the first, from the end of the last one on, whose bytes give
// its check value and which ends by the end offset; false when there is
// none. In a container's section the stretches no page covers read as
// zeros and hold no object: the search steps over them at once.
bool DWGObjects::p_toCheckedObject()
{
    const int64_t chainedEnd = chained_ ? p_chainedPlainEnd(nextInFile_) : -1;
    if (chainedEnd > 0) {
        const int64_t at = nextInFile_;
        nextInFile_ = chainedEnd;
        return stream_->SeekPos(at) == 1;
    }
    for (int64_t at = stream_->heldFrom(nextInFile_); at <= end_ - kObjectFraming; at = stream_->heldFrom(at + 1)) {
        if (budget_.spent(*stream_)) {
            return false;
        }
        const int64_t end = p_checkedEnd(at);
        if (end > 0) {
            nextInFile_ = end;
            chained_ = stream_->readsAroundGaps();
            return stream_->SeekPos(at) == 1;
        }
    }
    return false;
}

// In a container's objects section every byte the walk meets is either of
// a page whose sums held or a zero of a page lost. So once an object has
// given its check value, the one at its end is the drawing's next object,
// and one that holds no text can be stepped over by its size alone; a head
// of zeros is of no type and breaks the chain. Texts are still taken from checked objects only. Where the
// object at start is such a one, where it ends; -1 otherwise.
int64_t DWGObjects::p_chainedPlainEnd(int64_t start)
{
    const FileStream::Span span = stream_->span(start, kLongestObjectHead);
    ObjectHead head;
    if (!readObjectHead(span.bytes, span.length, versionIndex_, &head) || !p_isPlain(head.type)) {
        chained_ = false;
        return -1;
    }
    const int64_t end = objectEnd(start, head);
    return end <= end_ ? end : -1;
}

// Where the object at start ends when its bytes give its check value and
// it ends by the end offset; -1 otherwise. The object is checked a
// window's bytes at a time.
int64_t DWGObjects::p_checkedEnd(int64_t start)
{
    const FileStream::Span sizeField = stream_->span(start, kCheckedHeadBytes);
    const int64_t length = checkedLength(sizeField.bytes, sizeField.length, versionAtLeast(versionIndex_, kAC1024));
    const int64_t checkAt = start + length;
    if (length < 0 || checkAt + kObjectCheckValue > end_) {
        return -1;
    }
    uint16_t check = kObjectCheckSeed;
    for (int64_t at = start; at < checkAt;) {
        const int32_t pieceLength = std::min(static_cast<int32_t>(checkAt - at), FileStream::kWindowSize);
        const FileStream::Span piece = stream_->span(at, pieceLength);
        if (piece.length == 0) {
            return -1;
        }
        check = continueObjectCheck(check, piece.bytes, piece.length);
        at += piece.length;
    }
    const FileStream::Span stored = stream_->span(checkAt, kObjectCheckValue);
    const bool checksOut = stored.length == kObjectCheckValue && littleEndian16(stored.bytes) == check;
    return checksOut ? checkAt + kObjectCheckValue : -1;
}

// Reads the head of the object at start from the bytes there; a head that
// runs past the end of the file means it was cut short there.
inline bool DWGObjects::p_readHead(int64_t start, ObjectHead *head)
{
    const FileStream::Span span = stream_->span(start, kLongestObjectHead);
    const bool read = readObjectHead(span.bytes, span.length, versionIndex_, head);
    stream_->noteRanOut(span, !read);
    return read;
}

// Objects that hold no text, and those that are refused, are stepped over
// within the same call. Each pass takes one entry of the object map or
// moves the stream forward by at least the 4 bytes of an object's framing,
// so a drawing cannot hold more objects than it has bytes; the bound only
// guards against a map that never ends. A head that cannot be read ends
// the walk, where the drawing was cut; in a container's section, where a
// page that cannot be read leaves a gap, the walk goes on with the map's
// next object.
StepResult DWGObjects::getNextObject()
{
    if (!p_toNextObject()) {
        return StepResult::End;
    }
    for (uint64_t pass = 0; pass <= stream_->size(); ++pass) {
        ObjectHead head;
        const int64_t start = stream_->CurPosition();
        const bool read = p_readHead(start, &head);
        const bool multileader = read && p_isMultileader(start, head);
        const bool givesText = multileader || (read && p_holdsText(head.type));
        if (givesText && !p_isOlderCopy(start)) {
            const int32_t handled = multileader ? p_handled(text_->getDWGMultileader(start, head),
                                                            msg::kGetDWGMultileader, __LINE__)
                                                : p_handleText(start, head);
            return handled == 1 ? StepResult::Item : StepResult::Failed;
        }
        if (read && p_mayDrawProxyTexts(head.type) && !p_isOlderCopy(start) &&
            p_handled(text_->putProxyTexts(start, head), msg::kPutProxyTexts, __LINE__) == 0) {
            return StepResult::Failed;
        }
        if (givesText || (read && isListed(head.type))) {
            if (p_skipBySize(start, head) == 0) {
                return StepResult::Failed;
            }
        } else if (!(read && p_skipUnknown(start, head)) && (map_ == nullptr || !stream_->readsAroundGaps())) {
            return StepResult::End;
        }
        if (!p_toNextObject()) {
            return StepResult::End;
        }
    }
    return StepResult::End;
}

// A multileader is of the type the classes number it with. Where they could
// not be read, the first object of a type the classes would define that
// reads as one tells the number for the rest of the walk.
bool DWGObjects::p_isMultileader(int64_t start, const ObjectHead &head)
{
    if (multileaderType_ == kMultileaderUnknown && head.type >= kFirstClassNumber && head.type != kMultileaderUnknown &&
        text_->readsAsMultileader(start, head)) {
        multileaderType_ = head.type;
    }
    return multileaderType_ != 0 && head.type == multileaderType_;
}

// Type 0 and the types a drawing's classes define (74 on) are reported and
// stepped over by their size; false when the size leads nowhere.
bool DWGObjects::p_skipUnknown(int64_t start, const ObjectHead &head)
{
    reportf(session_, msg::kUnknownObjectType, head.type);
    if (p_skipBySize(start, head) == 0) {
        reportf(session_, msg::kBadObjectSize, head.size);
        return false;
    }
    return true;
}

// TEXT, ATTRIB and ATTDEF go to the text decoder, MTEXT, TOLERANCE and the
// dimensions to their own.
int32_t DWGObjects::p_handleText(int64_t start, const ObjectHead &head)
{
    if (head.type == kMText) {
        return p_handled(text_->getDWGMText(start, head), msg::kGetDWGMText, __LINE__);
    }
    if (head.type == kTolerance) {
        return p_handled(text_->getDWGTolerance(start, head), msg::kGetDWGTolerance, __LINE__);
    }
    if (isDimension(head.type)) {
        return p_handled(text_->getDWGDimension(start, head), msg::kGetDWGDimension, __LINE__);
    }
    return p_handled(text_->getDWGText(start, head), msg::kGetDWGText, __LINE__);
}

// The types whose texts the session wants: the classic four, or every kind.
inline bool DWGObjects::p_holdsText(uint16_t type) const
{
    return type < 64 && (textTypes_ & typeBit(type)) != 0;
}

// Entities of custom classes, and those a program kept as proxies of a
// class it lacked (ACAD_PROXY_ENTITY), carry graphics; they are then
// stepped over as any type off the list is. The format's own entities
// whose texts lie in a block are left to the block; where the drawing's
// classes could not be read, no class is known to be one of them.
inline bool DWGObjects::p_mayDrawProxyTexts(uint16_t type) const
{
    if (!proxyTexts_ || (type != kProxyEntity && type < kFirstClassNumber)) {
        return false;
    }
    return std::find(std::begin(session_->blockTextTypes), std::end(session_->blockTextTypes), type) ==
           std::end(session_->blockTextTypes);
}

inline bool DWGObjects::p_mayGiveText(uint16_t type) const
{
    return p_holdsText(type) || (multileaderType_ != 0 && type >= kFirstClassNumber) || p_mayDrawProxyTexts(type);
}

inline bool DWGObjects::p_isPlain(uint16_t type) const
{
    return isListed(type) && !p_holdsText(type);
}

inline int32_t DWGObjects::p_skipBySize(int64_t start, const ObjectHead &head)
{
    return stream_->SeekPos(objectEnd(start, head)) == 1 ? 1 : 0;
}

// A handled object lets the walk go on to the next one; a failed one is
// reported and fails the step.
int32_t DWGObjects::p_handled(int32_t result, const char *failure, int32_t line)
{
    if (result == 0) {
        reportf(session_, failure, kModule, line);
    }
    return result == 0 ? 0 : 1;
}
