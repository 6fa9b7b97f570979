// What the session sees of a reader: six phases run in turn, the sixth of
// which is also the finish operation that appends the end object, and a
// way to give back everything the reader holds. Each reader family
// implements it; the session never needs to know which one it drives.
#ifndef TQ_CORE_DWGREADER_H
#define TQ_CORE_DWGREADER_H

#include <cstdint>

#include "core/dwgglobal.h"
#include "core/results.h"

class DWGReader {
public:
    static constexpr int32_t kPhases = 6;
    static constexpr int32_t kFinishPhase = 5;

    int32_t phase = 0;

    virtual PhaseResult runPhase(int32_t index) = 0;
    // Gives back every block of the reader, its own included.
    virtual void destroy() = 0;

    PhaseResult finish() { return runPhase(kFinishPhase); }

protected:
    DWGReader() = default;
    ~DWGReader() = default;
};

// The finish operation both families share: the end object, done when the
// host created it.
inline PhaseResult finishSession(DWGglobal *session)
{
    return appendEndObject(session) ? PhaseResult::Done : PhaseResult::Failed;
}

#endif
