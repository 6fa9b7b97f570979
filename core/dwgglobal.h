// The session record and what every component does with it: report a
// message, and hand on a text (as output objects chained for the host, or
// to a sink).
#ifndef TQ_CORE_DWGGLOBAL_H
#define TQ_CORE_DWGGLOBAL_H

#include <cstdarg>
#include <cstddef>
#include <cstdint>

#include "TQDUDADE.h"
#include "core/properties.h"
#include "support/publicstorage.h"

class DWGReader;
class FileStream;
class MemoryService;
class ReaderSource;

// Where a session's messages go, in the order they are made: the host's
// report operation, or our own code's list.
class ReportListener {
public:
    virtual void report(const char *text) = 0;

protected:
    ~ReportListener() = default;
};

// The kind of entity a text comes from. The first four are the classic
// kinds, the only ones the host's protocol gives; a sink can take every
// kind. An attribute definition gives its default as Attdef and the
// sentence that asks for its value as AttdefPrompt. Proxy texts are those
// an entity of a custom class draws for programs that lack its application.
enum class TextKind : uint8_t {
    Text,
    Attrib,
    Attdef,
    MText,
    Tolerance,
    Dimension,
    AttdefPrompt,
    Multileader,
    Proxy,
};

inline bool isClassicKind(TextKind kind)
{
    return kind <= TextKind::MText;
}

// Where a session's texts go when its caller wants no output objects: each
// text as the reader decoded it, valid only during the call, with the kind
// of entity it came from.
class TextSink {
public:
    virtual void text(const void *bytes, int32_t length, int32_t charset, TextKind kind) = 0;

protected:
    ~TextSink() = default;
};

inline constexpr int32_t kBlockTextClasses = 3;

// The version text is the file's first six bytes.
inline constexpr int32_t kVersionTextSize = 6;

// One open drawing. Its first bytes are the header a host reads; our own
// reader (front/drawingreader.h) leaves the header unused.
struct DWGglobal {
    DWGSessionHeader header;
    int32_t versionIndex;
    char versionText[kVersionTextSize + 1];  // as many of the first six bytes as were read
    DWGOutputObject *chainHead;
    DWGReader *reader;
    MemoryService *memory;
    ReaderSource *source;      // the drawing's bytes
    ReportListener *reports;   // null: reports go nowhere
    FileStream *stream;  // over the source, opened once for the session
    TextSink *sink;      // instead of output objects; null for the host's protocol
    bool everyKind;      // texts of every kind are wanted, not only the classic four
    uint16_t multileaderType;  // the drawing's class number of MULTILEADER, for every kind; 0 none
    // For every kind, the class numbers of the entities of the format's own
    // whose texts lie in a block (ACAD_TABLE, ARC_DIMENSION,
    // LARGE_RADIAL_DIMENSION); 0 none. Their graphics repeat those texts.
    uint16_t blockTextTypes[kBlockTextClasses];
    DWGOutputObject sinkText;  // stands for the text object a sink needs none of
    ReusableBlock sinkBuffer;  // the text buffer a sink reads, used for every text
    uint64_t textsToSink;      // handed to the sink so far
    bool ended;          // the end object was appended, or would have been
    int32_t codePage;    // the number the drawing records for its code page; -1 none
    bool stateReported;  // whether the drawing was said to be cut short or damaged
    bool cutShort;       // what was said: cut short wins over damaged
    bool damaged;
    DrawingProperties *properties;  // read for a sink only; null when the drawing has none
    PreviewPlace preview;           // found for a sink only
    char message[1024];
};

// Every message names the module and the source line it comes from.
#define HERE kModule, __LINE__

// Formats a message into the session's buffer and hands it to the
// session's report listener, when it has one.
void reportf(DWGglobal *session, const char *format, ...) __attribute__((format(printf, 2, 3)));

// Says what became of a drawing that could not be read whole, as its
// reading ends, the first time it is asked: cut short wins over damaged.
// module and line name the reader that found it.
void reportDrawingState(DWGglobal *session, bool cutShort, bool damaged, const char *module, int32_t line);

// Formats a message as vsnprintf would, for the conversions the messages
// use (%s, %d, %x and %%), and cuts it to the buffer, which always ends in
// a zero byte.
void formatMessage(char *buffer, size_t size, const char *format, va_list arguments);


// A text group is kind 38, kind 41 holding the text, kind 48. Beginning
// one appends the opening object and makes the text object: null when the
// host refused either. Ending it attaches the text buffer to the text
// object and appends that and the closing object: false when the host
// refused the closing one (the buffer is the host's by then). With a sink
// no object is made: the text goes to the sink.
DWGOutputObject *beginTextGroup(DWGglobal *session);
bool endTextGroup(DWGglobal *session, DWGOutputObject *text, void *buffer, int32_t length, int32_t charset,
                  TextKind kind);

// With a sink, hands it a text straight from the decoder's bytes, which
// need no buffer of their own since a sink reads them during the call, and
// answers true; the host's protocol takes every text in a block of its
// own, so without a sink nothing happens and the answer is false.
bool textToSink(DWGglobal *session, const void *bytes, int32_t length, int32_t charset, TextKind kind);

// Appends the end object (kind 1): false when the host refuses to create it.
bool appendEndObject(DWGglobal *session);

// Takes a text buffer for the host straight from its block operations:
// once attached to a kind-41 object it is the host's. A sink reads each
// text during the call that hands it over, so with a sink one buffer of
// the session serves every text. Either way it comes zero-filled.
void *hostTextBuffer(DWGglobal *session, uint32_t size);
void releaseHostTextBuffer(DWGglobal *session, void *buffer);

#endif
