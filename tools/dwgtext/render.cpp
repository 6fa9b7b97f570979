#include "render.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

#include "codepage.h"
#include "core/messages.h"
#include "formatting.h"
#include "host_events.h"
#include "json.h"
#include "versions.h"

namespace dwgtext {

namespace {

// Asked of every text, and most answer at their first byte.
bool blank(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return c == ' ' || c == '\t'; });
}

constexpr std::string_view kErrorReport = "*** ERROR ***";

// The object type of the library's report that it met an object of a type
// it does not know ("OBJCT TYPE[0x1f4] dosen't exist", spelt as the library
// spells it for its hosts), so that nobody has to read it out of the text.
std::optional<int64_t> unknownObjectType(std::string_view report)
{
    const std::string_view format = msg::kUnknownObjectType;
    const std::size_t field = format.find("%x");
    const std::string_view before = format.substr(0, field);
    std::string_view after = format.substr(field + 2);
    while (after.ends_with('\n'))
        after.remove_suffix(1);
    if (!report.starts_with(before) || !report.ends_with(after) || report.size() <= before.size() + after.size())
        return std::nullopt;
    const std::string_view digits = report.substr(before.size(), report.size() - before.size() - after.size());
    int64_t type = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), type, 16);
    if (error != std::errc() || end != digits.data() + digits.size() || type < 0)
        return std::nullopt;
    return type;
}

// Each distinct report once, in the order of its first time, with the
// number of times: real drawings repeat one warning hundreds of times. The
// report of an unknown object type also gives the type as a number.
std::string jsonReports(const DrawingResult &drawing)
{
    std::vector<std::pair<std::string, int64_t>> distinct;
    std::unordered_map<std::string, std::size_t> seen;
    for (const std::string &report : drawing.reports) {
        std::string text = withoutTrailingNewlines(report);
        const auto [at, added] = seen.try_emplace(text, distinct.size());
        if (added)
            distinct.emplace_back(std::move(text), 0);
        ++distinct[at->second].second;
    }
    std::string list = "[";
    for (const auto &[text, count] : distinct) {
        list += list.size() == 1 ? "" : ",";
        JsonObject report;
        report.string("report", text).number("count", count);
        if (const std::optional<int64_t> type = unknownObjectType(text))
            report.number("object_type", *type);
        list += report.line();
        list.pop_back();  // the line's newline
    }
    return list + "]";
}

// The standard properties by their names, the editing time a number, and
// the custom pairs, when there are any, as an object of their own.
std::string jsonProperties(const std::vector<DrawingProperty> &properties)
{
    JsonObject standard;
    JsonObject custom;
    for (const DrawingProperty &property : properties) {
        if (property.custom)
            custom.string(property.name, property.value);
        else if (property.name == "editingTime")
            standard.raw(property.name, property.value);
        else
            standard.string(property.name, property.value);
    }
    std::string customLine = custom.line();
    customLine.pop_back();
    if (customLine != "{}")
        standard.raw("custom", customLine);
    std::string line = standard.line();
    line.pop_back();
    return line;
}

std::string jsonSummary(std::string_view file, const DrawingResult &drawing, uint64_t texts)
{
    JsonObject summary;
    summary.fileName("file", file);
    if (looksLikeDwg(drawing.firstBytes))
        summary.string("version", versionOf(drawing.firstBytes));
    else
        summary.raw("version", "null");
    summary.string("status", statusName(drawing.status))
        .number("texts", static_cast<int64_t>(texts))
        .raw("reports", jsonReports(drawing))
        .raw("properties", jsonProperties(drawing.properties));
    if (drawing.status != Status::Read)
        summary.string("error", failureMessage(drawing));
    return summary.line();
}

void renderEvents(std::string_view prefix, std::string_view events, std::string &out)
{
    while (!events.empty()) {
        const std::size_t end = std::min(events.find('\n'), events.size() - 1) + 1;
        out.append(prefix).append(events.substr(0, end));
        events.remove_prefix(end);
    }
}

std::string errorSummary(const DrawingResult &drawing)
{
    const auto errors = std::count_if(drawing.reports.begin(), drawing.reports.end(),
                                      [](const std::string &report) { return report.starts_with(kErrorReport); });
    if (errors == 0)
        return {};
    return errors == 1 ? "1 library error; -v shows it" : std::to_string(errors) + " library errors; -v shows them";
}

// Every report with -v. Otherwise a drawing that was read gets one line
// with the number of the library's errors, if it had any; a drawing that
// was not read has its failure line, which says enough.
void renderErrors(std::string_view name, const DrawingResult &drawing, const RenderSettings &settings,
                  std::string &err)
{
    if (settings.reports == Reports::All) {
        for (const std::string &report : drawing.reports)
            err.append(name).append(": ").append(singleLine(withoutTrailingNewlines(report))).append("\n");
    }
    const std::string summary = errorSummary(drawing);
    if (settings.reports == Reports::Summary && drawing.status == Status::Read && !summary.empty())
        err.append("dwgtext: ").append(name).append(": ").append(summary).append("\n");
    if (drawing.status != Status::Read)
        err.append("dwgtext: ").append(name).append(": ").append(failureMessage(drawing)).append("\n");
    if (!drawing.previewError.empty())
        err.append("dwgtext: ").append(name).append(": ").append(drawing.previewError).append("\n");
}

}  // namespace

DrawingRenderer::DrawingRenderer(std::string_view name, const RenderSettings &settings, Flush flush)
    : file_(settings.format == Format::Json ? std::string(name) : singleLine(validUtf8(name))),
      named_(singleLine(validUtf8(name))),
      settings_(settings),
      flush_(std::move(flush))
{
}

// "name: value", one line each, named by file as texts are; a property the
// drawing keeps empty is no property to show.
void DrawingRenderer::properties(const std::vector<DrawingProperty> &found)
{
    if (settings_.propertyLines == PropertyLines::None || settings_.format == Format::Json ||
        settings_.format == Format::Events)
        return;
    for (const DrawingProperty &property : found) {
        if (property.value.empty())
            continue;
        if (settings_.withFilename)
            rendered_.out.append(file_).append(":");
        rendered_.out.append(singleLine(property.name)).append(": ").append(singleLine(property.value)).append("\n");
    }
}

bool DrawingRenderer::text(int32_t charset, std::string_view bytes, std::string_view plain, std::string_view kind)
{
    std::string &out = rendered_.out;
    if (settings_.propertyLines == PropertyLines::Only) {
        ++texts_;
        return true;
    }
    if (settings_.format == Format::Json) {
        out += JsonObject()
                   .fileName("file", file_)
                   .number("index", static_cast<int64_t>(texts_))
                   .string("text", plain)
                   .number("charset", charset)
                   .string("bytes", tqhost::toHex(bytes))
                   .string("kind", kind)
                   .line();
    } else if (settings_.format == Format::Text && blank(plain)) {
        // Nothing a search could find: no empty line.
    } else if (settings_.format != Format::Events) {
        if (settings_.withFilename)
            out.append(file_).append(":");
        out.append(settings_.format == Format::Raw ? bytes : plain);
        out += '\n';
    }
    ++texts_;
    constexpr std::size_t kFlushSize = 64 * 1024;
    return !flush_ || out.size() < kFlushSize || flush_(out);
}

Rendered DrawingRenderer::finish(const DrawingResult &drawing)
{
    if (settings_.format == Format::Json)
        rendered_.out += jsonSummary(file_, drawing, texts_);
    else if (settings_.format == Format::Events)
        renderEvents(settings_.withFilename ? file_ + ":" : std::string(), drawing.eventText, rendered_.out);
    rendered_.read = drawing.status == Status::Read && drawing.previewError.empty();
    rendered_.gaveTexts = texts_ > 0;
    renderErrors(named_, drawing, settings_, rendered_.err);
    return std::move(rendered_);
}

Rendered render(std::string_view name, const DrawingResult &drawing, const RenderSettings &settings)
{
    DrawingRenderer renderer(name, settings);
    TextDecoder decoder(settings.codePage.empty() ? drawingCodePage(drawing.codePage) : settings.codePage,
                        mayHoldMText(drawing.firstBytes));
    const bool decoded = settings.format == Format::Text || settings.format == Format::Json;
    renderer.properties(drawing.properties);
    for (const DrawingText &text : drawing.texts)
        renderer.text(text.charset, text.bytes, decoded ? decoder.plainText(text.charset, text.bytes) : text.bytes,
                      text.kind);
    return renderer.finish(drawing);
}

std::string failureMessage(const DrawingResult &drawing)
{
    return drawing.failure.empty() ? describeFailure(drawing) : drawing.failure;
}

}  // namespace dwgtext
