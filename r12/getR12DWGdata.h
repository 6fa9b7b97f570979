// The reader of R10, R11 and R12 drawings: reads the fixed-layout file
// header (section addresses, table descriptors, dates), walks the entity
// section, then the block section, and finishes.
#ifndef TQ_R12_GETR12DWGDATA_H
#define TQ_R12_GETR12DWGDATA_H

struct DWGglobal;
class DWGReader;
class FileStream;
class MemoryService;

// Reads on from the stream version detection opened. Null (after a report)
// when the reader cannot be made or the file is too short for its version
// text.
DWGReader *newR12DWGReader(DWGglobal *session, MemoryService *memory, FileStream *stream);

#endif
