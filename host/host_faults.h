// Fault plan: which host calls fail.
//
// Every call of a host operation is counted per kind, failed or not, from 1.
// A fault names a kind and a call number k and fails either that call only
// or every call from k on. The usual sweep: run a drawing once with an empty
// plan, read calls(kind) = N, then run it once per k in 1..N with failOnce().
#ifndef TQHOST_HOST_FAULTS_H
#define TQHOST_HOST_FAULTS_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tqhost {

enum class HostOp {
    Open,    // fpOpen answers 0
    Read,    // fpRead answers -1 and reads nothing
    Seek,    // fpSeek answers 0 and does not move
    Tell,    // fpTell answers -1
    Block,   // PubSnormalmalloc / PubSrealloc answer null
    Create,  // fpCreateObject answers null
};

inline constexpr std::size_t kHostOpCount = 6;

const char *hostOpName(HostOp op);

using CallCounts = std::array<uint64_t, kHostOpCount>;

class FaultPlan {
public:
    // Fails call number k (from 1) of op, and only that one.
    FaultPlan &failOnce(HostOp op, uint64_t k);
    // Fails call number k of op and every later one.
    FaultPlan &failFrom(HostOp op, uint64_t k);
    FaultPlan &failAlways(HostOp op) { return failFrom(op, 1); }

    // Counts one call of op; true when the plan makes it fail.
    bool next(HostOp op);

    uint64_t calls(HostOp op) const { return calls_[index(op)]; }
    uint64_t failures(HostOp op) const { return failures_[index(op)]; }
    const CallCounts &callCounts() const { return calls_; }

    bool hasFaults() const { return !faults_.empty(); }
    void clearFaults() { faults_.clear(); }
    void resetCounts();

private:
    struct Fault {
        HostOp op;
        uint64_t k;
        bool onward;
    };

    static std::size_t index(HostOp op) { return static_cast<std::size_t>(op); }

    std::vector<Fault> faults_;
    CallCounts calls_{};
    CallCounts failures_{};
};

}  // namespace tqhost

#endif
