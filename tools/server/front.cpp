#include "front.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

#include "extraction.h"
#include "formatting.h"
#include "intake.h"
#include "routes.h"
#include "text_output.h"
#include "workers.h"

namespace dwgserver {

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kSweepEvery = std::chrono::milliseconds(250);
// The event loop runs on a thread of ours: it waits on the HTTP library's
// epoll set and on an event a worker signals when it resumes a connection
// (the library's own thread could miss that wake-up and leave the answer
// waiting for the next event), and never longer than this.
constexpr int kLoopWaitMs = 50;
// Stopping waits this long for the requests under way: within the service
// unit's stop timeout.
constexpr auto kDrainLimit = std::chrono::seconds(100);
// A request's head, and the buffers of a connection, fit in this.
constexpr std::size_t kConnectionMemory = 64 * 1024;
// Of a body that is not a drawing, the language routes read this much as text.
constexpr std::size_t kLanguageSample = 64 * 1024;

// Where a connection stands, for the sweeper that holds each to its time.
enum class Phase { Head, Body, Working };

struct Connection {
    int fd = -1;
    std::string client;
    Phase phase = Phase::Head;
    Clock::time_point since{};
    uint64_t bytes = 0;  // of the body, so far
};

std::string addressOf(const sockaddr *address)
{
    char text[INET6_ADDRSTRLEN] = "?";
    if (address != nullptr && address->sa_family == AF_INET)
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in *>(address)->sin_addr, text, sizeof text);
    else if (address != nullptr && address->sa_family == AF_INET6)
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6 *>(address)->sin6_addr, text, sizeof text);
    return text;
}

// One request, from its head to the end of its answer.
struct Exchange {
    MHD_Connection *connection = nullptr;
    Asked asked;
    std::string client;
    std::string method;
    std::string path;
    std::string fileName;
    uint64_t writeLimit = 0;  // characters of content asked for; 0: all
    Clock::time_point start = Clock::now();
    std::unique_ptr<Intake> intake;
    std::optional<Answer> answer;
    int status = 0;                  // of the answer queued
    std::size_t sent = 0;
};

const char *header(MHD_Connection *connection, const char *name)
{
    return MHD_lookup_connection_value(connection, MHD_HEADER_KIND, name);
}

// The file name from X-File-Name, else from the filename parameter of
// Content-Disposition, quoted or not: attachment; filename="plan.dwg".
std::string fileNameOf(MHD_Connection *connection)
{
    if (const char *name = header(connection, "X-File-Name"))
        return name;
    const char *disposition = header(connection, "Content-Disposition");
    const std::string_view text = disposition != nullptr ? disposition : "";
    const std::size_t at = text.find("filename=");
    if (at == std::string_view::npos)
        return {};
    std::string_view name = text.substr(at + 9);
    if (name.starts_with('"')) {
        name.remove_prefix(1);
        return std::string(name.substr(0, name.find('"')));
    }
    return std::string(name.substr(0, name.find(';')));
}

// What the HTTP library lets through, even strict, but a proxy in front may
// read otherwise: two different lengths, a NUL in a header, a name with a
// space. (It refuses an HTTP/1.1 request without a Host itself.)
struct HeadCheck {
    std::string length;
    std::string fault;
};

// The HTTP library ends a header's value at a NUL, and keeps the line's
// end as two NULs in its buffer where the CR LF stood: a value followed by
// a single NUL held one. (A line ended by a bare LF reads the same, and is
// refused with it.)
bool endsEarly(const char *value, std::size_t size)
{
    return value[size + 1] != '\0';
}

MHD_Result checkHeader(void *cls, MHD_ValueKind, const char *key, size_t keySize, const char *value,
                       size_t valueSize)
{
    HeadCheck &check = *static_cast<HeadCheck *>(cls);
    const std::string_view name(key, keySize);
    if (value == nullptr || endsEarly(value, valueSize))
        check.fault = "a header holds a NUL";
    else if (name.find_first_of(" \t") != std::string_view::npos || name.empty())
        check.fault = "a header name holds a space";
    else if (strcasecmp(key, "Content-Length") == 0 && !check.length.empty() && check.length != value)
        check.fault = "two different Content-Length headers";
    if (strcasecmp(key, "Content-Length") == 0)
        check.length = value;
    return MHD_YES;
}

std::string headFault(MHD_Connection *connection)
{
    HeadCheck check;
    MHD_get_connection_values_n(connection, MHD_HEADER_KIND, checkHeader, &check);
    return check.fault;
}

bool bodyComing(MHD_Connection *connection)
{
    const char *length = header(connection, "Content-Length");
    return header(connection, "Transfer-Encoding") != nullptr || (length != nullptr && std::string_view(length) != "0");
}

bool isMultipart(MHD_Connection *connection)
{
    const char *type = header(connection, "Content-Type");
    return type != nullptr && strncasecmp(type, "multipart/form-data", 19) == 0;
}

}  // namespace

struct Front::State {
    Settings settings;
    ExtractionSettings reading;
    std::unique_ptr<Workers> workers;
    MHD_Daemon *daemon = nullptr;
    std::mutex mutex;
    std::map<MHD_Connection *, Connection> connections;
    std::condition_variable stopped;  // the sweeper's wake-up when the daemon is gone
    std::size_t underway = 0;  // exchanges begun and not yet over
    bool stopping = false;
    int wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    std::thread loop;
    std::thread sweeper;
    std::mutex logMutex;

    void log(const char *format, ...) __attribute__((format(printf, 2, 3)));
    void run();
    void resume(MHD_Connection *connection);
    void setPhase(MHD_Connection *connection, Phase phase);
    void sweep();
    MHD_Result onRequest(MHD_Connection *connection, const char *url, const char *method, const char *data,
                         size_t *size, void **context);
    Exchange *begin(MHD_Connection *connection, const char *url, const char *method);
    void receive(Exchange &exchange, const char *data, std::size_t size);
    MHD_Result bodyDone(Exchange &exchange);
    void read(Exchange &exchange);
    MHD_Result send(Exchange &exchange);
    void completed(Exchange *exchange, MHD_RequestTerminationCode code);
};

void Front::State::log(const char *format, ...)
{
    std::lock_guard lock(logMutex);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
}

void Front::State::setPhase(MHD_Connection *connection, Phase phase)
{
    std::lock_guard lock(mutex);
    const auto found = connections.find(connection);
    if (found != connections.end()) {
        found->second.phase = phase;
        found->second.since = Clock::now();
        found->second.bytes = 0;
    }
}

// Cuts off a connection whose request head has not come within the
// timeout, or whose body, past that time, comes slower on average than the
// minimum rate: shutting its socket down makes the event loop see it end.
void Front::State::sweep()
{
    std::unique_lock lock(mutex);
    while (!stopped.wait_for(lock, kSweepEvery, [this] { return daemon == nullptr; })) {
        const Clock::time_point now = Clock::now();
        for (auto &[connection, state] : connections) {
            const auto spent = now - state.since;
            const double seconds = std::chrono::duration<double>(spent).count();
            const char *why = nullptr;
            const bool pastTimeout = spent > std::chrono::seconds(settings.timeout);
            if (state.phase == Phase::Head && pastTimeout)
                why = "no whole request head";
            else if (state.phase == Phase::Body && pastTimeout &&
                     static_cast<double>(state.bytes) < static_cast<double>(settings.minRate) * seconds)
                why = "a body slower than the minimum rate";
            if (why != nullptr && state.fd >= 0) {
                log("%s - - closed: %s after %.1f s\n", state.client.c_str(), why, seconds);
                ::shutdown(state.fd, SHUT_RDWR);
                state.fd = -1;
            }
        }
    }
}

// Runs the event loop until stopping has closed the listening socket and
// the requests under way are answered, or the time for that has passed.
void Front::State::run()
{
    const MHD_DaemonInfo *epoll = MHD_get_daemon_info(daemon, MHD_DAEMON_INFO_EPOLL_FD);
    pollfd events[2] = {{epoll != nullptr ? epoll->epoll_fd : -1, POLLIN, 0}, {wake, POLLIN, 0}};
    std::optional<Clock::time_point> drainUntil;
    for (;;) {
        MHD_UNSIGNED_LONG_LONG due = kLoopWaitMs;
        if (MHD_get_timeout(daemon, &due) != MHD_YES || due > kLoopWaitMs)
            due = kLoopWaitMs;
        ::poll(events, 2, static_cast<int>(due));
        uint64_t signalled = 0;
        if (::read(wake, &signalled, sizeof signalled) < 0 && errno != EAGAIN)
            log("dwgtext-server: cannot read the loop's wake-up: %s\n", std::strerror(errno));
        MHD_run(daemon);
        std::lock_guard lock(mutex);
        if (!stopping)
            continue;
        if (!drainUntil) {
            drainUntil = Clock::now() + kDrainLimit;
            if (const int listening = MHD_quiesce_daemon(daemon); listening >= 0)
                ::close(listening);
        }
        if (underway == 0 || Clock::now() > *drainUntil)
            return;
    }
}

void Front::State::resume(MHD_Connection *connection)
{
    MHD_resume_connection(connection);
    const uint64_t one = 1;
    if (::write(wake, &one, sizeof one) < 0 && errno != EAGAIN)
        log("dwgtext-server: cannot wake the loop: %s\n", std::strerror(errno));
}

Exchange *Front::State::begin(MHD_Connection *connection, const char *url, const char *method)
{
    auto exchange = std::make_unique<Exchange>();
    exchange->connection = connection;
    const MHD_ConnectionInfo *info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    exchange->client = addressOf(info != nullptr ? info->client_addr : nullptr);
    exchange->method = method;
    // The path as it came: "%0A" must not start a line of the log.
    exchange->path = dwgtext::singleLine(dwgtext::validUtf8(url));
    {
        std::lock_guard lock(mutex);
        ++underway;
    }
    Answer refused;
    if (const std::string fault = headFault(connection); !fault.empty()) {
        exchange->answer = refusal(400, fault);
        return exchange.release();
    }
    exchange->asked.route = findRoute(method, url, exchange->asked.field, refused);
    if (const char *accept = header(connection, "Accept"))
        exchange->asked.accept = accept;
    if (exchange->asked.route == nullptr) {
        exchange->answer = std::move(refused);
        return exchange.release();
    }
    const Route &route = *exchange->asked.route;
    if (!readsDrawing(route)) {
        exchange->answer = fixedAnswer(exchange->asked);
        return exchange.release();
    }
    const char *length = header(connection, "Content-Length");
    if (length != nullptr && std::strtoull(length, nullptr, 10) > settings.maxBytes) {
        exchange->answer = refusal(413, "the body is larger than " + std::to_string(settings.maxBytes) + " bytes");
        return exchange.release();
    }
    if ((route.body == Body::Multipart) != isMultipart(connection)) {
        exchange->answer = refusal(415, route.body == Body::Multipart ? "POST the drawing as multipart/form-data"
                                                                       : "PUT the drawing as the body");
        return exchange.release();
    }
    const char *encoding = header(connection, "Content-Encoding");
    exchange->intake = std::make_unique<Intake>(settings.maxBytes, encoding != nullptr ? encoding : "",
                                                route.body == Body::Multipart ? connection : nullptr);
    if (exchange->intake->status() != 0)
        exchange->answer = refusal(exchange->intake->status(), exchange->intake->reason());
    exchange->fileName = fileNameOf(connection);
    if (const char *limit = header(connection, "writeLimit"))
        exchange->writeLimit = std::strtoull(limit, nullptr, 10);
    setPhase(connection, Phase::Body);
    return exchange.release();
}

void Front::State::receive(Exchange &exchange, const char *data, std::size_t size)
{
    exchange.intake->feed(data, size);
    std::lock_guard lock(mutex);
    const auto found = connections.find(exchange.connection);
    if (found != connections.end())
        found->second.bytes += size;
}

// The body has come: the drawing goes to a worker, and the connection waits
// for it; a full queue is told to come back.
MHD_Result Front::State::bodyDone(Exchange &exchange)
{
    setPhase(exchange.connection, Phase::Working);
    Intake &intake = *exchange.intake;
    intake.finish();
    if (intake.status() != 0) {
        exchange.answer = refusal(intake.status(), intake.reason());
        return send(exchange);
    }
    if (exchange.fileName.empty())
        exchange.fileName = intake.partName();
    // Suspended before the job is queued: the worker resumes it.
    MHD_suspend_connection(exchange.connection);
    if (!workers->tryPush([this, &exchange] { read(exchange); })) {
        exchange.answer = refusal(503, "every worker is busy and the queue is full; try again");
        exchange.answer->headers.emplace_back("Retry-After", "1");
        resume(exchange.connection);
    }
    return MHD_YES;
}

// On a worker: the drawing read and the answer made; the connection then
// goes on, and the event loop sends it.
void Front::State::read(Exchange &exchange)
{
    BodySpool &spool = exchange.intake->spool();
    ExtractionSettings settings = reading;
    settings.writeLimit = exchange.writeLimit;
    Extraction extraction = extractDrawing(spool.path(), exchange.fileName, spool.head(), settings);
    if (exchange.asked.route->shape == Shape::Language && extraction.outcome != Outcome::Read)
        extraction.content = spool.start(kLanguageSample);
    exchange.answer = drawingAnswer(exchange.asked, extraction);
    resume(exchange.connection);
}

MHD_Result Front::State::send(Exchange &exchange)
{
    Answer &answer = *exchange.answer;
    MHD_Response *response =
        MHD_create_response_from_buffer(answer.body.size(), answer.body.data(), MHD_RESPMEM_MUST_COPY);
    if (response == nullptr)
        return MHD_NO;
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, answer.type.c_str());
    for (const auto &[name, value] : answer.headers)
        MHD_add_response_header(response, name.c_str(), value.c_str());
    bool closing;
    {
        std::lock_guard lock(mutex);
        closing = stopping;
    }
    // After a malformed request the connection's next bytes cannot be
    // trusted to start a request.
    if (closing || answer.status == 400)
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONNECTION, "close");
    exchange.status = answer.status;
    exchange.sent = answer.body.size();
    const MHD_Result queued = MHD_queue_response(exchange.connection, static_cast<unsigned>(answer.status), response);
    MHD_destroy_response(response);
    return queued;
}

MHD_Result Front::State::onRequest(MHD_Connection *connection, const char *url, const char *method,
                                   const char *data, size_t *size, void **context)
{
    if (*context == nullptr) {
        Exchange *exchange = begin(connection, url, method);
        *context = exchange;
        // A refusal of a request with a body goes out at once, and the body
        // it leaves unread closes the connection after the answer; any other
        // answer waits for the request's end, and the connection stays open.
        return exchange->answer && bodyComing(connection) ? send(*exchange) : MHD_YES;
    }
    Exchange &exchange = *static_cast<Exchange *>(*context);
    if (*size > 0) {
        if (!exchange.intake)
            return MHD_NO;
        receive(exchange, data, *size);
        *size = 0;
        // A body that grows past the limit is cut off (and logged), not
        // read to its end; one found malformed is read, within the limit,
        // and then refused.
        return exchange.intake->overLimit() ? MHD_NO : MHD_YES;
    }
    if (exchange.answer)
        return send(exchange);
    return bodyDone(exchange);
}

void Front::State::completed(Exchange *exchange, MHD_RequestTerminationCode code)
{
    if (exchange == nullptr)
        return;
    const long long ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - exchange->start).count();
    const unsigned long long in = exchange->intake ? exchange->intake->received() : 0;
    if (code == MHD_REQUEST_TERMINATED_COMPLETED_OK) {
        log("%s %s %s %d in=%llu out=%zu %lldms\n", exchange->client.c_str(), exchange->method.c_str(),
            exchange->path.c_str(), exchange->status, in, exchange->sent, ms);
    } else {
        const char *why = code == MHD_REQUEST_TERMINATED_TIMEOUT_REACHED  ? "the client was silent too long"
                          : code == MHD_REQUEST_TERMINATED_DAEMON_SHUTDOWN ? "the server stopped"
                          : code == MHD_REQUEST_TERMINATED_CLIENT_ABORT    ? "the client went away"
                          : exchange->intake && exchange->intake->status() != 0
                              ? exchange->intake->reason().c_str()
                              : "the connection failed";
        log("%s %s %s - in=%llu %lldms closed without an answer: %s\n", exchange->client.c_str(),
            exchange->method.c_str(), exchange->path.c_str(), in, ms, why);
    }
    setPhase(exchange->connection, Phase::Head);
    delete exchange;
    std::lock_guard lock(mutex);
    --underway;
}

Front::Front(const Settings &settings) : state_(std::make_unique<State>())
{
    state_->settings = settings;
    state_->reading.summaryInContent = settings.summaryInContent;
    state_->reading.timeLimit = std::chrono::seconds(settings.parseTimeout);
}

Front::~Front()
{
    if (state_->daemon != nullptr)
        stop();
}

bool Front::start(int listening)
{
    State &state = *state_;
    const unsigned threads = state.settings.workers != 0 ? state.settings.workers
                                                         : std::max(1u, std::thread::hardware_concurrency());
    state.workers = std::make_unique<Workers>(threads, state.settings.queue);
    const auto onRequest = [](void *cls, MHD_Connection *connection, const char *url, const char *method,
                              const char *, const char *data, size_t *size, void **context) {
        return static_cast<State *>(cls)->onRequest(connection, url, method, data, size, context);
    };
    const auto onCompleted = [](void *cls, MHD_Connection *, void **context, MHD_RequestTerminationCode code) {
        static_cast<State *>(cls)->completed(static_cast<Exchange *>(*context), code);
        *context = nullptr;
    };
    const auto onConnection = [](void *cls, MHD_Connection *connection, void **, MHD_ConnectionNotificationCode code) {
        State &state = *static_cast<State *>(cls);
        std::lock_guard lock(state.mutex);
        if (code == MHD_CONNECTION_NOTIFY_CLOSED) {
            state.connections.erase(connection);
            return;
        }
        Connection &entry = state.connections[connection];
        const MHD_ConnectionInfo *fd = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
        const MHD_ConnectionInfo *from = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
        entry.fd = fd != nullptr ? fd->connect_fd : -1;
        entry.client = addressOf(from != nullptr ? from->client_addr : nullptr);
        entry.since = Clock::now();
    };
    const auto onLibraryMessage = [](void *cls, const char *format, va_list args) {
        State &state = *static_cast<State *>(cls);
        char message[512];
        std::vsnprintf(message, sizeof message, format, args);
        std::string line = dwgtext::singleLine(message);
        state.log("dwgtext-server: http: %s\n", line.c_str());
    };
    state.daemon = MHD_start_daemon(
        MHD_USE_EPOLL | MHD_ALLOW_SUSPEND_RESUME | MHD_USE_ERROR_LOG, 0, nullptr,
        nullptr, +onRequest, &state, MHD_OPTION_EXTERNAL_LOGGER, +onLibraryMessage, &state, MHD_OPTION_LISTEN_SOCKET, listening, MHD_OPTION_CONNECTION_LIMIT,
        state.settings.maxConnections, MHD_OPTION_PER_IP_CONNECTION_LIMIT, state.settings.maxPerAddress,
        MHD_OPTION_CONNECTION_TIMEOUT, static_cast<unsigned>(state.settings.timeout),
        MHD_OPTION_CONNECTION_MEMORY_LIMIT, kConnectionMemory, MHD_OPTION_STRICT_FOR_CLIENT, 1,
        MHD_OPTION_NOTIFY_COMPLETED, +onCompleted, &state, MHD_OPTION_NOTIFY_CONNECTION, +onConnection, &state,
        MHD_OPTION_END);
    if (state.daemon == nullptr) {
        std::fprintf(stderr, "dwgtext-server: cannot start serving\n");
        return false;
    }
    state.loop = std::thread([&state] { state.run(); });
    state.sweeper = std::thread([&state] { state.sweep(); });
    return true;
}

void Front::stop()
{
    State &state = *state_;
    {
        std::lock_guard lock(state.mutex);
        state.stopping = true;
    }
    state.loop.join();
    // The readings under way end before the daemon does (a worker resumes
    // its connection); those still queued are dropped, and stopping the
    // daemon closes their connections.
    state.workers.reset();
    MHD_stop_daemon(state.daemon);
    {
        std::lock_guard lock(state.mutex);
        state.daemon = nullptr;
    }
    state.stopped.notify_all();
    state.sweeper.join();
    ::close(state.wake);
}

int listenOn(const std::string &host, int port, int &bound, std::string &error)
{
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV | AI_PASSIVE;
    addrinfo *found = nullptr;
    if (const int failed = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found); failed != 0) {
        error = "'" + host + "' is not an address: " + gai_strerror(failed);
        return -1;
    }
    const int fd = ::socket(found->ai_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    if (fd >= 0)
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (fd < 0 || ::bind(fd, found->ai_addr, found->ai_addrlen) != 0 || ::listen(fd, SOMAXCONN) != 0) {
        error = std::strerror(errno);
        freeaddrinfo(found);
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    freeaddrinfo(found);
    sockaddr_storage address{};
    socklen_t size = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &size);
    bound = ntohs(address.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6 *>(&address)->sin6_port
                                                : reinterpret_cast<sockaddr_in *>(&address)->sin_port);
    return fd;
}

}  // namespace dwgserver
