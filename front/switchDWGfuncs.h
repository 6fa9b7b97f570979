// Version detection and the choice of reader. The session's source is
// opened once: the six bytes at its start name the drawing's version,
// whose family chooses the reader, and the reader reads on from the same
// stream.
#ifndef TQ_FRONT_SWITCHDWGFUNCS_H
#define TQ_FRONT_SWITCHDWGFUNCS_H

#include <cstdint>

struct DWGglobal;
class DWGReader;
class FileStream;
class MemoryService;

// Reads the version at the start of the stream, keeping the bytes read in
// text (zero-ended): 0 when the stream cannot be positioned, kNoVersion
// when six bytes cannot be read or none matches.
int32_t detectVersion(FileStream *stream, char *text);

// Opens the stream over the session's source, detects the drawing's
// version, stores it in the session and builds the reader of its family;
// null, with the stream closed, when no reader serves the drawing. Our own
// reader (a session with a sink) also reads DXF files, known by their
// content; the host's protocol reads DWG drawings only.
DWGReader *switchDWGfuncs(DWGglobal *session, MemoryService *memory);

// Gives back the session's reader, then closes its stream.
void deleteReader(DWGglobal *session);

#endif
