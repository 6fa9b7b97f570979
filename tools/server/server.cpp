#include "server.h"

#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

#include "extraction.h"
#include "formatting.h"
#include "headclock.h"
#include "spool.h"
#include "text_output.h"
#include "workers.h"

namespace dwgserver {

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char *kPlainText = "text/plain; charset=UTF-8";
constexpr const char *kJson = "application/json";

// What the access log needs of a request besides what the library keeps:
// it writes the line on the thread that served the request.
struct RequestLog {
    Clock::time_point start{};
    uint64_t bodyBytes = 0;
};
thread_local RequestLog requestLog;

void logRequest(const httplib::Request &request, const httplib::Response &response)
{
    const auto elapsed = requestLog.start == Clock::time_point{} ? Clock::duration{} : Clock::now() - requestLog.start;
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
    // The path comes percent-decoded: "%0A" must not start a line of its own.
    const std::string path = dwgtext::singleLine(dwgtext::validUtf8(request.path));
    std::fprintf(stderr, "%s %s %s %d in=%llu out=%zu %lldms\n", request.remote_addr.c_str(), request.method.c_str(),
                 path.c_str(), response.status, static_cast<unsigned long long>(requestLog.bodyBytes),
                 response.body.size(), static_cast<long long>(ms));
    requestLog = {};
}

void answer(httplib::Response &response, int status, const std::string &body, const char *type)
{
    response.status = status;
    response.set_content(body, type);
}

void refuse(httplib::Response &response, int status, const std::string &reason)
{
    answer(response, status, reason + "\n", kPlainText);
}

bool accepts(const httplib::Request &request, std::string_view type)
{
    return request.get_header_value("Accept").find(type) != std::string::npos;
}

// The file name from X-File-Name, else from the filename parameter of
// Content-Disposition ("attachment; filename=\"plan.dwg\"").
std::string fileNameOf(const httplib::Request &request)
{
    if (request.has_header("X-File-Name"))
        return request.get_header_value("X-File-Name");
    const std::string disposition = request.get_header_value("Content-Disposition");
    const std::size_t at = disposition.find("filename=");
    if (at == std::string::npos)
        return {};
    std::string_view name = std::string_view(disposition).substr(at + 9);
    if (name.starts_with('"')) {
        name.remove_prefix(1);
        return std::string(name.substr(0, name.find('"')));
    }
    return std::string(name.substr(0, name.find(';')));
}

// Takes the body into the spool, within the body timeout: a client that
// sends a byte now and then is cut off however small each wait is. 0 when
// the whole body came, else the status of the answer, with the reason.
int receiveBody(const httplib::ContentReader &reader, const Settings &settings, const httplib::Response &response,
                BodySpool &spool, std::string &reason)
{
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(settings.bodyTimeout);
    bool late = false;
    const bool whole = reader([&](const char *data, std::size_t size) {
        late = Clock::now() > deadline;
        return !late && spool.append(data, size);
    });
    requestLog.bodyBytes = spool.size();
    if (whole)
        return 0;
    if (response.status == 413) {
        reason = "the body is larger than " + std::to_string(settings.maxBytes) + " bytes";
        return 413;
    }
    if (late) {
        reason = "the body did not arrive within " + std::to_string(settings.bodyTimeout) + " s";
        return 408;
    }
    if (!spool.error().empty()) {
        reason = spool.error();
        return 500;
    }
    reason = "the body ended early";
    return 400;
}

using Answer = void (*)(const httplib::Request &, httplib::Response &, const Extraction &);

void textAnswer(const httplib::Request &request, httplib::Response &response, const Extraction &extraction)
{
    if (accepts(request, kJson))
        answer(response, 200, metadataJson(extraction, Content::Text), kJson);
    else
        answer(response, 200, extraction.content, kPlainText);
}

void recursiveAnswer(const httplib::Request &request, httplib::Response &response, const Extraction &extraction)
{
    const Content content = request.path == "/rmeta/text" ? Content::Text : Content::Xhtml;
    answer(response, 200, "[" + metadataJson(extraction, content) + "]", kJson);
}

void metadataAnswer(const httplib::Request &request, httplib::Response &response, const Extraction &extraction)
{
    if (accepts(request, "text/csv"))
        answer(response, 200, metadataCsv(extraction.metadata), "text/csv; charset=UTF-8");
    else
        answer(response, 200, metadataJson(extraction, Content::None), kJson);
}

// A PUT whose body is a drawing: received, read, answered.
httplib::Server::HandlerWithContentReader readingRoute(const Settings &settings, Answer give)
{
    return [&settings, give](const httplib::Request &request, httplib::Response &response,
                             const httplib::ContentReader &reader) {
        BodySpool spool;
        std::string reason;
        if (const int status = receiveBody(reader, settings, response, spool, reason); status != 0)
            return refuse(response, status, reason);
        const Extraction extraction = extractDrawing(spool.path(), fileNameOf(request));
        if (extraction.status != 200)
            return refuse(response, extraction.status, extraction.reason);
        give(request, response, extraction);
    };
}

void detectRoute(const Settings &settings, httplib::Server &server)
{
    server.Put("/detect/stream", [&settings](const httplib::Request &, httplib::Response &response,
                                             const httplib::ContentReader &reader) {
        BodySpool spool;
        std::string reason;
        if (const int status = receiveBody(reader, settings, response, spool, reason); status != 0)
            return refuse(response, status, reason);
        answer(response, 200, std::string(detectType(spool.head())), kPlainText);
    });
}

void fixedRoutes(httplib::Server &server)
{
    server.Get("/tika", [](const httplib::Request &, httplib::Response &response) {
        answer(response, 200, "This is dwgtext-server: PUT a DWG drawing to /tika for its texts.\n", kPlainText);
    });
    server.Get("/version", [](const httplib::Request &, httplib::Response &response) {
        answer(response, 200, "TQDUDADE dwgtext-server " DWGTEXT_VERSION "\n", kPlainText);
    });
    server.Get("/health", [](const httplib::Request &, httplib::Response &response) {
        answer(response, 200, "OK\n", kPlainText);
    });
}

}  // namespace

void configure(httplib::Server &server, const Settings &settings)
{
    const unsigned workers = settings.workers != 0 ? settings.workers : std::max(1u, std::thread::hardware_concurrency());
    const std::chrono::seconds headLimit(settings.timeout);
    server.new_task_queue = [workers, headLimit] { return new BoundedWorkers(workers, headLimit); };
    server.set_payload_max_length(settings.maxBytes);
    server.set_read_timeout(settings.timeout);
    server.set_write_timeout(settings.timeout);
    // An idle connection kept open holds a worker: it gets a moment only.
    server.set_keep_alive_timeout(2);
    // An answer's head and body go out in two writes; waiting for the
    // client's delayed acknowledgement of the head cost 40 ms a request.
    server.set_tcp_nodelay(true);
    // A request's head has come; the next one on the connection has as
    // long again, from the end of this one.
    server.set_pre_routing_handler([](const httplib::Request &, httplib::Response &) {
        disarmHeadDeadline();
        requestLog.start = Clock::now();
        return httplib::Server::HandlerResponse::Unhandled;
    });
    server.set_logger([headLimit](const httplib::Request &request, const httplib::Response &response) {
        logRequest(request, response);
        armHeadDeadline(headLimit);
    });

    server.Put("/tika", readingRoute(settings, textAnswer));
    server.Put("/rmeta", readingRoute(settings, recursiveAnswer));
    server.Put("/rmeta/text", readingRoute(settings, recursiveAnswer));
    server.Put("/meta", readingRoute(settings, metadataAnswer));
    detectRoute(settings, server);
    fixedRoutes(server);
    // These paths take the drawing as the body of a PUT: a GET of one is
    // told so (405), not that the path is unknown.
    for (const char *path : {"/rmeta", "/rmeta/text", "/meta", "/detect/stream"}) {
        server.Get(path, [](const httplib::Request &, httplib::Response &response) {
            response.set_header("Allow", "PUT");
            refuse(response, 405, "PUT the drawing as the body");
        });
    }
}

}  // namespace dwgserver
