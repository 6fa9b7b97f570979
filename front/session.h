// The session both ways of reading share: the host's protocol of output
// objects (tqDUDade.cpp) and the reader our own code uses
// (drawingreader.h). Each makes the session (newIn, the session record
// first) in a block of its own memory service, with the drawing's source
// and where its reports go; from there on the readers cannot tell one
// from the other, except where a text goes.
#ifndef TQ_FRONT_SESSION_H
#define TQ_FRONT_SESSION_H

#include "core/dwgglobal.h"
#include "core/dwgreader.h"
#include "support/publicstorage.h"

// Sets up the session's parts, detects the drawing's version and makes the
// reader of its family: false when no reader serves the drawing. A sink
// takes texts of every kind unless told otherwise (DrawingReader); the
// host's protocol gives the classic four.
bool startReading(DWGglobal *session, MemoryService *memory, ReaderSource *source, ReportListener *reports,
                  TextSink *sink);

// One step of the phase loop. A failed phase runs the finish operation once
// and stays where it is; false when that left nothing to deliver (the end
// object could not be made, or the host did not chain it), so that the
// caller stops instead of running the failed phase again and again. For a
// sink the end is always there to deliver.
bool runOnePhase(DWGglobal *session);

// Runs the reader's phases until there is something for the caller:
// objects chained for the host, a text given to the sink, or the end. False
// when the reader can go no further.
template <class Ready>
bool runPhasesUntil(DWGglobal *session, Ready ready)
{
    while (!ready()) {
        if (!runOnePhase(session)) {
            return false;
        }
    }
    return true;
}

// Gives back the reader, its stream and every block of the session's
// memory service, the service's own and the session's included.
void endSession(DWGglobal *session);

#endif
