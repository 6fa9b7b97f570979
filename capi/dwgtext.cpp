// The simple C API over TextReader: every call catches what the C++ below
// it may throw, so that nothing but a code leaves the library.
#include "dwgtext.h"

#include <cstring>
#include <new>
#include <optional>
#include <string>

#include "codepage.h"
#include "drawingfiles.h"
#include "dwgtext_stdin.h"
#include "reading.h"
#include "text_output.h"
#include "versions.h"

// A path and the limit for a stream it may name.
struct PathInput {
    std::string path;
    uint64_t streamLimit;
};

struct dwgtext_drawing {
    dwgtext_drawing(const PathInput &input, unsigned flags) : dwgtext_drawing(flags, input.path, input.streamLimit) {}

    template <class Input>
    dwgtext_drawing(const Input &input, unsigned flags) : dwgtext_drawing(flags, input)
    {
    }

    template <class... Input>
    explicit dwgtext_drawing(unsigned flags, const Input &...input)
        : reader(input...), raw((flags & DWGTEXT_RAW) != 0)
    {
        if ((flags & DWGTEXT_CLASSIC_KINDS) != 0)
            reader.keepClassicKinds();
        const std::string_view first = reader.facts().firstBytes;
        if (dwgtext::looksLikeDwg(first)) {
            version = dwgtext::versionOf(first);
            release = dwgtext::releaseOf(first);
        }
        message = dwgtext::describeFailure(reader.facts());
    }

    // Made at the first text, so that a drawing without texts opens no
    // converter.
    dwgtext::TextDecoder &decoder()
    {
        if (!textDecoder) {
            const dwgtext::DrawingFacts &facts = reader.facts();
            textDecoder.emplace(codePage.empty() ? dwgtext::drawingCodePage(facts.codePage) : codePage,
                                dwgtext::mayHoldMText(facts.firstBytes));
        }
        return *textDecoder;
    }

    dwgtext::TextReader reader;
    bool raw;
    std::string codePage;  // iconv name; empty: the drawing's own
    std::optional<dwgtext::TextDecoder> textDecoder;
    std::string version;
    std::string release;
    std::string message;
    const char *kind = "";  // of the last text given
};

namespace {

static_assert(DWGTEXT_STREAM_LIMIT == dwgfiles::kDefaultStreamLimit);

constexpr unsigned kKnownFlags = DWGTEXT_RAW | DWGTEXT_CLASSIC_KINDS;

// The C API's code of each status.
struct StatusCode {
    dwgtext::Status status;
    enum dwgtext_status code;
};
constexpr StatusCode kStatusCodes[] = {
    {dwgtext::Status::Reading, DWGTEXT_READING},         {dwgtext::Status::Read, DWGTEXT_READ},
    {dwgtext::Status::Incomplete, DWGTEXT_INCOMPLETE},   {dwgtext::Status::Damaged, DWGTEXT_DAMAGED},
    {dwgtext::Status::NotDwg, DWGTEXT_NOT_A_DRAWING},    {dwgtext::Status::Unsupported, DWGTEXT_UNSUPPORTED},
    {dwgtext::Status::Refused, DWGTEXT_FAILED},          {dwgtext::Status::CannotOpen, DWGTEXT_CANNOT_OPEN},
};

template <class Input>
int openDrawing(const Input &input, unsigned flags, dwgtext_drawing **drawing)
{
    if (drawing == nullptr)
        return DWGTEXT_ERROR_ARGUMENT;
    *drawing = nullptr;
    if ((flags & ~kKnownFlags) != 0)
        return DWGTEXT_ERROR_ARGUMENT;
    try {
        *drawing = new dwgtext_drawing(input, flags);
        return DWGTEXT_OK;
    } catch (...) {
        return DWGTEXT_ERROR_MEMORY;
    }
}

void fill(dwgtext_drawing &drawing, const dwgtext::FoundText &found, dwgtext_text &text)
{
    text.bytes = reinterpret_cast<const unsigned char *>(found.bytes.data());
    text.bytes_length = found.bytes.size();
    text.charset = found.charset;
    drawing.kind = dwgtext::textKindName(found.kind);
    if (drawing.raw) {
        text.text = found.bytes.c_str();
        text.length = found.bytes.size();
    } else {
        dwgtext::TextDecoder &decoder = drawing.decoder();
        const std::string_view plain = found.kind == TextKind::Tolerance
                                           ? decoder.plainTolerance(found.charset, found.bytes)
                                           : decoder.plainText(found.charset, found.bytes);
        text.text = plain.data();
        text.length = plain.size();
    }
}

const char *orEmpty(const dwgtext_drawing *drawing, const std::string dwgtext_drawing::*field)
{
    return drawing == nullptr ? "" : (drawing->*field).c_str();
}

}  // namespace

extern "C" {

int dwgtext_open_path(const char *path, unsigned flags, dwgtext_drawing **drawing)
{
    return dwgtext_open_path_limited(path, flags, DWGTEXT_STREAM_LIMIT, drawing);
}

int dwgtext_open_path_limited(const char *path, unsigned flags, uint64_t stream_limit, dwgtext_drawing **drawing)
{
    if (path == nullptr) {
        if (drawing != nullptr)
            *drawing = nullptr;
        return DWGTEXT_ERROR_ARGUMENT;
    }
    try {
        return openDrawing(PathInput{path, stream_limit}, flags, drawing);
    } catch (...) {
        return DWGTEXT_ERROR_MEMORY;
    }
}

int dwgtext_open_bytes(const void *bytes, size_t size, unsigned flags, dwgtext_drawing **drawing)
{
    if (bytes == nullptr && size != 0) {
        if (drawing != nullptr)
            *drawing = nullptr;
        return DWGTEXT_ERROR_ARGUMENT;
    }
    return openDrawing(std::span<const uint8_t>(static_cast<const uint8_t *>(bytes), size), flags, drawing);
}

int dwgtext_set_codepage(dwgtext_drawing *drawing, const char *codepage)
{
    if (drawing == nullptr || codepage == nullptr || drawing->reader.started())
        return DWGTEXT_ERROR_ARGUMENT;
    try {
        std::string name = dwgtext::iconvNameFor(codepage);
        if (name.empty())
            return DWGTEXT_ERROR_ARGUMENT;
        drawing->codePage = std::move(name);
        return DWGTEXT_OK;
    } catch (...) {
        return DWGTEXT_ERROR_MEMORY;
    }
}

int dwgtext_next(dwgtext_drawing *drawing, dwgtext_text *text)
{
    if (drawing == nullptr || text == nullptr)
        return DWGTEXT_ERROR_ARGUMENT;
    try {
        if (const dwgtext::FoundText *found = drawing->reader.next()) {
            fill(*drawing, *found, *text);
            return 1;
        }
        drawing->message = dwgtext::describeFailure(drawing->reader.facts());
        return 0;
    } catch (...) {
        // The text could not be rendered, or the reading ran out of memory
        // and has ended.
        try {
            drawing->message = dwgtext::describeFailure(drawing->reader.facts());
        } catch (...) {
            drawing->message.clear();
        }
        return DWGTEXT_ERROR_MEMORY;
    }
}

const char *dwgtext_kind(const dwgtext_drawing *drawing)
{
    return drawing == nullptr ? "" : drawing->kind;
}

enum dwgtext_status dwgtext_status(const dwgtext_drawing *drawing)
{
    if (drawing == nullptr)
        return DWGTEXT_FAILED;
    for (const StatusCode &entry : kStatusCodes) {
        if (entry.status == drawing->reader.facts().status)
            return entry.code;
    }
    return DWGTEXT_FAILED;
}

const char *dwgtext_status_name(enum dwgtext_status status)
{
    for (const StatusCode &entry : kStatusCodes) {
        if (entry.code == status)
            return dwgtext::statusName(entry.status).data();
    }
    return "";
}

const char *dwgtext_version(const dwgtext_drawing *drawing) { return orEmpty(drawing, &dwgtext_drawing::version); }

const char *dwgtext_release(const dwgtext_drawing *drawing) { return orEmpty(drawing, &dwgtext_drawing::release); }

const char *dwgtext_message(const dwgtext_drawing *drawing) { return orEmpty(drawing, &dwgtext_drawing::message); }

size_t dwgtext_report_count(const dwgtext_drawing *drawing)
{
    return drawing == nullptr ? 0 : drawing->reader.reports().size();
}

const char *dwgtext_report(const dwgtext_drawing *drawing, size_t index)
{
    if (drawing == nullptr || index >= drawing->reader.reports().size())
        return "";
    return drawing->reader.reports()[index].c_str();
}

size_t dwgtext_property_count(const dwgtext_drawing *drawing)
{
    return drawing == nullptr ? 0 : drawing->reader.properties().size();
}

int dwgtext_property(const dwgtext_drawing *drawing, size_t index, const char **name, const char **value)
{
    if (drawing == nullptr || name == nullptr || value == nullptr || index >= drawing->reader.properties().size())
        return DWGTEXT_ERROR_ARGUMENT;
    const dwgtext::DrawingProperty &property = drawing->reader.properties()[index];
    *name = property.name.c_str();
    *value = property.value.c_str();
    return property.custom ? DWGTEXT_PROPERTY_CUSTOM : DWGTEXT_PROPERTY_STANDARD;
}

int dwgtext_preview(dwgtext_drawing *drawing, const unsigned char **bytes, size_t *size)
{
    if (drawing == nullptr || bytes == nullptr || size == nullptr)
        return DWGTEXT_ERROR_ARGUMENT;
    *bytes = nullptr;
    *size = 0;
    try {
        const std::string &image = drawing->reader.preview();
        if (image.empty())
            return DWGTEXT_PREVIEW_NONE;
        *bytes = reinterpret_cast<const unsigned char *>(image.data());
        *size = image.size();
    } catch (...) {
        return DWGTEXT_ERROR_MEMORY;
    }
    switch (drawing->reader.facts().preview.format) {
    case PreviewFormat::Bmp:
        return DWGTEXT_PREVIEW_BMP;
    case PreviewFormat::Wmf:
        return DWGTEXT_PREVIEW_WMF;
    case PreviewFormat::Png:
        return DWGTEXT_PREVIEW_PNG;
    case PreviewFormat::None:
        break;
    }
    return DWGTEXT_PREVIEW_NONE;
}

void dwgtext_close(dwgtext_drawing *drawing) { delete drawing; }

const char *dwgtext_error_message(int error)
{
    switch (error) {
    case DWGTEXT_OK:
        return "no error";
    case DWGTEXT_ERROR_ARGUMENT:
        return "invalid argument: a null pointer, an unknown flag or code page, or a code page set too late";
    case DWGTEXT_ERROR_MEMORY:
        return "out of memory";
    }
    return "unknown error";
}

}  // extern "C"

int dwgtext::openStandardInput(unsigned flags, uint64_t streamLimit, dwgtext_drawing **drawing)
{
    return openDrawing(dwgtext::TextReader::StandardInput{streamLimit}, flags, drawing);
}
