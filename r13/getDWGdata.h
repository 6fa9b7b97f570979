// The reader of R13, R14 and R2000 drawings: checks the version, reads the
// section locators of the file header, then walks its six phases: three
// checks of the computed ranges, the object map, the objects one at a time,
// and the finish operation that appends the end object.
#ifndef TQ_R13_GETDWGDATA_H
#define TQ_R13_GETDWGDATA_H

#include <cstdint>

struct DWGglobal;
class DWGReader;
class MemoryService;

// Null (after a report) when the reader cannot be made, the version is not
// R13-R2000 or the section locators cannot be read. Sets the session's
// version index.
DWGReader *newDWGReader(DWGglobal *session, MemoryService *memory);
void deleteDWGReader(DWGReader *reader);

// Appends an end object (kind 1) to the session's chain; 1 when the host
// created it. Both readers finish with it.
int32_t p_finish(DWGglobal *session);

#endif
