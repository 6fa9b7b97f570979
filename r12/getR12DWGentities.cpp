#include "r12/getR12DWGentities.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>

#include "core/dwgglobal.h"
#include "core/messages.h"
#include "r12/r12records.h"
#include "support/bitcursor.h"
#include "support/byteswap.h"
#include "support/component.h"
#include "support/filestrmio.h"
#include "support/spandecode.h"

static const char kModule[] = "getR12DWGentities";
[[gnu::used]] static const char kIdent[] = "@(#)getR12DWGentities(R10, R11 and R12): Version 2.05.00";

namespace {

// The last bytes of a section hold no record.
constexpr int32_t kSectionTail = 32;

// A set of record types, a bit for each (every type is below 32).
constexpr uint32_t typeSet(std::initializer_list<uint8_t> types)
{
    uint32_t set = 0;
    for (const uint8_t type : types) {
        set |= uint32_t{1} << type;
    }
    return set;
}

bool inSet(uint32_t set, uint8_t type)
{
    return type < 32 && (set >> type & 1) != 0;
}

// The types that exist: LINE, POINT, CIRCLE, SHAPE (1 to 4), TEXT, ARC,
// TRACE (7 to 9), SOLID, BLOCK, ENDBLK, INSERT, ATTDEF, ATTRIB and SEQEND
// (11 to 17), POLYLINE and VERTEX (19, 20), 3DFACE, DIMENSION and VIEWPORT
// (22 to 24). The others are reported and passed over.
constexpr uint32_t kKnownTypes = typeSet({1, 2, 3, 4, 7, 8, 9, 11, 12, 13, 14, 15, 16, 17, 19, 20, 22, 23, 24});

}  // namespace

R12EntityWalker *newR12EntityWalker(DWGglobal *session, MemoryService *memory, FileStream *stream,
                                    int32_t sectionStart, int32_t sectionEnd, R12Section section)
{
    if (session == nullptr || memory == nullptr || stream == nullptr) {
        return nullptr;
    }
    R12EntityWalker *walker = newIn<R12EntityWalker>(memory, session, memory, stream, sectionEnd, section);
    if (walker == nullptr) {
        return nullptr;
    }
    if (stream->SeekPos(sectionStart) != 1) {
        deleteR12EntityWalker(walker);
        return nullptr;
    }
    return walker;
}

void deleteR12EntityWalker(R12EntityWalker *walker)
{
    if (walker != nullptr) {
        deleteIn(walker->memory(), walker);
    }
}

// A record of length 0 cannot be passed over, so it is taken as the end of
// the section.
inline bool R12EntityWalker::p_isSectionEnd()
{
    return emptyRecordSeen_ || budget_.spent(*stream_) || stream_->CurPosition() >= sectionEnd_ - kSectionTail;
}

// A head that runs past the end of the file means it was cut short there.
inline bool R12EntityWalker::p_readHead(int64_t start, R12EntityHead *head)
{
    const FileStream::Span span = stream_->span(start, kR12HeadSize);
    const bool read = span.length == kR12HeadSize;
    if (read) {
        *head = entityHeadOf(littleEndian32(span.bytes));
    }
    stream_->noteRanOut(span, !read);
    return read;
}

namespace {

// Every string of an R12 record is of its record's kind: an ATTDEF's
// prompt and tag come out as its default does, as they always have. A
// BLOCK record of the entity section gives its strings as TEXT.
TextKind r12TextKind(uint8_t type)
{
    switch (type) {
    case kR12Attrib:
        return TextKind::Attrib;
    case kR12Attdef:
        return TextKind::Attdef;
    default:
        return TextKind::Text;
    }
}

}  // namespace

// TEXT, ATTDEF and ATTRIB records give their strings, and BLOCK records in
// the entity section theirs. A BLOCK record in the block section opens a
// definition: its layout differs between versions and its name is no text
// a reader sees.
inline uint32_t R12EntityWalker::p_textTypes() const
{
    return typeSet({kR12Text, kR12Attdef, kR12Attrib}) | (section_ == R12Section::Entities ? typeSet({kR12Block}) : 0);
}

// Every other known record is passed over by its length.
inline int32_t R12EntityWalker::p_handleRecord(int64_t start, const R12EntityHead &head)
{
    if (!inSet(kKnownTypes, head.type)) {
        return p_passUnknownType(start, head);
    }
    if (inSet(p_textTypes(), head.type)) {
        return p_readTexts(start, head);
    }
    return stream_->SeekPos(start + head.length) == 1 ? 1 : 0;
}

// Nearly every record gives no text. Those that come next are stepped over
// here in one loop, for as long as their heads lie whole in the stream's
// window before the section's tail, and each is of a known type, gives no
// text, is not empty and ends within the file; the first that is not is
// left for the walk, which reads it as it reads every record. Each head
// counts against the read budget as a span of it would; the walk looks at
// the budget when the loop ends: nothing comes out of the loop, so no text
// is given that the budget would have kept back.
void R12EntityWalker::p_skipPlainRecords()
{
    const FileStream::Held window = stream_->held();
    const int64_t lastHead = std::min(int64_t{window.start} + window.length - kR12HeadSize,
                                      int64_t{sectionEnd_} - kSectionTail - 1);
    const int64_t fileSize = stream_->size();
    const uint32_t plainTypes = kKnownTypes & ~p_textTypes();
    int64_t at = stream_->CurPosition();
    uint64_t stepped = 0;
    while (at >= window.start && at <= lastHead) {
        const R12EntityHead head = entityHeadOf(littleEndian32(window.bytes + (at - window.start)));
        const int64_t end = at + head.length;
        if (head.length == 0 || !inSet(plainTypes, head.type) || end > fileSize) {
            break;
        }
        at = end;
        ++stepped;
    }
    if (stepped > 0) {
        stream_->noteBytesRead(stepped * kR12HeadSize);
        stream_->SeekPos(at);
    }
}

// Every pass either ends the walk or leaves the stream at the start of the
// next record, which lies a record length (never 0) further on, so the walk
// cannot stay in one place. A record that gave texts ends the step, so
// that the host receives them before the walk goes on.
StepResult R12EntityWalker::walkEntities()
{
    for (p_skipPlainRecords(); !p_isSectionEnd(); p_skipPlainRecords()) {
        const int64_t start = stream_->CurPosition();
        R12EntityHead head{};
        if (!p_readHead(start, &head)) {
            return StepResult::Failed;
        }
        if (head.length == 0) {
            emptyRecordSeen_ = true;
            continue;
        }
        textsGiven_ = false;
        if (!p_handleRecord(start, head)) {
            return StepResult::Failed;
        }
        if (textsGiven_) {
            return StepResult::Item;
        }
    }
    return StepResult::End;
}

int32_t R12EntityWalker::p_passUnknownType(int64_t start, const R12EntityHead &head)
{
    reportf(session_, msg::kUnknownEntityType, head.type);
    if (stream_->SeekPos(start + head.length) == 1) {
        return 1;
    }
    reportf(session_, msg::kBadEntitySize, head.length);
    return 0;
}

// Strings read before a field that cannot be read are given all the same,
// and what follows the last string is passed over.
int32_t R12EntityWalker::p_readTexts(int64_t start, const R12EntityHead &head)
{
    R12Strings strings{};
    const FileStream::Span span = decodeSpan(stream_, start, head.length, [&](BitCursor &in, bool endsFile) {
        readTextRecord(in, session_->versionIndex, endsFile, &strings);
    });
    const TextKind kind = r12TextKind(head.type);
    for (int32_t i = 0; i < strings.count; ++i) {
        const R12Strings::String &string = strings.strings[i];
        if (!p_putString(span.bytes + string.offset, string.length, string.available, kind)) {
            return 0;
        }
    }
    return strings.whole && stream_->SeekPos(start + head.length) == 1 ? 1 : 0;
}

// Each string goes to the host in a buffer of its own with a zero byte
// after the text. One the file ends inside keeps its length, with the
// bytes the host's block holds for those that are missing. Attached to the
// text object the buffer stays with the host; if it cannot be attached it
// goes back. A sink reads a whole string where it lies.
int32_t R12EntityWalker::p_putString(const uint8_t *bytes, int32_t length, int32_t available, TextKind kind)
{
    if (available == length && textToSink(session_, bytes, length, DWG_CHARSET_BYTES, kind)) {
        textsGiven_ = true;
        return 1;
    }
    void *text = hostTextBuffer(session_, static_cast<uint32_t>(length) + 1u);
    if (text == nullptr) {
        return 0;
    }
    memcpy(text, bytes, static_cast<size_t>(available));
    DWGOutputObject *object = beginTextGroup(session_);
    if (object == nullptr) {
        return p_createRefused(text);
    }
    textsGiven_ = true;
    if (!endTextGroup(session_, object, text, length, DWG_CHARSET_BYTES, kind)) {
        return p_createRefused(nullptr);
    }
    return 1;
}

int32_t R12EntityWalker::p_createRefused(void *text)
{
    releaseHostTextBuffer(session_, text);
    reportf(session_, msg::kCreateObject, HERE);
    return 0;
}
