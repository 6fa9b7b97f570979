// dwgtext: prints the texts of DWG drawings, read through our own host.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "host_files.h"
#include "host_library.h"
#include "options.h"
#include "text_output.h"

namespace {

void writeOut(std::string_view bytes) { std::fwrite(bytes.data(), 1, bytes.size(), stdout); }

void printTexts(const std::vector<tqhost::Event> &events)
{
    for (const auto &event : events) {
        if (event.type != tqhost::Event::Type::Text)
            continue;
        writeOut(dwgtext::printableText(event.code, event.bytes));
        writeOut("\n");
    }
}

// Runs one drawing; false when it could not be read.
bool processFile(const std::string &path, const dwgtext::Options &options)
{
    const std::string name = path == "-" ? "(standard input)" : path;
    std::vector<uint8_t> bytes;
    std::string error;
    if (!tqhost::readWholeFile(path, bytes, error)) {
        std::fprintf(stderr, "dwgtext: %s: %s\n", name.c_str(), error.c_str());
        return false;
    }

    const tqhost::SessionResult result = tqhost::runLibrarySession(std::move(bytes));
    if (options.events)
        writeOut(result.eventText);
    else
        printTexts(result.events);

    if (result.outcome.refused) {
        std::fprintf(stderr, "dwgtext: %s: not a drawing this reader can open\n", name.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char **argv)
{
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    const dwgtext::ParsedOptions parsed = dwgtext::parseOptions(args);
    if (!parsed.ok()) {
        std::fprintf(stderr, "dwgtext: %s\n%s", parsed.error.c_str(), dwgtext::usageText().c_str());
        return 2;
    }
    if (parsed.options.help) {
        writeOut(dwgtext::usageText());
        return 0;
    }

    bool allRead = true;
    for (const auto &path : parsed.options.files)
        allRead = processFile(path, parsed.options) && allRead;

    if (std::fflush(stdout) != 0) {
        std::perror("dwgtext: standard output");
        return 1;
    }
    return allRead ? 0 : 1;
}
