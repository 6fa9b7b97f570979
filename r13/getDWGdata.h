// The reader of R13 to R2018 drawings: reads the section locators of the
// file header (from R2004 on, opens the drawing's container instead and
// reads its objects and their map as one stream), then walks its six phases: three checks of the computed
// ranges, the object map, the objects one at a time, and the finish
// operation that appends the end object.
#ifndef TQ_R13_GETDWGDATA_H
#define TQ_R13_GETDWGDATA_H

struct DWGglobal;
class DWGReader;
class FileStream;
class MemoryService;

// Reads on from the stream version detection opened. Null (after a report)
// when the reader cannot be made or the section locators cannot be read.
DWGReader *newDWGReader(DWGglobal *session, MemoryService *memory, FileStream *stream);

#endif
