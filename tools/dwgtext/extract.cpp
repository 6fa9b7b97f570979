#include "extract.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "codepage.h"
#include "extent.h"
#include "host_files.h"
#include "host_lean.h"
#include "versions.h"

namespace dwgtext {

namespace {

Status refusalStatus(std::string_view firstBytes)
{
    if (!looksLikeDwg(firstBytes))
        return Status::NotDwg;
    return isSupportedVersion(firstBytes) ? Status::Refused : Status::Unsupported;
}

void collectEvents(const std::vector<tqhost::Event> &events, DrawingResult &result)
{
    for (const tqhost::Event &event : events) {
        if (event.type == tqhost::Event::Type::Text)
            result.texts.push_back({event.code, event.bytes});
        else if (event.type == tqhost::Event::Type::Report)
            result.reports.push_back(event.bytes);
        else if (event.type == tqhost::Event::Type::Version)
            result.firstBytes = event.bytes;
    }
}

// The status of a drawing once the library is done with it. A drawing cut
// short is incomplete whatever the library made of it.
Status finalStatus(const DrawingResult &result, bool refused, bool endSeen)
{
    if (result.truncated() || (!refused && !endSeen))
        return Status::Incomplete;
    return refused ? refusalStatus(result.firstBytes) : Status::Read;
}

std::string firstBytesOf(tqhost::ByteSource &bytes)
{
    std::string first(std::min<uint64_t>(bytes.size(), 6), '\0');
    const int64_t n = bytes.readAt(0, first.data(), first.size());
    first.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return first;
}

// What the file header tells before the library starts.
void readHeader(tqhost::ByteSource &bytes, DrawingResult &result)
{
    result.size = bytes.size();
    result.firstBytes = firstBytesOf(bytes);
    uint8_t header[kCodePageHeaderLength] = {};
    const int64_t n = bytes.readAt(0, header, sizeof header);
    result.codePage = recordedCodePage(std::span<const uint8_t>(header, n > 0 ? static_cast<std::size_t>(n) : 0));
    result.recordedSize = recordedExtent(bytes);
}

class ForwardingListener final : public tqhost::SessionListener {
public:
    ForwardingListener(DrawingResult &result, TextReceiver &receiver) : result_(result), receiver_(receiver) {}
    void report(std::string_view text) override { result_.reports.emplace_back(text); }
    bool text(int32_t charset, std::string_view bytes) override { return receiver_.text(charset, bytes); }

private:
    DrawingResult &result_;
    TextReceiver &receiver_;
};

}  // namespace

std::string_view statusName(Status status)
{
    switch (status) {
    case Status::Read:
        return "read";
    case Status::Incomplete:
        return "incomplete";
    case Status::CannotOpen:
        return "cannot-open";
    case Status::NotDwg:
        return "not-dwg";
    case Status::Unsupported:
        return "unsupported";
    case Status::Refused:
        return "refused";
    }
    return "";
}

DrawingResult streamDrawing(const std::string &path, const tqhost::EntryPoints &library, TextReceiver &receiver)
{
    std::string error;
    const std::unique_ptr<tqhost::ByteSource> bytes = tqhost::openDrawing(path, error);
    if (bytes == nullptr)
        return unreadable(std::move(error));
    DrawingResult result;
    readHeader(*bytes, result);
    receiver.begin(result);
    ForwardingListener listener(result, receiver);
    const tqhost::LeanOutcome outcome = tqhost::runLeanSession(*bytes, listener, library);
    result.status = finalStatus(result, outcome.refused, outcome.endSeen);
    return result;
}

DrawingResult readDrawing(const std::string &path, const tqhost::EntryPoints &library)
{
    std::vector<uint8_t> bytes;
    std::string error;
    if (!tqhost::readWholeFile(path, bytes, error))
        return unreadable(std::move(error));
    return readDrawingBytes(std::move(bytes), library);
}

DrawingResult readDrawingBytes(std::vector<uint8_t> bytes, const tqhost::EntryPoints &library)
{
    DrawingResult result;
    result.size = bytes.size();
    result.codePage = recordedCodePage(bytes);
    result.recordedSize = recordedExtent(bytes);
    const tqhost::SessionResult session = tqhost::runSession(std::move(bytes), {}, library);
    collectEvents(session.events, result);
    result.eventText = session.eventText;
    result.status = finalStatus(result, session.outcome.refused, session.outcome.endSeen);
    return result;
}

DrawingResult unreadable(std::string reason)
{
    DrawingResult result;
    result.status = Status::CannotOpen;
    result.openError = std::move(reason);
    return result;
}

}  // namespace dwgtext
