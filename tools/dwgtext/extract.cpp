#include "extract.h"

#include <utility>

#include "codepage.h"
#include "extent.h"
#include "host_files.h"
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
    // A drawing cut short is incomplete whatever the library made of it.
    if (result.truncated() || (!session.outcome.refused && !session.outcome.endSeen))
        result.status = Status::Incomplete;
    else if (session.outcome.refused)
        result.status = refusalStatus(result.firstBytes);
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
