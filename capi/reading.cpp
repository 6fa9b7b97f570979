#include "reading.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "drawingfiles.h"
#include "front/drawingreader.h"
#include "codepage.h"
#include "text_output.h"
#include "versions.h"

namespace dwgtext {

namespace {

Status refusalStatus(std::string_view firstBytes)
{
    if (!looksLikeDwg(firstBytes))
        return Status::NotDwg;
    return isSupportedVersion(firstBytes) ? Status::Refused : Status::Unsupported;
}

// Blocks for the library come from the C heap, zero-filled. They are taken
// with malloc and cleared rather than with calloc, which glibc serves
// without its per-thread cache.
void *zeroedBlock(void *, uint32_t size)
{
    void *block = std::malloc(size);
    if (block != nullptr)
        std::memset(block, 0, size);
    return block;
}

void freeBlock(void *, void *block) { std::free(block); }

}  // namespace

std::string_view statusName(Status status)
{
    switch (status) {
    case Status::Read:
        return "read";
    case Status::Incomplete:
        return "incomplete";
    case Status::Damaged:
        return "damaged";
    case Status::CannotOpen:
        return "cannot-open";
    case Status::NotDwg:
        return "not-dwg";
    case Status::Unsupported:
        return "unsupported";
    case Status::Refused:
        return "failed";
    case Status::Reading:
        return "reading";
    }
    return "";
}

const char *textKindName(TextKind kind)
{
    switch (kind) {
    case TextKind::Text:
        return "TEXT";
    case TextKind::Attrib:
        return "ATTRIB";
    case TextKind::Attdef:
        return "ATTDEF";
    case TextKind::MText:
        return "MTEXT";
    case TextKind::Tolerance:
        return "TOLERANCE";
    case TextKind::Dimension:
        return "DIMENSION";
    case TextKind::AttdefPrompt:
        return "ATTDEF_PROMPT";
    case TextKind::Multileader:
        return "MULTILEADER";
    case TextKind::Proxy:
        return "PROXY";
    }
    return "";
}

Status finalStatus(const DrawingFacts &facts, bool refused)
{
    if (facts.cutShort || facts.changedWhileRead || (!refused && !facts.ended))
        return Status::Incomplete;
    if (facts.damaged)
        return Status::Damaged;
    return refused ? refusalStatus(facts.firstBytes) : Status::Read;
}

std::string describeFailure(const DrawingFacts &facts)
{
    switch (facts.status) {
    case Status::Read:
    case Status::Reading:
        return {};
    case Status::Incomplete:
        if (facts.changedWhileRead)
            return "truncated while it was read: the file no longer has its " + std::to_string(facts.size) +
                   " bytes";
        if (facts.cutShort)
            return "truncated: the drawing records parts past the end of the file, which has " +
                   std::to_string(facts.size) + " bytes";
        return "the library stopped before the end of the drawing";
    case Status::Damaged:
        return "damaged: parts the drawing records cannot be read";
    case Status::CannotOpen:
        return "cannot open: " + facts.openError;
    case Status::NotDwg:
        return "not a DWG drawing";
    case Status::Unsupported:
        return "DWG version " + describeVersion(facts.firstBytes) + " is not supported (supported: " +
               supportedRange() + ")";
    case Status::Refused:
        return "the library could not read this " + describeVersion(facts.firstBytes) + " drawing";
    }
    return {};
}

// The library's reader on the file's bytes. The reader calls back from code
// built without exceptions, so no exception may leave a callback: a text or
// report that cannot be kept is noted, and next() throws once the reader
// has returned.
class TextReader::Session final : private ReaderSource, private ReportListener, private TextSink {
public:
    Session(dwgfiles::ByteSource &bytes, std::vector<std::string> &reports)
        : bytes_(bytes),
          reports_(reports),
          size_(bytes.size())
    {
    }

    bool start()
    {
        const bool opened = reader_.open({this, {nullptr, &zeroedBlock, &freeBlock}, this, this});
        throwIfOutOfMemory();
        return opened;
    }

    // Each call has the reader read on only until a text has come (one step
    // may bring several, which the following calls hand out first), so that
    // a large drawing holds one object's texts at a time.
    const FoundText *next()
    {
        if (taken_ == pending_) {
            taken_ = pending_ = 0;
            bool more = true;
            while (pending_ == 0 && more) {
                more = reader_.readOn();
                throwIfOutOfMemory();
            }
        }
        if (taken_ < pending_)
            return &texts_[taken_++];
        reader_.close();
        return nullptr;
    }

    ReaderFacts facts() const { return reader_.facts(); }
    void keepClassicKinds() { reader_.keepClassicKinds(); }
    const DrawingProperties *properties() const { return reader_.properties(); }

private:
    bool open() override { return true; }
    uint64_t measure() override { return size_; }
    int32_t readAt(uint64_t offset, void *buffer, int32_t count) override
    {
        const int64_t got = bytes_.readAt(offset, buffer, static_cast<std::size_t>(std::max(count, 0)));
        return got > 0 ? static_cast<int32_t>(got) : 0;
    }
    const uint8_t *inMemory() const override { return bytes_.inMemory(); }
    void letGo(uint64_t start, uint32_t length) override { bytes_.letGo(start, length); }

    void report(const char *text) override
    {
        try {
            reports_.push_back(withoutTrailingNewlines(text));
        } catch (...) {
            outOfMemory_ = true;
        }
    }

    // Texts are copied as they come, into entries kept from one call to the
    // next so that their buffers are reused.
    void text(const void *bytes, int32_t length, int32_t charset, TextKind kind) override
    {
        const bool hasBytes = length > 0 && bytes != nullptr;
        try {
            if (pending_ == texts_.size())
                texts_.emplace_back();
            texts_[pending_].charset = charset;
            texts_[pending_].kind = kind;
            texts_[pending_].bytes.assign(static_cast<const char *>(bytes), hasBytes ? length : 0);
            ++pending_;
        } catch (...) {
            outOfMemory_ = true;
        }
    }

    void throwIfOutOfMemory() const
    {
        if (outOfMemory_)
            throw std::bad_alloc();
    }

    dwgfiles::ByteSource &bytes_;
    std::vector<std::string> &reports_;
    uint64_t size_;
    std::vector<FoundText> texts_;
    std::size_t pending_ = 0;  // texts_ filled by the last reading on
    std::size_t taken_ = 0;    // of them, handed out
    bool outOfMemory_ = false;
    DrawingReader reader_;     // last: it reports as it closes
};

TextReader::TextReader(const std::string &path, uint64_t streamLimit)
    : bytes_(dwgfiles::openDrawing(path, facts_.openError, streamLimit))
{
    if (bytes_ == nullptr)
        facts_.status = Status::CannotOpen;
    else
        start();
}

TextReader::TextReader(StandardInput input) : bytes_(dwgfiles::openStandardInput(facts_.openError, input.streamLimit))
{
    if (bytes_ == nullptr)
        facts_.status = Status::CannotOpen;
    else
        start();
}

TextReader::TextReader(std::span<const uint8_t> bytes) : bytes_(std::make_unique<dwgfiles::MemoryBytes>(bytes))
{
    start();
}

TextReader::~TextReader() = default;

void TextReader::start()
{
    facts_.size = bytes_->size();
    session_ = std::make_unique<Session>(*bytes_, reports_);
    const bool opened = session_->start();
    takeFacts();
    if (const DrawingProperties *found = session_->properties())
        properties_ = propertiesOf(*found, drawingCodePage(facts_.codePage));
    facts_.status = opened ? Status::Reading : finalStatus(facts_, true);
}

void TextReader::takeFacts()
{
    const ReaderFacts found = session_->facts();
    facts_.firstBytes = found.versionText;
    facts_.codePage = found.codePage;
    facts_.cutShort = found.cutShort;
    facts_.damaged = found.damaged;
    facts_.ended = found.ended;
    facts_.preview = found.preview;
}

const std::string &TextReader::preview()
{
    const PreviewPlace place = facts_.preview;
    if (previewRead_ || bytes_ == nullptr || place.format == PreviewFormat::None || place.size > kMostPreviewBytes)
        return preview_;
    previewRead_ = true;
    preview_.resize(place.size);
    if (bytes_->readAt(place.at, preview_.data(), place.size) != static_cast<int64_t>(place.size))
        preview_.clear();
    return preview_;
}

void TextReader::keepClassicKinds()
{
    if (session_ != nullptr)
        session_->keepClassicKinds();
}

const FoundText *TextReader::next()
{
    started_ = true;
    if (facts_.status != Status::Reading)
        return nullptr;
    try {
        if (const FoundText *text = session_->next())
            return text;
    } catch (const std::bad_alloc &) {
        session_.reset();
        facts_.status = Status::Incomplete;
        throw;
    }
    takeFacts();
    facts_.changedWhileRead = bytes_->changedWhileRead();
    facts_.status = finalStatus(facts_, false);
    return nullptr;
}

}  // namespace dwgtext
