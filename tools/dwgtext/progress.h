// The progress line on a terminal: files done, total, bytes per second.
#ifndef DWGTEXT_PROGRESS_H
#define DWGTEXT_PROGRESS_H

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace dwgtext {

// "dwgtext: 12/1000 files, 3.4 MB/s"
std::string progressLine(std::size_t done, std::size_t total, uint64_t bytes, double seconds);

class Progress {
public:
    // terminal null: the line is never drawn.
    Progress(std::FILE *terminal, std::size_t total);

    // Takes the line away, before anything else is written to the terminal.
    void clear();
    // Notes one more file of `bytes` bytes; redraws at most ten times a second.
    void fileDone(uint64_t bytes);

private:
    using Clock = std::chrono::steady_clock;

    std::FILE *terminal_;
    std::size_t total_;
    std::size_t done_ = 0;
    uint64_t bytes_ = 0;
    bool shown_ = false;
    Clock::time_point start_ = Clock::now();
    Clock::time_point drawn_{};
};

}  // namespace dwgtext

#endif
