#include "extract.h"

#include <filesystem>
#include <memory>
#include <system_error>
#include <utility>

#include "codepage.h"
#include "dwgtext.h"
#include "extent.h"
#include "host_files.h"

namespace dwgtext {

namespace {

void collectEvents(const std::vector<tqhost::Event> &events, DrawingResult &result)
{
    for (const tqhost::Event &event : events) {
        if (event.type == tqhost::Event::Type::Text)
            result.texts.push_back({event.code, event.bytes});
        else if (event.type == tqhost::Event::Type::Report) {
            noteReport(result, event.bytes);
            result.reports.push_back(event.bytes);
        }
        else if (event.type == tqhost::Event::Type::Version)
            result.firstBytes = event.bytes;
    }
}

using Handle = std::unique_ptr<dwgtext_drawing, decltype(&dwgtext_close)>;

// Standard input is read whole: a pipe cannot go back.
Handle openInput(const std::string &path, unsigned flags, std::vector<uint8_t> &input, std::string &error)
{
    dwgtext_drawing *drawing = nullptr;
    int opened = DWGTEXT_OK;
    if (path != "-")
        opened = dwgtext_open_path(path.c_str(), flags, &drawing);
    else if (tqhost::readWholeFile(path, input, error))
        opened = dwgtext_open_bytes(input.data(), input.size(), flags, &drawing);
    if (opened != DWGTEXT_OK)
        error = dwgtext_error_message(opened);
    return Handle(drawing, &dwgtext_close);
}

Status statusOf(enum dwgtext_status status)
{
    switch (status) {
    case DWGTEXT_READ:
        return Status::Read;
    case DWGTEXT_READING:  // stopped before its end
    case DWGTEXT_INCOMPLETE:
        return Status::Incomplete;
    case DWGTEXT_NOT_A_DRAWING:
        return Status::NotDwg;
    case DWGTEXT_UNSUPPORTED:
        return Status::Unsupported;
    case DWGTEXT_FAILED:
        return Status::Refused;
    case DWGTEXT_CANNOT_OPEN:
        return Status::CannotOpen;
    }
    return Status::Refused;
}

uint64_t sizeOf(const std::string &path, const std::vector<uint8_t> &input)
{
    if (path == "-")
        return input.size();
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    return error ? 0 : size;
}

// What became of the drawing: the reading ended with next's last answer.
DrawingResult outcomeOf(const dwgtext_drawing *drawing, int last)
{
    DrawingResult result;
    result.status = last < 0 ? Status::Incomplete : statusOf(dwgtext_status(drawing));
    result.firstBytes = dwgtext_version(drawing);
    result.failure = last < 0 ? dwgtext_error_message(last) : dwgtext_message(drawing);
    for (std::size_t i = 0; i < dwgtext_report_count(drawing); ++i)
        result.reports.emplace_back(dwgtext_report(drawing, i));
    return result;
}

}  // namespace

DrawingResult streamDrawing(const std::string &path, const ReadOptions &options, TextReceiver &receiver)
{
    std::vector<uint8_t> input;
    std::string error;
    const Handle drawing = openInput(path, options.raw ? DWGTEXT_RAW : 0, input, error);
    if (drawing == nullptr)
        return unreadable(std::move(error));
    if (!options.codePage.empty())
        dwgtext_set_codepage(drawing.get(), options.codePage.c_str());
    dwgtext_text text{};
    int last = 0;
    while ((last = dwgtext_next(drawing.get(), &text)) == 1) {
        const std::string_view bytes(reinterpret_cast<const char *>(text.bytes), text.bytes_length);
        if (!receiver.text(text.charset, bytes, std::string_view(text.text, text.length)))
            break;
    }
    DrawingResult result = outcomeOf(drawing.get(), last);
    result.size = sizeOf(path, input);
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
