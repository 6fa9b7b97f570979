// What the steps of a session answer, by name, at every layer.
#ifndef TQ_CORE_RESULTS_H
#define TQ_CORE_RESULTS_H

#include <cstdint>

// A reader's phase: failed (the session runs the finish operation), done
// (the session moves on to the next phase), or not done yet (the session
// calls it again).
enum class PhaseResult : int32_t { Failed = 0, Done = 1, Again = 2 };

// One step of a walk over the object map or the objects: the step failed,
// the walk is at its end, or the step gave an item (an offset, an object).
enum class StepResult : int32_t { Failed = 0, End = 1, Item = 2 };

// What a phase that walks answers after one step of its walk: an item means
// more to come, the walk's end means the phase is done.
constexpr PhaseResult phaseAfter(StepResult step)
{
    switch (step) {
    case StepResult::Item:
        return PhaseResult::Again;
    case StepResult::End:
        return PhaseResult::Done;
    case StepResult::Failed:
        break;
    }
    return PhaseResult::Failed;
}

#endif
