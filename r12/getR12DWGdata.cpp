#include "r12/getR12DWGdata.h"

#include <cstdint>
#include <cstring>

#include "core/dwgglobal.h"
#include "core/dwgreader.h"
#include "core/messages.h"
#include "core/versions.h"
#include "r12/getR12DWGentities.h"
#include "r12/r12records.h"
#include "support/bitcursor.h"
#include "support/byteswap.h"
#include "support/component.h"
#include "support/filestrmio.h"

static const char kModule[] = "getR12DWGdata";
[[gnu::used]] static const char kIdent[] = "@(#)getR12DWGdata(R10, R11 and R12): Version 2.05.00";

namespace {

// The file header of an R10-R12 drawing starts with the version text and
// eight bytes nobody reads; r12records.cpp reads the rest.
constexpr int32_t kVersionTextSize = 12;
constexpr int32_t kAfterVersion = 8;

// The block and extra sections' sizes carry a flag in their top bits.
constexpr uint32_t kSectionSizeMask = 0x3FFFFFFF;

// From R11 on the file ends with a copy of the section addresses and table
// descriptors after the extra section: this 32-byte sentinel, two 16-bit
// words of which the second is the length of the copy from the first on,
// and a 16-byte closing sentinel.
constexpr uint8_t kCopySentinel[] = {0x2A, 0x06, 0x2C, 0x44, 0xF5, 0x56, 0x96, 0x59, 0x32, 0xE3, 0x78,
                                     0x38, 0x11, 0x7F, 0xB4, 0xE8, 0x29, 0x8D, 0xD1, 0x49, 0xA9, 0x73,
                                     0x1F, 0xEA, 0x99, 0xDE, 0x32, 0xF9, 0x4D, 0x0A, 0xE0, 0x19};
constexpr uint64_t kCopyOpeningSentinel = sizeof kCopySentinel;
constexpr uint64_t kCopyHead = kCopyOpeningSentinel + 4;
constexpr uint64_t kCopyClosingSentinel = 16;

uint64_t sectionEnd(int32_t start, int32_t size)
{
    return uint64_t{static_cast<uint32_t>(start)} + (static_cast<uint32_t>(size) & kSectionSizeMask);
}

class R12DWGReader final : public DWGReader {
public:
    R12DWGReader(DWGglobal *session, MemoryService *memory, FileStream *stream)
        : session_(session), memory_(memory), stream_(stream)
    {
    }

    PhaseResult runPhase(int32_t index) override;
    void destroy() override;
    int32_t readVersionText();
    void readTimes();

    const char *versionText() const { return versionText_; }

private:
    PhaseResult p_readHeader();
    PhaseResult p_readEntities();
    PhaseResult p_readBlocks();
    PhaseResult p_walkSection(int32_t start, int32_t end, R12Section section);
    void p_noteAddresses(const R12Addresses &addresses);
    void p_noteAddressCopy();
    void p_noteEnd(uint64_t end);
    PhaseResult p_finish();

    DWGglobal *session_;
    MemoryService *memory_;
    FileStream *stream_;
    char versionText_[kVersionTextSize + 1] = {};
    int32_t entitiesStart_ = 0;
    int32_t entitiesEnd_ = 0;
    int32_t blocksStart_ = 0;
    int32_t fourthAddress_ = 0;
    uint64_t extrasEnd_ = 0;
    // Where the file ends by its header: the reader needs the header
    // whole, and then each section it records.
    uint64_t recordedEnd_ = kR12HeaderEnd;
    R12EntityWalker *walker_ = nullptr;
};

// Phases 3 to 5 all append the end object: a host that keeps calling after
// the first one gets two more before the session is finished.
PhaseResult R12DWGReader::runPhase(int32_t index)
{
    switch (index) {
    case 0:
        return p_readHeader();
    case 1:
        return p_readEntities();
    case 2:
        return p_readBlocks();
    default:
        return p_finish();
    }
}

// The finish also says whether the drawing was cut short (the file ends
// before what its header records) or damaged (a full-length file whose
// walk still led past its end).
PhaseResult R12DWGReader::p_finish()
{
    p_noteAddressCopy();
    reportDrawingState(session_, recordedEnd_ > stream_->size(), stream_->wentPastEnd(), HERE);
    return finishSession(session_);
}

// The twelve bytes of version text, kept for the message that names them,
// and the eight after them, which the file must hold.
int32_t R12DWGReader::readVersionText()
{
    const FileStream::Span span = stream_->span(0, kVersionTextSize + kAfterVersion);
    const int32_t textBytes = span.length < kVersionTextSize ? span.length : kVersionTextSize;
    memcpy(versionText_, span.bytes, static_cast<size_t>(textBytes));
    if (span.clipped) {
        stream_->notePastEnd();
    }
    return span.clipped ? 0 : 1;
}

// Phase 0: reads the header to its end at 0x6CF. Only the section
// addresses are kept; a header the file does not hold whole fails, with
// the part that is missing named for the addresses and the tables.
PhaseResult R12DWGReader::p_readHeader()
{
    const FileStream::Span span = stream_->span(0, kR12HeaderEnd);
    BitCursor in(span.bytes, span.length, span.readable);
    R12Addresses addresses{};
    const R12HeaderRead read = readR12Header(in, &addresses);
    stream_->noteRanOut(span, in.overran());
    if (read != R12HeaderRead::NoAddresses) {
        p_noteAddresses(addresses);
    }
    switch (read) {
    case R12HeaderRead::Whole:
        return PhaseResult::Done;
    case R12HeaderRead::NoAddresses:
    case R12HeaderRead::NoFirstTables:
        reportf(session_, msg::kSectionsPosition1, HERE);
        return PhaseResult::Failed;
    case R12HeaderRead::NoVariables:
        return PhaseResult::Failed;
    case R12HeaderRead::NoLastTables:
        reportf(session_, msg::kSectionsPosition2, HERE);
        return PhaseResult::Failed;
    }
    return PhaseResult::Failed;
}

// Phase 1: the entity section.
PhaseResult R12DWGReader::p_readEntities()
{
    if (entitiesStart_ <= 0 || entitiesEnd_ <= entitiesStart_) {
        return PhaseResult::Failed;
    }
    return p_walkSection(entitiesStart_, entitiesEnd_, R12Section::Entities);
}

// Phase 2: the block section, which runs from its start up to the fourth
// address, walked like the entity section: the block definitions hold the
// title blocks, the symbol labels and the text of every dimension.
PhaseResult R12DWGReader::p_readBlocks()
{
    if (blocksStart_ <= 0 || blocksStart_ >= fourthAddress_) {
        return PhaseResult::Failed;
    }
    return p_walkSection(blocksStart_, fourthAddress_, R12Section::Blocks);
}

// The walk hands over each record's texts as it finds them. A walk that
// stops, for texts or for a failure, keeps its walker, so that a later call
// of the same phase goes on where it stopped.
PhaseResult R12DWGReader::p_walkSection(int32_t start, int32_t end, R12Section section)
{
    if (walker_ == nullptr) {
        walker_ = newR12EntityWalker(session_, memory_, stream_, start, end, section);
        if (walker_ == nullptr) {
            return PhaseResult::Failed;
        }
    }
    const PhaseResult result = phaseAfter(walker_->walkEntities());
    if (result == PhaseResult::Done) {
        deleteR12EntityWalker(walker_);
        walker_ = nullptr;
    }
    return result;
}

// The entity section's start and end, the block section's start and
// size, the fourth address (where the block section ends) and the extra
// section's size, which follows the fourth address.
void R12DWGReader::p_noteAddresses(const R12Addresses &addresses)
{
    entitiesStart_ = addresses.entitiesStart;
    entitiesEnd_ = addresses.entitiesEnd;
    blocksStart_ = addresses.blocksStart;
    fourthAddress_ = addresses.fourthAddress;
    p_noteEnd(static_cast<uint32_t>(entitiesEnd_));
    p_noteEnd(sectionEnd(blocksStart_, addresses.blocksSize));
    extrasEnd_ = sectionEnd(fourthAddress_, addresses.extrasSize);
    p_noteEnd(extrasEnd_);
}

// Our own reader takes the drawing's times from the header as the drawing
// opens. A header cut before them keeps none, without a report: the
// header's phase says the drawing was cut short.
void R12DWGReader::readTimes()
{
    const FileStream::Span span = stream_->span(0, kR12HeaderEnd);
    BitCursor in(span.bytes, span.length, span.readable);
    DrawingProperties *properties = newIn<DrawingProperties>(memory_);
    if (properties == nullptr) {
        reportf(session_, msg::kAllocationFailed, HERE);
        return;
    }
    if (!readR12Times(in, properties)) {
        deleteIn(memory_, properties);
        return;
    }
    session_->properties = properties;
}

// The copy after the extra section, from R11 on, known by its sentinel:
// one whose length the file does not hold lies past the end. A file that
// ends with its extra section has no copy, and one with other bytes there
// holds something else (a cut right at the end of the extra section looks
// like a file without a copy).
void R12DWGReader::p_noteAddressCopy()
{
    const uint64_t size = stream_->size();
    if (session_->versionIndex < kAC1009 || extrasEnd_ == 0 || recordedEnd_ > size || extrasEnd_ >= size) {
        return;
    }
    const FileStream::Span head = stream_->span(static_cast<int32_t>(extrasEnd_), kCopyHead);
    const uint64_t held = static_cast<uint64_t>(head.length);
    const size_t compared = held < kCopyOpeningSentinel ? held : kCopyOpeningSentinel;
    if (head.length == 0 || memcmp(head.bytes, kCopySentinel, compared) != 0) {
        return;
    }
    if (held < kCopyHead) {
        p_noteEnd(extrasEnd_ + kCopyHead);
        return;
    }
    p_noteEnd(extrasEnd_ + kCopyOpeningSentinel + littleEndian16(head.bytes + kCopyOpeningSentinel + 2) +
              kCopyClosingSentinel);
}

void R12DWGReader::p_noteEnd(uint64_t end)
{
    recordedEnd_ = end > recordedEnd_ ? end : recordedEnd_;
}

void R12DWGReader::destroy()
{
    deleteR12EntityWalker(walker_);
    deleteIn(memory_, this);
}

}  // namespace

// The version is the session's already; the reader reads the version text
// once more only to read the header from where it ends, and refuses a file
// too short to hold it.
DWGReader *newR12DWGReader(DWGglobal *session, MemoryService *memory, FileStream *stream)
{
    if (session == nullptr || memory == nullptr || stream == nullptr) {
        return nullptr;
    }
    R12DWGReader *reader = newIn<R12DWGReader>(memory, session, memory, stream);
    if (reader == nullptr) {
        reportf(session, msg::kAllocationFailed, HERE);
        return nullptr;
    }
    if (!reader->readVersionText()) {
        reportf(session, msg::kVersionNotSupported, reader->versionText(), HERE);
        reportDrawingState(session, stream->wentPastEnd(), false, HERE);
        reader->destroy();
        return nullptr;
    }
    if (session->sink != nullptr) {
        reader->readTimes();
    }
    return reader;
}
