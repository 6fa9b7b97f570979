#include "host_faults.h"

namespace tqhost {

const char *hostOpName(HostOp op)
{
    switch (op) {
    case HostOp::Open:
        return "open";
    case HostOp::Read:
        return "read";
    case HostOp::Seek:
        return "seek";
    case HostOp::Tell:
        return "tell";
    case HostOp::Block:
        return "block";
    case HostOp::Create:
        return "create";
    }
    return "?";
}

FaultPlan &FaultPlan::failOnce(HostOp op, uint64_t k)
{
    faults_.push_back({op, k, false});
    return *this;
}

FaultPlan &FaultPlan::failFrom(HostOp op, uint64_t k)
{
    faults_.push_back({op, k, true});
    return *this;
}

bool FaultPlan::next(HostOp op)
{
    const uint64_t n = ++calls_[index(op)];
    for (const auto &fault : faults_) {
        if (fault.op != op)
            continue;
        if (n == fault.k || (fault.onward && n > fault.k)) {
            ++failures_[index(op)];
            return true;
        }
    }
    return false;
}

void FaultPlan::resetCounts()
{
    calls_ = {};
    failures_ = {};
}

}  // namespace tqhost
