// dwgtext: prints the texts of DWG drawings, read through libdwgtext.
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
#include "formatting.h"
#include "host_library.h"
#include "mappedfiles.h"
#include "inputs.h"
#include "options.h"
#include "output.h"
#include "progress.h"
#include "render.h"
#include "runner.h"
#include "text_output.h"

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
    return {options.format, options.withFilename.value_or(several), options.reports, options.codePage,
            options.propertyLines};
}

// The event list is what the recording host saw, so --events reads on it;
// everything else streams through libdwgtext.
Finished readOne(const dwgtext::Input &input, const dwgtext::RenderSettings &settings, const dwgtext::Options &options,
                 const dwgtext::DrawingRenderer::Flush &flush)
{
    if (!input.error.empty())
        return {dwgtext::render(input.name, dwgtext::unreadable(input.error), settings), 0};
    if (settings.format == dwgtext::Format::Events) {
        const dwgtext::DrawingResult drawing = dwgtext::readDrawing(input.path, tqhost::libraryEntryPoints());
        return {dwgtext::render(input.name, drawing, settings), drawing.size};
    }
    dwgtext::DrawingRenderer renderer(input.name, settings, flush);
    const dwgtext::ReadOptions reading{settings.format == dwgtext::Format::Raw, settings.codePage, options.streamLimit,
                                       options.classicKinds, options.previewPath};
    const dwgtext::DrawingResult drawing = dwgtext::streamDrawing(input.path, reading, renderer);
    return {renderer.finish(drawing), drawing.size};
}

struct Outcome {
    bool allRead = true;
    int outputError = 0;  // errno of the write to standard output that failed
};

// Operands that were all directories without a drawing below them: a search
// over nothing fails, as with grep -r.
std::string nothingFound(const std::vector<std::string> &directories)
{
    std::string message = "dwgtext: no drawing (*.dwg or *.dxf file) found below ";
    for (std::size_t i = 0; i < directories.size(); ++i)
        message.append(i == 0 ? "" : ", ").append(dwgtext::singleLine(dwgtext::validUtf8(directories[i])));
    return message + "\n";
}

// Reads every input, and stops at the first write to standard output that
// fails.
Outcome readAll(const dwgtext::Options &options)
{
    const dwgtext::InputList list = dwgtext::expandOperands(options.files, options.recursive);
    if (list.inputs.empty()) {
        writeError(nothingFound(options.files));
        return {false, 0};
    }
    const dwgtext::RenderSettings settings = renderSettings(options, list);
    const std::size_t count = list.inputs.size();
    const bool showProgress = count > 1 && isatty(STDERR_FILENO);
    dwgtext::Progress progress(showProgress ? stderr : nullptr, count);

    Outcome outcome;
    // Drawings read one at a time write their lines as they come; read in
    // parallel, each keeps its lines until it is its turn.
    const unsigned jobs = jobCount(options.jobs);
    dwgtext::DrawingRenderer::Flush flush;
    if (count <= 1 || jobs <= 1) {
        flush = [&](std::string &out) {
            progress.clear();
            outcome.outputError = dwgtext::writeAll(STDOUT_FILENO, out);
            out.clear();
            return outcome.outputError == 0;
        };
    }
    dwgtext::runInOrder<Finished>(
        count, jobs, [&](std::size_t i) { return readOne(list.inputs[i], settings, options, flush); },
        [&](std::size_t, Finished &finished) {
            if (outcome.outputError != 0)
                return false;
            progress.clear();
            outcome.outputError = dwgtext::writeAll(STDOUT_FILENO, finished.rendered.out);
            if (outcome.outputError != 0)
                return false;
            writeError(finished.rendered.err);
            const bool partOk = options.partialOk && finished.rendered.gaveTexts;
            outcome.allRead = outcome.allRead && (finished.rendered.read || partOk);
            progress.fileDone(finished.size);
            return true;
        });
    return outcome;
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
    useBinaryStreams();
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    const dwgtext::ParsedOptions parsed = dwgtext::parseOptions(args, !isatty(STDIN_FILENO));
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

    // Drawings are read from files mapped into memory; one that another
    // program cuts short meanwhile is reported as cut.
    dwgfiles::guardMappedFiles();
    const Outcome outcome = readAll(parsed.options);
    if (outcome.outputError != 0)
        return outputFailed(outcome.outputError);
    return outcome.allRead ? 0 : 1;
}
