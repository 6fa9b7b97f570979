// The session record and what every component does with it: report a
// message to the host, and create and chain output objects.
#ifndef TQ_CORE_DWGGLOBAL_H
#define TQ_CORE_DWGGLOBAL_H

#include <cstdarg>
#include <cstddef>
#include <cstdint>

#include "TQDUDADE.h"

class DWGReader;
class FileStream;
class MemoryService;

// One open drawing. Its first bytes are the header the host reads.
struct DWGglobal {
    DWGSessionHeader header;
    int32_t versionIndex;
    DWGOutputObject *chainHead;
    DWGOutputObject *lastObject;
    DWGReader *reader;
    MemoryService *memory;
    FileStream *stream;  // the host's source, opened once for the session
    char message[1024];
};

// Every message names the module and the source line it comes from.
#define HERE kModule, __LINE__

// Formats a message into the session's buffer and hands it to the host's
// report operation, when the host has one.
void reportf(DWGglobal *session, const char *format, ...) __attribute__((format(printf, 2, 3)));

// Says what became of a drawing that could not be read whole, once, as its
// reading ends: cut short wins over damaged. module and line name the
// reader that found it.
void reportDrawingState(DWGglobal *session, bool cutShort, bool damaged, const char *module, int32_t line);

// Formats a message as vsnprintf would, for the conversions the messages
// use (%s, %d, %x and %%), and cuts it to the buffer, which always ends in
// a zero byte.
void formatMessage(char *buffer, size_t size, const char *format, va_list arguments);

// Hands a fixed text to the host's report operation, when there is one.
void reportToHost(HostSource *source, const char *text);

// Asks the host for an output object of the given kind; it becomes the
// session's last object. Null when the host refuses.
DWGOutputObject *createObject(DWGglobal *session, int32_t kind);

// Links an object at the end of the session's pending chain.
void appendObject(DWGglobal *session, DWGOutputObject *object);

// A text group is kind 38, kind 41 holding the text, kind 48. The opening
// and closing members are created and appended in one step (false when the
// host refuses to create them); the text object is created by the caller,
// which fills the buffer first, and then attached and appended here.
bool appendTextOpen(DWGglobal *session);
void appendText(DWGglobal *session, DWGOutputObject *object, void *buffer, int32_t length, int32_t charset);
bool appendTextClose(DWGglobal *session);

// Appends the end object (kind 1): false when the host refuses to create it.
bool appendEndObject(DWGglobal *session);

// Takes a text buffer for the host straight from its block operations:
// once attached to a kind-41 object it is the host's.
void *hostTextBuffer(DWGglobal *session, uint32_t size);
void releaseHostTextBuffer(DWGglobal *session, void *buffer);

#endif
