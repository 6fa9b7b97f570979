// A bound on how much a walk may read. Records of a drawing may overlap, a
// map may list one object many times, and each record may lead a reader far
// past its end, so a hostile drawing could make a walk read the file over
// and over. A drawing's records are read about once: the budget is spent
// when the stream has read sixteen times the file's size, plus a margin,
// past the point the budget was set from.
#ifndef TQ_SUPPORT_READBUDGET_H
#define TQ_SUPPORT_READBUDGET_H

#include <cstdint>

#include "support/filestrmio.h"

class ReadBudget {
public:
    ReadBudget() = default;
    ReadBudget(const FileStream &stream, uint64_t from) : end_(from + kReadsPerFileByte * stream.size() + kMargin) {}

    bool spent(const FileStream &stream) const { return stream.bytesRead() > end_; }

private:
    static constexpr uint64_t kReadsPerFileByte = 16;
    static constexpr uint64_t kMargin = 1u << 20;

    uint64_t end_ = 0;
};

#endif
