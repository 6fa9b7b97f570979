#include "r12/getR12DWGdata.h"

#include <cstdint>
#include <cstring>

#include "core/dwgglobal.h"
#include "core/dwgreader.h"
#include "core/messages.h"
#include "core/versions.h"
#include "r12/getR12DWGentities.h"
#include "r12/r12dataread.h"
#include "support/byteswap.h"
#include "support/component.h"
#include "support/filestrmio.h"

static const char kModule[] = "getR12DWGdata";
[[gnu::used]] static const char kIdent[] = "@(#)getR12DWGdata(R10, R11 and R12): Version 2.05.00";

namespace {

// The file header of an R10-R12 drawing has a fixed layout. After the
// version text and eight bytes nobody reads come the section addresses and
// the first five table descriptors; the header variables and the dates
// follow, and the other five descriptors stand at fixed offsets up to
// the end of the header at 0x6CF.
constexpr int32_t kVersionTextSize = 12;
constexpr int32_t kAfterVersion = 8;
constexpr int32_t kDatesEnd = 0x379;
constexpr int32_t kBeforeTwoReals = 0x3C5;
constexpr int32_t kUcsDescriptor = 0x3EF;
constexpr int32_t kVportDescriptor = 0x500;
constexpr int32_t kP13Descriptor = 0x69F;
constexpr int32_t kHeaderEnd = 0x6CF;
constexpr int32_t kRealSize = 8;

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

// How the header variables from 0x5E to the first date at 0x31F are passed
// over: each step skips `size` bytes `times` times, or one 2D or 3D point.
enum class Skip { Bytes, Span, Point2D, Point3D };

struct SkipStep {
    Skip how;
    int32_t size;
    int32_t times;
};

constexpr SkipStep kHeaderVariables[] = {
    {Skip::Bytes, 2, 1},   {Skip::Point3D, 0, 3}, {Skip::Point2D, 0, 2}, {Skip::Bytes, 8, 4},
    {Skip::Bytes, 2, 1},   {Skip::Bytes, 8, 2},   {Skip::Span, 56, 1},   {Skip::Bytes, 8, 3},
    {Skip::Span, 18, 1},   {Skip::Bytes, 8, 1},   {Skip::Bytes, 2, 2},   {Skip::Span, 44, 1},
    {Skip::Span, 354, 1},  {Skip::Bytes, 32, 1},  {Skip::Bytes, 1, 2},   {Skip::Bytes, 2, 2},
    {Skip::Bytes, 1, 3},
};

class R12DWGReader final : public DWGReader {
public:
    R12DWGReader(DWGglobal *session, MemoryService *memory, FileStream *stream, R12DataRead *data)
        : session_(session), memory_(memory), stream_(stream), data_(data)
    {
    }

    PhaseResult runPhase(int32_t index) override;
    void destroy() override;
    int32_t readVersionText();

    const char *versionText() const { return versionText_; }

private:
    PhaseResult p_readHeader();
    PhaseResult p_readEntities();
    PhaseResult p_checkBlocks();
    PhaseResult p_walkSection(int32_t start, int32_t end, R12Section section);
    int32_t p_getSectionsPosition1();
    int32_t p_getSectionsPosition2();
    int32_t p_readTableDescriptor();
    int32_t p_skipHeaderVariables();
    int32_t p_skipStep(const SkipStep &step);
    int32_t p_skipTo(int32_t position);
    int32_t p_getAddress(int32_t *address);
    void p_noteAddressCopy();
    void p_noteEnd(uint64_t end);
    PhaseResult p_finish();

    DWGglobal *session_;
    MemoryService *memory_;
    FileStream *stream_;
    R12DataRead *data_;
    char versionText_[kVersionTextSize + 1] = {};
    int32_t entitiesStart_ = 0;
    int32_t entitiesEnd_ = 0;
    int32_t blocksStart_ = 0;
    int32_t fourthAddress_ = 0;
    uint64_t extrasEnd_ = 0;
    // Where the file ends by its header: the reader needs the header
    // whole, and then each section it records.
    uint64_t recordedEnd_ = kHeaderEnd;
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
        return p_checkBlocks();
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
// and the eight after them. The stream is left at the section addresses.
int32_t R12DWGReader::readVersionText()
{
    return stream_->SeekPos(0) == 1 && stream_->read(versionText_, kVersionTextSize) == kVersionTextSize &&
                   data_->skipBytes(kAfterVersion)
               ? 1
               : 0;
}

// Phase 0: reads the header from where the version check left the stream
// to its end at 0x6CF. Only the section addresses are kept.
PhaseResult R12DWGReader::p_readHeader()
{
    if (!p_getSectionsPosition1()) {
        reportf(session_, msg::kSectionsPosition1, HERE);
        return PhaseResult::Failed;
    }
    double firstDate = 0;
    double secondDate = 0;
    if (!p_skipHeaderVariables() || !data_->getDate(&firstDate) || !data_->getDate(&secondDate)) {
        return PhaseResult::Failed;
    }
    if (!p_skipTo(kDatesEnd) || !p_skipTo(kBeforeTwoReals)) {
        return PhaseResult::Failed;
    }
    if (!data_->skipBytes(kRealSize) || !data_->skipBytes(kRealSize) || !p_skipTo(kUcsDescriptor)) {
        return PhaseResult::Failed;
    }
    if (!p_getSectionsPosition2()) {
        reportf(session_, msg::kSectionsPosition2, HERE);
        return PhaseResult::Failed;
    }
    return PhaseResult::Done;
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
PhaseResult R12DWGReader::p_checkBlocks()
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

// 0x14 to 0x5E: the entity section start and end, the block section
// start, the fourth address, and the descriptors of the BLOCK, LAYER,
// STYLE, LTYPE and VIEW tables.
int32_t R12DWGReader::p_getSectionsPosition1()
{
    int32_t blocksSize = 0;
    int32_t extrasSize = 0;
    if (!p_getAddress(&entitiesStart_) || !p_getAddress(&entitiesEnd_) || !p_getAddress(&blocksStart_)) {
        return 0;
    }
    if (!p_getAddress(&blocksSize) || !p_getAddress(&fourthAddress_) || !p_getAddress(&extrasSize)) {
        return 0;
    }
    p_noteEnd(static_cast<uint32_t>(entitiesEnd_));
    p_noteEnd(sectionEnd(blocksStart_, blocksSize));
    extrasEnd_ = sectionEnd(fourthAddress_, extrasSize);
    p_noteEnd(extrasEnd_);
    for (int32_t table = 0; table < 5; ++table) {
        if (!p_readTableDescriptor()) {
            return 0;
        }
    }
    return 1;
}

// 0x3EF to 0x6CF: the descriptors of the UCS, VPORT, APPID, DIMSTYLE and
// P13 tables, with what lies between them.
int32_t R12DWGReader::p_getSectionsPosition2()
{
    if (!p_readTableDescriptor() || !p_skipTo(kVportDescriptor) || !p_readTableDescriptor()) {
        return 0;
    }
    if (!data_->skipSpan(8) || !p_readTableDescriptor() || !data_->skipSpan(6) || !p_readTableDescriptor()) {
        return 0;
    }
    return p_skipTo(kP13Descriptor) && p_readTableDescriptor() && data_->skipSpan(38) ? 1 : 0;
}

// A table descriptor: entry size, entry count and start address. Read to
// check that the header holds it; the tables themselves are not read.
int32_t R12DWGReader::p_readTableDescriptor()
{
    uint16_t entrySize = 0;
    uint32_t entryCount = 0;
    uint32_t start = 0;
    return data_->getRS(&entrySize) && data_->getRL(&entryCount) && data_->getRL(&start) ? 1 : 0;
}

int32_t R12DWGReader::p_skipHeaderVariables()
{
    for (const SkipStep &step : kHeaderVariables) {
        for (int32_t i = 0; i < step.times; ++i) {
            if (!p_skipStep(step)) {
                return 0;
            }
        }
    }
    return 1;
}

int32_t R12DWGReader::p_skipStep(const SkipStep &step)
{
    switch (step.how) {
    case Skip::Point2D:
        return data_->skipPoint(0);
    case Skip::Point3D:
        return data_->skipPoint(1);
    case Skip::Span:
        return data_->skipSpan(step.size);
    case Skip::Bytes:
        break;
    }
    return data_->skipBytes(step.size);
}

// Moves forward to an absolute offset by reading; nothing when the stream
// is there already or beyond.
int32_t R12DWGReader::p_skipTo(int32_t position)
{
    int32_t current = stream_->CurPosition();
    return current >= 0 && data_->skipSpan(position - current) ? 1 : 0;
}

int32_t R12DWGReader::p_getAddress(int32_t *address)
{
    uint32_t value = 0;
    if (!data_->getRL(&value)) {
        return 0;
    }
    *address = static_cast<int32_t>(value);
    return 1;
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
    uint8_t head[kCopyHead] = {};
    const int32_t wanted = static_cast<int32_t>(size - extrasEnd_ < kCopyHead ? size - extrasEnd_ : kCopyHead);
    if (stream_->SeekPos(static_cast<int32_t>(extrasEnd_)) != 1 || stream_->read(head, wanted) != wanted) {
        return;
    }
    const size_t compared = static_cast<size_t>(wanted) < kCopyOpeningSentinel ? wanted : kCopyOpeningSentinel;
    if (memcmp(head, kCopySentinel, compared) != 0) {
        return;
    }
    if (static_cast<uint64_t>(wanted) < kCopyHead) {
        p_noteEnd(extrasEnd_ + kCopyHead);
        return;
    }
    p_noteEnd(extrasEnd_ + kCopyOpeningSentinel + littleEndian16(head + kCopyOpeningSentinel + 2) +
              kCopyClosingSentinel);
}

void R12DWGReader::p_noteEnd(uint64_t end)
{
    recordedEnd_ = end > recordedEnd_ ? end : recordedEnd_;
}

void R12DWGReader::destroy()
{
    deleteR12EntityWalker(walker_);
    deleteR12DataRead(data_);
    deleteIn(memory_, this);
}

}  // namespace

// The version is the session's already; the reader reads the version text
// once more only to read the header from where it ends, and refuses a file
// too short to hold it.
DWGReader *newR12DWGReader(DWGglobal *session, MemoryService *memory, FileStream *stream)
{
    if (session == nullptr || memory == nullptr || stream == nullptr || session->header.services == nullptr) {
        return nullptr;
    }
    R12DataRead *data = newR12DataRead(session, memory, stream);
    if (data == nullptr) {
        return nullptr;
    }
    R12DWGReader *reader = newIn<R12DWGReader>(memory, session, memory, stream, data);
    if (reader == nullptr) {
        reportf(session, msg::kAllocationFailed, HERE);
        deleteR12DataRead(data);
        return nullptr;
    }
    if (!reader->readVersionText()) {
        reportf(session, msg::kVersionNotSupported, reader->versionText(), HERE);
        reportDrawingState(session, stream->wentPastEnd(), false, HERE);
        reader->destroy();
        return nullptr;
    }
    return reader;
}
