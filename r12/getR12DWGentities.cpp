#include "r12/getR12DWGentities.h"

#include <iterator>

#include "core/dwgglobal.h"
#include "core/messages.h"
#include "r12/r12dataread.h"
#include "support/component.h"
#include "support/filestrmio.h"

static const char kModule[] = "getR12DWGentities";
[[gnu::used]] static const char kIdent[] = "@(#)getR12DWGentities(R10, R11 and R12): Version 2.05.00";

namespace {

// The last bytes of a section hold no record.
constexpr int32_t kSectionTail = 32;

// Bit of a BLOCK record's option word: a second string follows the name.
constexpr uint16_t kBlockSecondString = 0x02;

// After the common part, TEXT, ATTDEF and ATTRIB records hold a 2D point
// and one real before their strings; BLOCK records only the point.
constexpr int32_t kRealSize = 8;

}  // namespace

const R12EntityWalker::EntityType R12EntityWalker::kEntityTypes[26] = {
    {"", nullptr},
    {"LINE  ", &R12EntityWalker::p_skipHandler},
    {"POINT ", &R12EntityWalker::p_skipHandler},
    {"CIRCLE", &R12EntityWalker::p_skipHandler},
    {"SHAPE ", &R12EntityWalker::p_skipHandler},
    {"", nullptr},
    {"", nullptr},
    {"TEXT  ", &R12EntityWalker::p_textHandler},
    {"ARC   ", &R12EntityWalker::p_skipHandler},
    {"TRACE ", &R12EntityWalker::p_skipHandler},
    {"", nullptr},
    {"SOLID ", &R12EntityWalker::p_skipHandler},
    {"BLOCK ", &R12EntityWalker::p_blockHandler},
    {"ENDBLK", &R12EntityWalker::p_skipHandler},
    {"INSERT", &R12EntityWalker::p_skipHandler},
    {"ATTDEF", &R12EntityWalker::p_attdefHandler},
    {"ATTRIB", &R12EntityWalker::p_attribHandler},
    {"S/BEND", &R12EntityWalker::p_skipHandler},
    {"", nullptr},
    {"PLINE ", &R12EntityWalker::p_skipHandler},
    {"VERTEX", &R12EntityWalker::p_skipHandler},
    {"", nullptr},
    {"3DFACE", &R12EntityWalker::p_skipHandler},
    {"DIM   ", &R12EntityWalker::p_skipHandler},
    {"VPORT ", &R12EntityWalker::p_skipHandler},
    {"", nullptr},
};

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
    walker->data_ = newR12DataRead(session, memory, stream);
    if (walker->data_ == nullptr || stream->SeekPos(sectionStart) != 1) {
        deleteR12EntityWalker(walker);
        return nullptr;
    }
    // One budget for the header and both sections, counted from the
    // stream's first byte read.
    walker->budget_ = ReadBudget(*stream, 0);
    return walker;
}

void deleteR12EntityWalker(R12EntityWalker *walker)
{
    if (walker == nullptr) {
        return;
    }
    deleteR12DataRead(walker->dataReader());
    deleteIn(walker->memory(), walker);
}

// Every pass either ends the walk or leaves the stream at the start of the
// next record, which lies a record length (never 0) further on, so the walk
// cannot stay in one place. A record that gave texts ends the step, so
// that the host receives them before the walk goes on.
StepResult R12EntityWalker::walkEntities()
{
    while (!p_isSectionEnd()) {
        Handler handler = nullptr;
        if (!p_getEntityHandler(&handler)) {
            return StepResult::Failed;
        }
        textsGiven_ = false;
        if (handler != nullptr && !(this->*handler)()) {
            return StepResult::Failed;
        }
        if (textsGiven_) {
            return StepResult::Item;
        }
    }
    return StepResult::End;
}

// A record of length 0 cannot be passed over, so it is taken as the end of
// the section.
bool R12EntityWalker::p_isSectionEnd()
{
    return emptyRecordSeen_ || p_isOverReadBudget() || stream_->CurPosition() >= sectionEnd_ - kSectionTail;
}

bool R12EntityWalker::p_isOverReadBudget() const
{
    return budget_.spent(*stream_);
}

// Reads the head of the record at the stream position. A type with a
// handler leaves the stream at the record start for the handler to read it
// whole; any other type is reported and passed over here.
int32_t R12EntityWalker::p_getEntityHandler(Handler *handler)
{
    *handler = nullptr;
    int32_t start = stream_->CurPosition();
    uint8_t type = 0;
    uint8_t flags = 0;
    uint16_t length = 0;
    if (start < 0 || !data_->getEntityHead(&type, &flags, &length)) {
        return 0;
    }
    if (length == 0) {
        emptyRecordSeen_ = true;
        return 1;
    }
    Handler found = type < std::size(kEntityTypes) ? kEntityTypes[type].handler : nullptr;
    if (found == nullptr) {
        return p_passUnknownType(start, type, length);
    }
    // A BLOCK record in the block section opens a definition: its layout
    // differs between versions and its name is no text a reader sees.
    if (section_ == R12Section::Blocks && found == &R12EntityWalker::p_blockHandler) {
        found = &R12EntityWalker::p_skipHandler;
    }
    if (stream_->SeekPos(start) != 1) {
        return 0;
    }
    *handler = found;
    return 1;
}

int32_t R12EntityWalker::p_passUnknownType(int32_t start, uint8_t type, uint16_t length)
{
    reportf(session_, msg::kUnknownEntityType, type);
    if (stream_->SeekPos(start + length) == 1) {
        return 1;
    }
    reportf(session_, msg::kBadEntitySize, length);
    return 0;
}

// Emits one text group. The buffer is the host's: attached to the text
// object it stays with the host; if it cannot be attached it goes back.
int32_t R12EntityWalker::p_putR12Text(void *text, int32_t length)
{
    DWGOutputObject *object = beginTextGroup(session_);
    if (object == nullptr) {
        return p_createRefused(text);
    }
    textsGiven_ = true;
    if (!endTextGroup(session_, object, text, length, DWG_CHARSET_BYTES)) {
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

int32_t R12EntityWalker::p_skipHandler()
{
    return data_->skipEntity();
}

int32_t R12EntityWalker::p_textHandler()
{
    return p_readStringsAndSkip(1);
}

int32_t R12EntityWalker::p_attdefHandler()
{
    return p_readStringsAndSkip(3);
}

int32_t R12EntityWalker::p_attribHandler()
{
    return p_readStringsAndSkip(2);
}

// A BLOCK record holds its name and, when its option word says so, a
// second string.
int32_t R12EntityWalker::p_blockHandler()
{
    Record record;
    if (!p_readUpToPoint(&record) || !p_readString()) {
        return 0;
    }
    if ((record.optionWord & kBlockSecondString) != 0 && !p_readString()) {
        return 0;
    }
    return p_skipRest(record);
}

// TEXT, ATTDEF and ATTRIB records: the point, one real, then the strings.
// Whatever follows the last string is passed over.
int32_t R12EntityWalker::p_readStringsAndSkip(int32_t strings)
{
    Record record;
    if (!p_readUpToPoint(&record) || !data_->skipBytes(kRealSize)) {
        return 0;
    }
    for (int32_t i = 0; i < strings; ++i) {
        if (!p_readString()) {
            return 0;
        }
    }
    return p_skipRest(record);
}

// Reads the head and the common part of the record at the stream position,
// then the 2D point that every text-bearing record starts with.
int32_t R12EntityWalker::p_readUpToPoint(Record *record)
{
    record->start = stream_->CurPosition();
    uint8_t type = 0;
    uint8_t flags = 0;
    uint16_t firstWord = 0;
    uint16_t colour = 0;
    uint16_t extraFlags = 0;
    if (record->start < 0 || !data_->getEntityHead(&type, &flags, &record->length)) {
        return 0;
    }
    if (!data_->getEntityCommon(&firstWord, &record->optionWord, &colour, &extraFlags, type, flags)) {
        return 0;
    }
    return data_->skipPoint(0);
}

int32_t R12EntityWalker::p_skipRest(const Record &record)
{
    return stream_->SeekPos(record.start + record.length) == 1 ? 1 : 0;
}

// A string: its length, then its bytes, handed to the host in a buffer of
// its own with a zero byte after the text. A short read keeps the length.
int32_t R12EntityWalker::p_readString()
{
    uint16_t length = 0;
    if (!data_->getRS(&length)) {
        return 0;
    }
    if (length == 0) {
        return 1;
    }
    void *text = hostTextBuffer(session_, length + 1u);
    if (text == nullptr) {
        return 0;
    }
    if (stream_->read(text, length) <= 0) {
        releaseHostTextBuffer(session_, text);
        return 0;
    }
    return p_putR12Text(text, length);
}
