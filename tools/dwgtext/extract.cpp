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

DrawingResult streamDrawing(const std::string &path, const tqhost::EntryPoints &library, TextReceiver &receiver)
{
    std::string error;
    std::vector<uint8_t> input;
    const std::unique_ptr<tqhost::ByteSource> bytes =
        path != "-" ? tqhost::openDrawing(path, error)
                    : tqhost::readWholeFile(path, input, error) ? std::make_unique<tqhost::MemoryBytes>(input) : nullptr;
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
