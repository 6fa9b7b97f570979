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
#include "output.h"
#include "progress.h"
#include "render.h"
#include "runner.h"

namespace {

struct Finished {
    dwgtext::Rendered rendered;
    uint64_t size = 0;
};

// Standard error is unbuffered and nothing is left to tell if it fails.
void writeError(std::string_view bytes) { std::fwrite(bytes.data(), 1, bytes.size(), stderr); }

// The exit status after standard output failed.
int outputFailed(int error)
{
    writeError(dwgtext::writeFailureMessage(error));
    return 1;
}

unsigned jobCount(unsigned asked)
{
    if (asked != 0)
        return asked;
    return std::max(1u, std::thread::hardware_concurrency());
}

dwgtext::RenderSettings renderSettings(const dwgtext::Options &options, const dwgtext::InputList &list)
{
    const bool several = list.inputs.size() > 1 || list.fromDirectory;
    return {options.format, options.withFilename.value_or(several), options.reports, options.codePage};
}

Finished readOne(const dwgtext::Input &input, const dwgtext::RenderSettings &settings)
{
    const dwgtext::DrawingResult drawing = input.error.empty()
                                               ? dwgtext::readDrawing(input.path, tqhost::libraryEntryPoints())
                                               : dwgtext::unreadable(input.error);
    return {dwgtext::render(input.name, drawing, settings), drawing.size};
}

struct Outcome {
    bool allRead = true;
    int outputError = 0;  // errno of the write to standard output that failed
};

// Reads every input, and stops at the first write to standard output that
// fails.
Outcome readAll(const dwgtext::Options &options)
{
    const dwgtext::InputList list = dwgtext::expandOperands(options.files, options.recursive);
    const dwgtext::RenderSettings settings = renderSettings(options, list);
    const std::size_t count = list.inputs.size();
    const bool showProgress = count > 1 && isatty(STDERR_FILENO);
    dwgtext::Progress progress(showProgress ? stderr : nullptr, count);

    Outcome outcome;
    dwgtext::runInOrder<Finished>(
        count, jobCount(options.jobs), [&](std::size_t i) { return readOne(list.inputs[i], settings); },
        [&](std::size_t, Finished &finished) {
            progress.clear();
            outcome.outputError = dwgtext::writeAll(STDOUT_FILENO, finished.rendered.out);
            if (outcome.outputError != 0)
                return false;
            writeError(finished.rendered.err);
            outcome.allRead = outcome.allRead && finished.rendered.read;
            progress.fileDone(finished.size);
            return true;
        });
    return outcome;
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
    if (parsed.options.help || parsed.options.version) {
        const std::string text =
            parsed.options.help ? dwgtext::usageText() : "dwgtext (TQDUDADE) " DWGTEXT_VERSION "\n";
        const int error = dwgtext::writeAll(STDOUT_FILENO, text);
        return error == 0 ? 0 : outputFailed(error);
    }

    const Outcome outcome = readAll(parsed.options);
    if (outcome.outputError != 0)
        return outputFailed(outcome.outputError);
    return outcome.allRead ? 0 : 1;
}
