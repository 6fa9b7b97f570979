// dwgtext-server: serves the texts of DWG drawings to indexing pipelines.
#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "front.h"

namespace {

constexpr std::string_view kUsage =
    "Usage: dwgtext-server [OPTION]...\n"
    "Serves the texts and document properties of DWG and DXF drawings over HTTP,\n"
    "in the protocol of the text extraction servers that indexing pipelines call:\n"
    "  PUT /tika[/text|/html|/xml|/json]  the texts (as text, XHTML or JSON)\n"
    "  PUT /rmeta[/text|/xml|/html|/ignore]  a JSON list of one metadata object\n"
    "  PUT /meta[/FIELD]   the metadata as JSON (CSV with Accept: text/csv)\n"
    "  POST /tika/form[/text], /meta/form, /rmeta/form[/text|/html]  the same, of\n"
    "                      a multipart/form-data upload\n"
    "  PUT /unpack/all     a tar of __METADATA__ and __TEXT__\n"
    "  PUT /language/stream, /language/string  the language of the texts\n"
    "  PUT /detect/stream  the media type of the body\n"
    "  GET /, /tika, /version, /health, /parsers, /mime-types, /detectors\n"
    "The request body is the drawing (gzip or deflate coded, if said so);\n"
    "X-File-Name or Content-Disposition may name it.\n"
    "\n"
    "Options:\n"
    "  --host ADDRESS        listen on this address (default 127.0.0.1)\n"
    "  --port N              listen on this port (default 9998; 0: any free port)\n"
    "  --max-bytes N         the largest body taken, as sent and as decoded, in\n"
    "                        bytes or with K, M or G (default 1G); larger: 413\n"
    "  --workers N           drawings read at once (default: one per core)\n"
    "  --queue N             drawings waiting for a worker (default 256); more\n"
    "                        are told to come back (503)\n"
    "  --timeout SECONDS     how long a connection may stay silent, and a\n"
    "                        request's head may take to arrive (default 30)\n"
    "  --min-rate N          bytes a second a body must average once it has taken\n"
    "                        the timeout (default 1K)\n"
    "  --max-connections N   connections open at once (default 1024)\n"
    "  --max-per-address N   connections open at once from one address (default 256)\n"
    "  --parse-timeout SECONDS  how long a drawing may take to read (default 300)\n"
    "  --no-summary-in-content  leave the title, author... out of the content\n"
    "  -h, --help            show this help and exit\n"
    "  --version             show the version and exit\n"
    "\n"
    "One line per request goes to standard error: client, method, path, status,\n"
    "bytes received and sent, milliseconds; and one for every connection closed\n"
    "without an answer, with the reason. SIGTERM or SIGINT stops taking\n"
    "connections, answers the requests under way, then exits 0.\n";

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
    const std::optional<uint64_t> n = number(value, name == "--max-bytes" || name == "--min-rate");
    if (!n)
        return false;
    const auto within = [&](uint64_t low, uint64_t high) { return *n >= low && *n <= high; };
    if (name == "--port" && within(0, 65535))
        settings.port = static_cast<int>(*n);
    else if (name == "--max-bytes" && *n > 0)
        settings.maxBytes = *n;
    else if (name == "--workers" && within(1, 1024))
        settings.workers = static_cast<unsigned>(*n);
    else if (name == "--queue" && within(1, 65536))
        settings.queue = static_cast<unsigned>(*n);
    else if (name == "--timeout" && within(1, 86400))
        settings.timeout = static_cast<int>(*n);
    else if (name == "--min-rate")
        settings.minRate = *n;
    else if (name == "--max-connections" && within(1, 65536))
        settings.maxConnections = static_cast<unsigned>(*n);
    else if (name == "--max-per-address" && within(1, 65536))
        settings.maxPerAddress = static_cast<unsigned>(*n);
    else if (name == "--parse-timeout" && within(1, 86400))
        settings.parseTimeout = static_cast<int>(*n);
    else
        return false;
    return true;
}

Parsed parse(const std::vector<std::string_view> &args)
{
    constexpr std::string_view kValued[] = {"--host",          "--port",           "--max-bytes",
                                            "--workers", "--queue", "--timeout",        "--min-rate",
                                            "--max-connections", "--max-per-address", "--parse-timeout"};
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
        } else if (name == "--no-summary-in-content" && !value) {
            parsed.settings.summaryInContent = false;
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
    // The signals wait for sigwait below: every thread started after this
    // blocks them.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    const dwgserver::Settings &settings = parsed.settings;
    int port = 0;
    std::string error;
    const int listening = dwgserver::listenOn(settings.host, settings.port, port, error);
    if (listening < 0) {
        std::fprintf(stderr, "dwgtext-server: cannot listen on %s port %d: %s\n", settings.host.c_str(),
                     settings.port, error.c_str());
        return 1;
    }
    dwgserver::Front front(settings);
    if (!front.start(listening))
        return 1;
    std::fprintf(stderr, "dwgtext-server: listening on http://%s:%d\n", settings.host.c_str(), port);
    int signal = 0;
    sigwait(&signals, &signal);
    front.stop();
    return 0;
}
