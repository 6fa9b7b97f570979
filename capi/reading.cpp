#include "reading.h"

#include <algorithm>
#include <new>

#include "core/messages.h"
#include "host_files.h"
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

std::string firstBytesOf(tqhost::ByteSource &bytes)
{
    std::string first(std::min<uint64_t>(bytes.size(), 6), '\0');
    const int64_t n = bytes.readAt(0, first.data(), first.size());
    first.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return first;
}

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
        return "refused";
    case Status::Reading:
        return "reading";
    }
    return "";
}

void noteReport(DrawingFacts &facts, std::string_view report)
{
    const auto says = [report](std::string_view message) {
        return report.starts_with(message.substr(0, message.find('[')));
    };
    facts.cutShort = facts.cutShort || says(msg::kDrawingCutShort);
    facts.damaged = facts.damaged || says(msg::kDrawingDamaged);
}

void readHeader(tqhost::ByteSource &bytes, DrawingFacts &facts)
{
    facts.size = bytes.size();
    facts.firstBytes = firstBytesOf(bytes);
}

Status finalStatus(const DrawingFacts &facts, bool refused, bool endSeen)
{
    if (facts.cutShort || facts.changedWhileRead || (!refused && !endSeen))
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

TextReader::TextReader(const std::string &path, uint64_t streamLimit, const tqhost::LibraryPath &library)
    : bytes_(tqhost::openDrawing(path, facts_.openError, streamLimit))
{
    if (bytes_ == nullptr)
        facts_.status = Status::CannotOpen;
    else
        start(library);
}

TextReader::TextReader(StandardInput input, const tqhost::LibraryPath &library)
    : bytes_(tqhost::openStandardInput(facts_.openError, input.streamLimit))
{
    if (bytes_ == nullptr)
        facts_.status = Status::CannotOpen;
    else
        start(library);
}

TextReader::TextReader(std::span<const uint8_t> bytes, const tqhost::LibraryPath &library)
    : bytes_(std::make_unique<tqhost::MemoryBytes>(bytes))
{
    start(library);
}

TextReader::~TextReader() = default;

void TextReader::start(const tqhost::LibraryPath &library)
{
    readHeader(*bytes_, facts_);
    session_.emplace(*bytes_, static_cast<tqhost::ReportSink &>(*this), library);
    facts_.status = session_->start() ? Status::Reading : finalStatus(facts_, true, false);
    facts_.codePage = session_->codePage();
}

const tqhost::LeanText *TextReader::next()
{
    started_ = true;
    if (facts_.status != Status::Reading)
        return nullptr;
    try {
        if (const tqhost::LeanText *text = session_->next())
            return text;
    } catch (const std::bad_alloc &) {
        session_.reset();
        facts_.status = Status::Incomplete;
        throw;
    }
    facts_.changedWhileRead = bytes_->changedWhileRead();
    facts_.status = finalStatus(facts_, false, session_->endSeen());
    return nullptr;
}

void TextReader::report(std::string_view text)
{
    noteReport(facts_, text);
    reports_.push_back(withoutTrailingNewlines(text));
}

}  // namespace dwgtext
