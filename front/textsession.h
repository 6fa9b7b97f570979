// Reading a drawing's texts without output objects, for our own C API: the
// same session, reader and reports as the host's protocol, with each text
// handed to a sink as it is decoded instead of chained in objects 38, 41
// and 48. Not exported from the shared library; programs that link the
// library's objects call it directly, and end the session with
// shutDownDWGsrc.
#ifndef TQ_FRONT_TEXTSESSION_H
#define TQ_FRONT_TEXTSESSION_H

#include "TQDUDADE.h"
#include "core/dwgglobal.h"

class SourceInMemory;

// startSrcDWG with a sink: null also when the sink is. sourceInPlace: the
// source's bytes when the host holds them in memory (see FileStream), so
// that they are read where they lie; null when it does not.
DWGSessionHeader *startTextSession(HostSource *source, HostOpenParams *params, TextSink *sink,
                                   SourceInMemory *sourceInPlace);

// Reads on until at least one text has gone to the sink or the drawing
// ended; false once nothing more can come.
bool readNextTexts(DWGSessionHeader *header);

// Whether the reader reached its end (where the host's protocol gives the
// end object).
bool textSessionEnded(DWGSessionHeader *header);

// The number the drawing records for the code page of its byte texts (R13
// and later); -1 when it records none.
int32_t textSessionCodePage(DWGSessionHeader *header);

#endif
