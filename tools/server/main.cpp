// dwgtext-server: serves the texts of DWG drawings to indexing pipelines.
#include <httplib.h>
#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "server.h"

namespace {

constexpr std::string_view kUsage =
    "Usage: dwgtext-server [OPTION]...\n"
    "Serves the texts and document properties of DWG drawings over HTTP, in the\n"
    "protocol of the text extraction servers that indexing pipelines call:\n"
    "  PUT /tika          the texts, one per line (JSON with Accept: application/json)\n"
    "  PUT /rmeta[/text]  a JSON array of one map: the metadata and X-TIKA:content\n"
    "                     (an XHTML page from /rmeta, one text per line from /rmeta/text)\n"
    "  PUT /meta          the metadata as JSON (as CSV with Accept: text/csv)\n"
    "  PUT /detect/stream the media type of the body\n"
    "  GET /tika, /version, /health\n"
    "The request body is the drawing; X-File-Name or Content-Disposition may name it.\n"
    "\n"
    "Options:\n"
    "  --host ADDRESS        listen on this address (default 127.0.0.1)\n"
    "  --port N              listen on this port (default 9998; 0: any free port)\n"
    "  --max-bytes N         the largest body taken, in bytes or with K, M or G\n"
    "                        (default 1G); larger ones get 413\n"
    "  --workers N           requests served at once (default: one per core)\n"
    "  --timeout SECONDS     how long a read or write may wait on a client, and a\n"
    "                        request's head may take to arrive (default 30)\n"
    "  --body-timeout SECONDS  how long a whole body may take to arrive (default 600)\n"
    "  -h, --help            show this help and exit\n"
    "  --version             show the version and exit\n"
    "\n"
    "One line per request goes to standard error: client, method, path, status,\n"
    "bytes received and sent, milliseconds. SIGTERM or SIGINT finishes the\n"
    "requests under way, then exits 0.\n";

std::optional<uint64_t> number(std::string_view text, bool sized)
{
    uint64_t scale = 1;
    if (sized && !text.empty()) {
        const std::string_view units = "KMG";
        if (const std::size_t unit = units.find(text.back()); unit != std::string_view::npos) {
            scale = uint64_t{1} << (10 * (unit + 1));
            text.remove_suffix(1);
        }
    }
    uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value > UINT64_MAX / scale)
        return std::nullopt;
    return value * scale;
}

struct Parsed {
    dwgserver::Settings settings;
    bool help = false;
    bool version = false;
    std::string error;
};

// Sets the option's value; false when the value does not fit it.
bool setOption(std::string_view name, std::string_view value, dwgserver::Settings &settings)
{
    if (name == "--host") {
        settings.host = value;
        return !value.empty();
    }
    const std::optional<uint64_t> n = number(value, name == "--max-bytes");
    if (!n)
        return false;
    if (name == "--port" && *n <= 65535)
        settings.port = static_cast<int>(*n);
    else if (name == "--max-bytes" && *n > 0)
        settings.maxBytes = *n;
    else if (name == "--workers" && *n > 0 && *n <= 1024)
        settings.workers = static_cast<unsigned>(*n);
    else if (name == "--timeout" && *n > 0 && *n <= 86400)
        settings.timeout = static_cast<int>(*n);
    else if (name == "--body-timeout" && *n > 0 && *n <= 86400)
        settings.bodyTimeout = static_cast<int>(*n);
    else
        return false;
    return true;
}

Parsed parse(const std::vector<std::string_view> &args)
{
    constexpr std::string_view kValued[] = {"--host", "--port", "--max-bytes", "--workers", "--timeout", "--body-timeout"};
    Parsed parsed;
    for (std::size_t i = 0; i < args.size() && parsed.error.empty(); ++i) {
        std::string_view name = args[i];
        std::optional<std::string_view> value;
        if (const std::size_t equals = name.find('='); name.starts_with("--") && equals != std::string_view::npos) {
            value = name.substr(equals + 1);
            name = name.substr(0, equals);
        }
        if ((name == "-h" || name == "--help") && !value) {
            parsed.help = true;
        } else if (name == "--version" && !value) {
            parsed.version = true;
        } else if (std::find(std::begin(kValued), std::end(kValued), name) == std::end(kValued)) {
            parsed.error = "unknown option '" + std::string(args[i]) + "'";
        } else if (!value && i + 1 == args.size()) {
            parsed.error = "option '" + std::string(name) + "' needs a value";
        } else if (!setOption(name, value ? *value : args[++i], parsed.settings)) {
            parsed.error = "bad value for '" + std::string(name) + "'";
        }
    }
    return parsed;
}

// Waits for SIGTERM or SIGINT, which every thread blocks, and stops the
// server: it serves the requests under way and returns from listening. A
// signal that comes before the server listens stops it once it does; one
// sent after listening is over only ends the wait.
std::thread stopOnSignal(httplib::Server &server, const sigset_t &signals, const std::atomic<bool> &over)
{
    return std::thread([&server, signals, &over] {
        int signal = 0;
        sigwait(&signals, &signal);
        while (!server.is_running() && !over)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        server.stop();
    });
}

}  // namespace

int main(int argc, char **argv)
{
    const Parsed parsed = parse(std::vector<std::string_view>(argv + 1, argv + argc));
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "dwgtext-server: %s\nTry 'dwgtext-server --help'.\n", parsed.error.c_str());
        return 2;
    }
    if (parsed.help || parsed.version) {
        std::fputs(parsed.help ? kUsage.data() : "dwgtext-server " DWGTEXT_VERSION "\n", stdout);
        return 0;
    }

    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    httplib::Server server;
    dwgserver::configure(server, parsed.settings);
    const dwgserver::Settings &settings = parsed.settings;
    const int port = settings.port == 0 ? server.bind_to_any_port(settings.host)
                                        : (server.bind_to_port(settings.host, settings.port) ? settings.port : -1);
    if (port < 0) {
        std::fprintf(stderr, "dwgtext-server: cannot listen on %s port %d\n", settings.host.c_str(), settings.port);
        return 1;
    }
    std::fprintf(stderr, "dwgtext-server: listening on http://%s:%d\n", settings.host.c_str(), port);
    std::atomic<bool> over{false};
    std::thread stopper = stopOnSignal(server, signals, over);
    const bool listened = server.listen_after_bind();
    over = true;
    pthread_kill(stopper.native_handle(), SIGTERM);
    stopper.join();
    return listened ? 0 : 1;
}
