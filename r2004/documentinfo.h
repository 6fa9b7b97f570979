// The document properties of R2004 and later drawings, which keep them in
// two small sections of their container. The summary information holds
// what the properties dialog shows: eight texts (title, subject, author,
// keywords, comments, last saved by, revision number, hyperlink base), the
// total editing time and the creation and update times (each two 32-bit
// numbers: days and milliseconds), then a 16-bit count of custom name/value
// pairs. The application information names the program that saved the
// drawing and its version.
//
// A text there is a 16-bit count, then that many characters, the last of
// them a terminating zero: bytes in the drawing's code page in R2004, UTF-16
// from R2007 on. Trailing zeros are not part of the value.
#ifndef TQ_R2004_DOCUMENTINFO_H
#define TQ_R2004_DOCUMENTINFO_H

#include <cstdint>

#include "core/properties.h"

class DrawingContainer;
class MemoryService;
struct DWGglobal;

enum class InfoCharacters { Bytes, Utf16 };

// Each decoder takes the section's bytes and fills in what it finds:
// false when they end before its last field, so that the fields after the
// cut are missing (those before it stay).
bool decodeSummaryInfo(const uint8_t *bytes, uint32_t length, InfoCharacters characters,
                       DrawingProperties *properties);
// The program's information comes in one of two layouts whatever the
// drawing's release, told apart by its opening (see the definition).
bool decodeAppInfo(const uint8_t *bytes, uint32_t length, DrawingProperties *properties);

// Reads both sections of the container, when it has them, into a block of
// the session's memory (session->properties); a section that cannot be
// read whole costs its properties after the fault, with a report.
void readDocumentInfo(DWGglobal *session, MemoryService *memory, DrawingContainer *container);

#endif
