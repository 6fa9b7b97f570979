// Version detection and the choice of reader. The six bytes at the start of
// a drawing name its version; the version table says which reader family
// serves it: 1 for R10-R12, 2 for R13-R2000, 0 for none.
#ifndef TQ_FRONT_SWITCHDWGFUNCS_H
#define TQ_FRONT_SWITCHDWGFUNCS_H

#include <cstdint>

struct DWGglobal;
class DWGReader;
class FileStream;
class MemoryService;

constexpr int32_t kVersionCount = 11;
constexpr int32_t kNoVersion = 10;
constexpr int32_t kFamilyNone = 0;
constexpr int32_t kFamilyR12 = 1;
constexpr int32_t kFamilyR13 = 2;

// The family of a version index; 0 for an index outside the table.
int32_t versionFamily(int32_t index);
// The version string of an index ("" for the empty entry or outside).
const char *versionString(int32_t index);
// Tries the entries first..last in order; an entry matches when the sixth
// byte and then all six bytes agree. The first match, or kNoVersion.
int32_t matchVersion(const char bytes[6], int32_t first, int32_t last);

// Reads the version at the start of the stream: 0 when the stream cannot be
// positioned, kNoVersion when six bytes cannot be read or none matches.
int32_t detectVersion(FileStream *stream);

// Detects the drawing's version, stores its index in the session and builds
// the reader of its family; null when no reader serves the drawing.
DWGReader *switchDWGfuncs(DWGglobal *session, MemoryService *memory);

// Deletes the reader according to the family of the session's version.
void deleteReaderOfFamily(DWGglobal *session, DWGReader *reader);

#endif
