#include "progress.h"

#include <iterator>

namespace dwgtext {

namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

std::string rate(double bytesPerSecond)
{
    static constexpr const char *kUnits[] = {"B/s", "kB/s", "MB/s", "GB/s"};
    std::size_t unit = 0;
    while (bytesPerSecond >= 1000.0 && unit + 1 < std::size(kUnits)) {
        bytesPerSecond /= 1000.0;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", bytesPerSecond, kUnits[unit]);
    return text;
}

}  // namespace

std::string progressLine(std::size_t done, std::size_t total, uint64_t bytes, double seconds)
{
    const double perSecond = seconds > 0.0 ? static_cast<double>(bytes) / seconds : 0.0;
    return "dwgtext: " + std::to_string(done) + "/" + std::to_string(total) + " files, " + rate(perSecond);
}

Progress::Progress(std::FILE *terminal, std::size_t total) : terminal_(terminal), total_(total) {}

void Progress::clear()
{
    if (!shown_)
        return;
    std::fputs("\r\x1b[K", terminal_);
    std::fflush(terminal_);
    shown_ = false;
}

void Progress::fileDone(uint64_t bytes)
{
    ++done_;
    bytes_ += bytes;
    if (terminal_ == nullptr || done_ == total_)
        return;
    const Clock::time_point now = Clock::now();
    if (now - drawn_ < kRedrawInterval)
        return;
    drawn_ = now;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    std::fprintf(terminal_, "\r%s\x1b[K", progressLine(done_, total_, bytes_, seconds).c_str());
    std::fflush(terminal_);
    shown_ = true;
}

}  // namespace dwgtext
