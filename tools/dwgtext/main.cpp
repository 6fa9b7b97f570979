// dwgtext: prints the texts of DWG drawings, read through our own host.
#include <malloc.h>
#include <unistd.h>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "extract.h"
#include "host_library.h"
#include "inputs.h"
#include "options.h"
#include "progress.h"
#include "render.h"
#include "runner.h"

namespace {

struct Finished {
    dwgtext::Rendered rendered;
    uint64_t size = 0;
};

void write(std::FILE *stream, std::string_view bytes) { std::fwrite(bytes.data(), 1, bytes.size(), stream); }

unsigned jobCount(unsigned asked)
{
    if (asked != 0)
        return asked;
    return std::max(1u, std::thread::hardware_concurrency());
}

dwgtext::RenderSettings renderSettings(const dwgtext::Options &options, const dwgtext::InputList &list)
{
    const bool several = list.inputs.size() > 1 || list.fromDirectory;
    return {options.format, options.withFilename.value_or(several), options.quiet, options.codePage};
}

Finished readOne(const dwgtext::Input &input, const dwgtext::RenderSettings &settings)
{
    const dwgtext::DrawingResult drawing = input.error.empty()
                                               ? dwgtext::readDrawing(input.path, tqhost::libraryEntryPoints())
                                               : dwgtext::unreadable(input.error);
    return {dwgtext::render(input.name, drawing, settings), drawing.size};
}

// Reads every input; true when every one was read.
bool readAll(const dwgtext::Options &options)
{
    const dwgtext::InputList list = dwgtext::expandOperands(options.files, options.recursive);
    const dwgtext::RenderSettings settings = renderSettings(options, list);
    const std::size_t count = list.inputs.size();
    const bool showProgress = count > 1 && isatty(STDERR_FILENO);
    dwgtext::Progress progress(showProgress ? stderr : nullptr, count);

    bool allRead = true;
    dwgtext::runInOrder<Finished>(
        count, jobCount(options.jobs), [&](std::size_t i) { return readOne(list.inputs[i], settings); },
        [&](std::size_t, Finished &finished) {
            progress.clear();
            write(stdout, finished.rendered.out);
            if (showProgress)
                std::fflush(stdout);
            write(stderr, finished.rendered.err);
            allRead = allRead && finished.rendered.read;
            progress.fileDone(finished.size);
        });
    return allRead;
}

// Each drawing is read whole into memory and freed again. By default the
// C library hands such blocks back to the system after every file and takes
// them anew for the next, which costs more than reading the drawing; keep
// them instead.
void keepFreedMemory()
{
#ifdef __GLIBC__
    constexpr int kLargestHeapBlock = 32 << 20;  // larger ones still come from mmap
    mallopt(M_MMAP_THRESHOLD, kLargestHeapBlock);
    mallopt(M_TRIM_THRESHOLD, 2 * kLargestHeapBlock);
#endif
}

// On Windows the standard streams start in text mode, which would turn every
// line feed written into CR LF and cut a drawing read from standard input at
// its first 0x1A byte; dwgtext reads and writes bytes, as elsewhere.
void useBinaryStreams()
{
#ifdef _WIN32
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
}

}  // namespace

int main(int argc, char **argv)
{
    keepFreedMemory();
    useBinaryStreams();
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    const dwgtext::ParsedOptions parsed = dwgtext::parseOptions(args);
    if (!parsed.ok()) {
        std::fprintf(stderr, "dwgtext: %s (try 'dwgtext --help')\n", parsed.error.c_str());
        return 2;
    }
    if (parsed.options.help) {
        write(stdout, dwgtext::usageText());
        return 0;
    }
    if (parsed.options.version) {
        write(stdout, "dwgtext (TQDUDADE) " DWGTEXT_VERSION "\n");
        return 0;
    }

    const bool allRead = readAll(parsed.options);
    if (std::fflush(stdout) != 0) {
        std::perror("dwgtext: standard output");
        return 1;
    }
    return allRead ? 0 : 1;
}
