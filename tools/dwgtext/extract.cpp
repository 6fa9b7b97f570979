#include "extract.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>
#include <utility>

#include "dwgtext.h"
#include "dwgtext_stdin.h"
#include "drawingfiles.h"

namespace dwgtext {

namespace {

void collectEvents(const std::vector<tqhost::Event> &events, DrawingResult &result)
{
    for (const tqhost::Event &event : events) {
        if (event.type == tqhost::Event::Type::Text)
            result.texts.push_back({event.code, event.bytes, {}});
        else if (event.type == tqhost::Event::Type::Report)
            result.reports.push_back(event.bytes);
        else if (event.type == tqhost::Event::Type::Version)
            result.firstBytes = event.bytes;
    }
}

using Handle = std::unique_ptr<dwgtext_drawing, decltype(&dwgtext_close)>;

// Standard input, a pipe or a device is looked at first and copied to a
// temporary file, up to the limit: it cannot go back.
Handle openInput(const std::string &path, const ReadOptions &options, std::string &error)
{
    dwgtext_drawing *drawing = nullptr;
    const unsigned flags = (options.raw ? DWGTEXT_RAW : 0) | (options.classicKinds ? DWGTEXT_CLASSIC_KINDS : 0);
    const int opened = path == "-" ? openStandardInput(flags, options.streamLimit, &drawing)
                                   : dwgtext_open_path_limited(path.c_str(), flags, options.streamLimit, &drawing);
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
    case DWGTEXT_DAMAGED:
        return Status::Damaged;
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

uint64_t sizeOf(const std::string &path)
{
    if (path == "-")
        return 0;
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    return error ? 0 : size;
}

std::vector<DrawingProperty> propertiesOf(const dwgtext_drawing *drawing)
{
    std::vector<DrawingProperty> found;
    const char *name = nullptr;
    const char *value = nullptr;
    for (std::size_t i = 0; i < dwgtext_property_count(drawing); ++i) {
        const bool custom = dwgtext_property(drawing, i, &name, &value) == DWGTEXT_PROPERTY_CUSTOM;
        found.push_back({name, value, custom});
    }
    return found;
}

// Writes the preview image as the drawing stores it: the reason when it
// cannot, else empty.
std::string writePreview(dwgtext_drawing *drawing, const std::string &path)
{
    const unsigned char *bytes = nullptr;
    size_t size = 0;
    if (dwgtext_preview(drawing, &bytes, &size) <= 0)
        return "no preview image";
    std::FILE *file = std::fopen(path.c_str(), "wb");
    bool written = file != nullptr && std::fwrite(bytes, 1, size, file) == size;
    int error = errno;
    if (file != nullptr && std::fclose(file) != 0 && written) {
        written = false;
        error = errno;
    }
    return written ? std::string() : "cannot write the preview image to " + path + ": " + std::strerror(error);
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

// What became of a drawing as the library's reader finds it, read through
// libdwgtext as the host's protocol reads it (the four classic kinds, raw):
// the protocol itself tells its host only texts and report lines.
DrawingResult readFacts(const std::vector<uint8_t> &bytes)
{
    dwgtext_drawing *opened = nullptr;
    const int error = dwgtext_open_bytes(bytes.data(), bytes.size(), DWGTEXT_RAW | DWGTEXT_CLASSIC_KINDS, &opened);
    if (error != DWGTEXT_OK) {
        DrawingResult failed;
        failed.status = Status::Incomplete;
        failed.failure = dwgtext_error_message(error);
        return failed;
    }
    const Handle drawing(opened, &dwgtext_close);
    dwgtext_text text{};
    int last = 0;
    while ((last = dwgtext_next(drawing.get(), &text)) == 1) {
    }
    return outcomeOf(drawing.get(), last);
}

}  // namespace

DrawingResult streamDrawing(const std::string &path, const ReadOptions &options, TextReceiver &receiver)
{
    std::string error;
    const Handle drawing = openInput(path, options, error);
    if (drawing == nullptr)
        return unreadable(std::move(error));
    if (!options.codePage.empty())
        dwgtext_set_codepage(drawing.get(), options.codePage.c_str());
    std::vector<DrawingProperty> properties = propertiesOf(drawing.get());
    receiver.properties(properties);
    dwgtext_text text{};
    int last = 0;
    while ((last = dwgtext_next(drawing.get(), &text)) == 1) {
        const std::string_view bytes(reinterpret_cast<const char *>(text.bytes), text.bytes_length);
        if (!receiver.text(text.charset, bytes, std::string_view(text.text, text.length), dwgtext_kind(drawing.get())))
            break;
    }
    DrawingResult result = outcomeOf(drawing.get(), last);
    result.properties = std::move(properties);
    if (!options.previewPath.empty())
        result.previewError = writePreview(drawing.get(), options.previewPath);
    result.size = sizeOf(path);
    return result;
}

DrawingResult readDrawing(const std::string &path, const tqhost::EntryPoints &library)
{
    std::vector<uint8_t> bytes;
    std::string error;
    if (!dwgfiles::readWholeFile(path, bytes, error))
        return unreadable(std::move(error));
    return readDrawingBytes(std::move(bytes), library);
}

DrawingResult readDrawingBytes(std::vector<uint8_t> bytes, const tqhost::EntryPoints &library)
{
    const DrawingResult facts = readFacts(bytes);
    DrawingResult result;
    result.size = bytes.size();
    const tqhost::SessionResult session = tqhost::runSession(std::move(bytes), {}, library);
    collectEvents(session.events, result);
    result.eventText = session.eventText;
    result.status = facts.status;
    result.failure = facts.failure;
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
